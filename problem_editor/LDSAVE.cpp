// Reading problem files into editor buffers and saving the main problem.
#include "problem_editor/LDSAVE.h"

#include <cassert>
#include <cstring>
#include <optional>

#include "platform/byte_io.h"
#include "platform/file_resolver.h"
#include "platform/user_prompts.h"
#include "sequencer/prb_names.h"

namespace krv::pe {

namespace {

constexpr size_t kRawLineMax = 159;
constexpr size_t kNameLineMax = 87;
constexpr size_t kCopiedLineMax = 127;

// A byte stream that fails, as the file reads do, when read past its end.
class ByteStream {
 public:
  explicit ByteStream(std::string_view data) : data_(data) {}
  bool AtEnd() const { return pos_ >= data_.size(); }
  size_t Pos() const { return pos_; }

  // Bytes up to a CR (which takes the byte after it along) or a bare LF.
  // False when the stream ends first: the line had no ending.
  bool ReadRawLine(std::string& line) {
    line.clear();
    while (pos_ < data_.size()) {
      char c = data_[pos_++];
      if (c == '\n') return true;
      if (c == '\r') {
        if (pos_ >= data_.size()) return false;
        ++pos_;
        return true;
      }
      if (line.size() < kRawLineMax) line += c;
    }
    return false;
  }

  bool Read(void* to, size_t n) {
    if (data_.size() - pos_ < n) return false;
    std::memcpy(to, data_.data() + pos_, n);
    pos_ += n;
    return true;
  }

  bool Skip(size_t n) {
    if (data_.size() - pos_ < n) return false;
    pos_ += n;
    return true;
  }

  std::optional<uint16_t> ReadU16() {
    uint8_t b[2];
    if (!Read(b, 2)) return std::nullopt;
    return uint16_t(b[0] | (b[1] << 8));
  }

 private:
  std::string_view data_;
  size_t pos_ = 0;
};

using seq::DittoTable;

enum class RecordRead { Record, EndOfNames, Broken };

// One name line and its value block. A "#" line, or a name line that ends
// the file, ends the names; a line or block cut short breaks the file.
RecordRead ReadVarRecord(ByteStream& in, DittoTable& table, VariableRecord& rec,
                         std::string& rawLine) {
  if (!in.ReadRawLine(rawLine)) return RecordRead::Broken;
  std::string_view l = std::string_view(rawLine).substr(0, kNameLineMax);
  if ((!l.empty() && l[0] == '#') || in.AtEnd()) {
    rec.name = std::string(l);
    return RecordRead::EndOfNames;
  }
  std::string name = table.Expand(l.size() > 2 ? l.substr(2) : std::string_view());
  if (name.size() > kRecordNameMax) name.resize(kRecordNameMax);  // within the 87 of the line
  rec.name = std::move(name);
  if (!in.Read(rec.block.bytes.data(), kBlockSize)) return RecordRead::Broken;
  char c1 = l.size() > 0 ? l[0] : ' ';
  char c2 = l.size() > 1 ? l[1] : ' ';
  rec.typeCode = TypeCodeFor(c1, c2, rec.block.bytes[0]);
  return RecordRead::Record;
}

// Measures the ordering section (pairs, row and column lists, nonzeros)
// without interpreting it; false when the file ends inside it.
bool SkipOrdering(ByteStream& in) {
  auto pairs = in.ReadU16();
  if (!pairs || !in.Skip(size_t(*pairs) * 4)) return false;
  auto n = in.ReadU16();
  if (!n || !in.Skip(size_t(*n) * 4)) return false;
  auto lo = in.ReadU16();
  auto hi = in.ReadU16();
  if (!lo || !hi) return false;
  uint64_t z = uint64_t(*lo) | (uint64_t(*hi) << 16);
  return in.Skip(size_t(z) * 4);
}

void Report(const std::string& text) { platform::Prompts().ShowMessage(text); }

std::string Cut(const std::string& s, size_t n) { return s.substr(0, n); }

}  // namespace

bool ValidatePrbFile(const std::string& path, bool mergeSource, std::string& headerBuffer) {
  std::string bytes;
  if (!platform::ReadFileBytes(path + ".PRB", bytes)) {
    Report(kNoFile);
    return false;
  }
  size_t end = bytes.find_first_of("\r\n");
  std::string first = bytes.substr(0, std::min(end, kHeaderBufferMax));
  bool valid = (!first.empty() && first[0] == '*') || mergeSource;
  headerBuffer = first.empty() ? first : first.substr(1);
  if (!valid) Report(kNotV4);
  return valid;
}

bool ParsePrb(std::string_view bytes, bool allowOld, EditorBuffer& out) {
  ByteStream in(bytes);
  PrbImage& img = out.image;
  img = PrbImage{};
  out.records.clear();
  if (!in.ReadRawLine(img.header)) return false;
  img.v4 = !img.header.empty() && img.header[0] == '*';
  if (!img.v4 && !allowOld) return false;
  DittoTable table;  // starts empty for every file
  table.Clear();

  std::string line;
  if (img.v4) {
    if (!in.Read(img.countWord, 2)) return false;
    uint16_t h = uint16_t(img.countWord[0] | (img.countWord[1] << 8));
    size_t count = h == 0xFFFF ? 0 : size_t(h) + 1;
    if (count > size_t(kRecordMax)) return false;  // would wrap negative
    // A record takes at least 26 bytes (a bare LF and its block), so a
    // short file cannot claim many.
    if (count > bytes.size() / 26) return false;
    out.records.resize(count);
    img.nameLines.resize(count);
    for (size_t k = 0; k < count; ++k)
      if (ReadVarRecord(in, table, out.records[k], img.nameLines[k]) != RecordRead::Record)
        return false;
    // What follows is not needed to edit, only to save.
    if (in.ReadRawLine(img.hashLine)) {
      size_t from = in.Pos();
      img.orderingComplete = SkipOrdering(in);
      img.ordering = std::string(bytes.substr(from, in.Pos() - from));
    }
  } else {
    out.records.reserve(3301);
    for (;;) {
      VariableRecord rec;
      RecordRead r = ReadVarRecord(in, table, rec, line);
      if (r == RecordRead::Broken) return false;
      if (r == RecordRead::EndOfNames) {
        if (line.empty() || line[0] != '#') return false;
        break;
      }
      if (out.records.size() >= size_t(kRecordMax)) return false;
      out.records.push_back(std::move(rec));
    }
  }
  out.beginNumber = 0;
  out.endNumber = out.N();
  return true;
}

bool LoadProblemFile(const std::string& path, bool allowOld, EditorBuffer& out) {
  std::string bytes;
  if (!platform::ReadFileBytes(path + ".PRB", bytes)) {
    Report("Cannot read " + path + ".PRB");
    return false;
  }
  EditorBuffer fresh;
  if (!ParsePrb(bytes, allowOld, fresh)) {
    Report(kBrokenFile);
    return false;
  }
  fresh.problemName = path;
  fresh.loadedBytes = std::move(bytes);
  out = std::move(fresh);
  return true;
}

std::string BuildPrbBytes(const EditorBuffer& buf) {
  const PrbImage& img = buf.image;
  assert(img.nameLines.size() == buf.records.size());
  std::string s = Cut(img.header, kCopiedLineMax) + "\r\n";
  s.append(reinterpret_cast<const char*>(img.countWord), 2);
  for (size_t k = 0; k < buf.records.size(); ++k) {
    s += Cut(img.nameLines[k], kCopiedLineMax) + "\r\n";
    auto block = buf.records[k].BlockToWrite();
    s.append(reinterpret_cast<const char*>(block.bytes.data()), block.bytes.size());
  }
  s += Cut(img.hashLine, kCopiedLineMax) + "\r\n";
  s += img.ordering;
  return s;
}

bool SavesOverSource(const EditorBuffer& buf, const std::string& name) {
  // Another spelling of the same file is the same file.
  return name.empty() || name == buf.problemName ||
         platform::SameFile(name + ".PRB", buf.problemName + ".PRB");
}

bool SaveProblemFile(EditorBuffer& buf, const std::string& name) {
  const std::string source = buf.problemName + ".PRB";
  if (!buf.image.v4 || buf.image.nameLines.size() != buf.records.size()) {
    Report("Cannot save: no problem file is loaded");
    return false;
  }
  if (!buf.image.orderingComplete) {
    Report("Cannot save: the ordering section of " + source + " is incomplete");
    return false;
  }
  std::string bytes = BuildPrbBytes(buf);

  if (!SavesOverSource(buf, name)) {
    std::string target = name + ".PRB";
    if (!platform::WriteFileAtomic(target, bytes)) {
      Report("Cannot write " + target);
      return false;
    }
    buf.problemName = name;
    buf.loadedBytes = std::move(bytes);
    return true;
  }

  const std::string& base = buf.problemName;
  std::string onDisk = platform::ResolvePath(source);
  platform::DeleteFile(base + ".PBK");
  if (!platform::WriteFileAtomic(base + ".PNW", bytes)) {
    Report("Cannot write " + base + ".PNW");
    return false;
  }
  if (platform::FileExists(onDisk) && !platform::RenameFile(onDisk, base + ".PBK", false)) {
    Report("Cannot rename " + onDisk + " to " + base + ".PBK");
    return false;
  }
  if (!platform::RenameFile(base + ".PNW", onDisk, false)) {
    Report("Cannot rename " + base + ".PNW to " + onDisk);
    return false;
  }
  buf.loadedBytes = std::move(bytes);
  return true;
}

}  // namespace krv::pe
