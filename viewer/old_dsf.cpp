// The data-series file's earlier layout.
#include "viewer/old_dsf.h"

#include <algorithm>
#include <cstring>

#include "platform/little_endian.h"
#include "platform/text.h"
#include "series/dsf_fields.h"

namespace krv::view {

using platform::GetI16;
using platform::PutF32;
using platform::PutI16;

using series::DateStamp;
using series::GetStamp;
using series::GetString;
using series::PutStamp;
using series::PutString;
using series::RecordBytes;

namespace {

constexpr int kEntryAt = 4, kEntryWidth = 31;

}  // namespace

RecordBytes EncodeOldDirBlock(const OldDSDirBlock& b) {
  RecordBytes r{};
  PutI16(r, 0, b.link);
  r[2] = b.spare;
  r[3] = 0;  // kind: DSDir block
  for (int k = 0; k < 4; ++k) {
    uint8_t* e = r.data() + kEntryAt + kEntryWidth * k;
    const OldDSDirEntry& x = b.entries[k];
    PutI16(e, 0, x.record);
    PutString(e + 2, platform::UpperAscii(x.name), kOldNameMax);
    e[30] = x.kind;
  }
  return r;
}

bool DecodeOldDirBlock(const RecordBytes& r, OldDSDirBlock& b) {
  bool ok = true;
  b.link = GetI16(r);
  b.spare = r[2];
  for (int k = 0; k < 4; ++k) {
    const uint8_t* e = r.data() + kEntryAt + kEntryWidth * k;
    OldDSDirEntry& x = b.entries[k];
    x.record = GetI16(e);
    if (!GetString(e + 2, kOldNameMax, x.name)) ok = false;
    x.kind = e[30];
    if (x.Used() && x.kind > 1) ok = false;
  }
  return ok;
}

RecordBytes EncodeOldHead(const OldSeriesHead& h) {
  RecordBytes r{};
  PutI16(r, 0, h.firstData);
  r[2] = h.spare2;
  r[3] = h.kind;
  PutI16(r, 4, h.base);
  PutI16(r, 6, h.highest);
  r[8] = h.offset;
  r[9] = h.spare9;
  PutStamp(r.data() + 10, h.stamp);
  PutString(r.data() + 16, h.comment, kOldCommentMax);
  PutI16(r, 126, h.xHead);
  return r;
}

bool DecodeOldHead(const RecordBytes& r, OldSeriesHead& h) {
  bool ok = true;
  h.firstData = GetI16(r);
  h.spare2 = r[2];
  h.kind = r[3];
  h.base = GetI16(r, 4);
  h.highest = GetI16(r, 6);
  h.offset = r[8];
  h.spare9 = r[9];
  h.stamp = GetStamp(r.data() + 10);
  if (!GetString(r.data() + 16, kOldCommentMax, h.comment)) ok = false;
  h.xHead = GetI16(r, 126);
  return ok;
}

bool OldDSFStore::Fail(const std::string& text) {
  if (error_.empty()) error_ = text;
  return false;
}

bool OldDSFStore::CheckDSFAttachedViewer() {
  if (IsAttached()) return false;
  Fail("No DSF attached");
  return true;
}

bool OldDSFStore::Failed(const Fault& f) {
  // A file error inside a held change ends it: none of it goes out.
  if (f.io && held_ && heldError_.empty()) heldError_ = f.text;
  return Fail(f.text);
}

void OldDSFStore::Damaged() const {
  throw Fault{"The old-layout DSF " + file_.Path() + " is damaged"};
}

RecordBytes OldDSFStore::Read(int32_t n) const {
  // Record numbers come from the file: only records inside it are read.
  if (n < 1 || n >= size_) Damaged();
  RecordBytes r;
  if (!file_.ReadBlocks(n, 1, r.data()))
    throw Fault{"I/O error reading " + file_.Path() + ": " + file_.LastError(), true};
  return r;
}

void OldDSFStore::Write(int32_t n, const RecordBytes& r) {
  if (!file_.WriteBlocks(n, 1, r.data()))
    throw Fault{"I/O error writing " + file_.Path() + ": " + file_.LastError(), true};
  size_ = std::max(size_, n + 1);
}

int32_t OldDSFStore::TakeFreeRecord() {
  // The next free count is an int16 in the file: stop before it wraps.
  if (nextFree_ >= kOldRecordLimit)
    throw Fault{"The old-layout DSF " + file_.Path() + " is full (32767 records)"};
  return nextFree_++;
}

void OldDSFStore::CheckRoomFor(int32_t n) const {
  if (nextFree_ + n > kOldRecordLimit)
    throw Fault{"The old-layout DSF " + file_.Path() + " is full (32767 records)"};
}

void OldDSFStore::WriteDSFHeaderOld() {
  PutI16(header_, 4, int16_t(nextFree_));
  Write(0, header_);
}

bool OldDSFStore::AttachDSFOld(const std::string& path) {
  CloseDSFOld();
  error_.clear();
  if (!file_.Open(path, platform::BlockFile::Mode::ReadWrite))
    return Fail(path + " not found: " + file_.LastError());
  std::string refused = path + " is not a DSF file of either layout";
  bool ok;
  int32_t next;
  try {
    Look look(*this);
    int64_t records = file_.BlockCount();
    ok = records >= 2 && records <= kOldRecordLimit + 1;
    size_ = int32_t(std::min<int64_t>(records, kOldRecordLimit + 1));
    OldDSDirBlock root;
    ok = ok && file_.ReadBlocks(0, 1, header_.data());
    RecordBytes r1;
    ok = ok && file_.ReadBlocks(1, 1, r1.data()) && DecodeOldDirBlock(r1, root);
    next = GetI16(header_, 4);
    ok = ok && next >= 2 && next <= size_;
    ok = ok && (root.link == 0 || (root.link >= 2 && root.link < size_));
    for (const OldDSDirEntry& e : root.entries)
      ok = ok && (!e.Used() || (e.record >= 2 && e.record < size_));
  } catch (const Fault& f) {
    Fail(f.text);
    file_.Close();
    return false;
  }
  if (!ok) {
    file_.Close();
    return Fail(refused);
  }
  // New records go after everything the file holds.
  nextFree_ = std::max(next, size_);
  return true;
}

// ---- Changes ----

void OldDSFStore::CheckOwn(int32_t head, const std::string& path) {
  if (!owners_.Valid()) {
    std::vector<int32_t> links(static_cast<size_t>(size_));
    std::vector<RecordBytes> chunk(size_t(std::min<int32_t>(size_, 4096)));
    for (int32_t first = 0; first < size_; first += 4096) {
      int32_t n = std::min<int32_t>(4096, size_ - first);
      if (!file_.ReadBlocks(first, n, chunk[0].data()))
        throw Fault{"I/O error reading " + file_.Path() + ": " + file_.LastError(), true};
      for (int32_t k = 0; k < n; ++k) links[size_t(first + k)] = GetI16(chunk[size_t(k)]);
    }
    owners_.Build(links, [&](int32_t record, std::vector<series::RecordOwners::Entry>& entries, int32_t& link) {
      OldDSDirBlock b;
      if (!DecodeOldDirBlock(Read(record), b)) return false;
      entries.clear();
      for (const OldDSDirEntry& e : b.entries)
        if (e.Used()) entries.push_back({e.record, e.IsDSDir()});
      link = b.link;
      return true;
    });
  }
  // Its records running into another's, a save would write over those.
  if (owners_.Damaged(head)) throw Fault{"The old-layout DSF " + file_.Path() + " is damaged (" + path + ")"};
}

void OldDSFStore::Reload() {
  owners_.Forget();
  size_ = int32_t(std::min<int64_t>(file_.BlockCount(), kOldRecordLimit + 1));
  if (file_.ReadBlocks(0, 1, header_.data())) nextFree_ = std::max<int32_t>(GetI16(header_, 4), size_);
  nextFree_ = std::max(nextFree_, size_);
}

void OldDSFStore::Begin() {
  if (!file_.Lock()) throw Fault{"I/O error locking " + file_.Path() + ": " + file_.LastError(), true};
  if (!file_.BeginChange()) {
    file_.Unlock();
    throw Fault{"I/O error restoring " + file_.Path() + ": " + file_.LastError(), true};
  }
  // Another Plotvane may have saved into it since this one last looked.
  Reload();
}

bool OldDSFStore::End(bool commit) {
  bool ok = true;
  if (commit) {
    ok = file_.CommitChange();
    if (!ok) Fail("I/O error writing " + file_.Path() + ": " + file_.LastError());
  } else {
    file_.AbandonChange();
  }
  file_.Unlock();
  if (!commit || !ok) Reload();
  return ok;
}

OldDSFStore::Look::Look(OldDSFStore& s) : s_(s), mine_(!s.held_) {
  if (!mine_) return;
  platform::BlockFile& file = s_.file_;
  switch (file.LockShared()) {
    case platform::BlockFile::ReadLock::kHeld: break;
    case platform::BlockFile::ReadLock::kRestoreFailed:
      throw Fault{"I/O error restoring " + file.Path() + ": " + file.LastError(), true};
    case platform::BlockFile::ReadLock::kLockFailed:
      throw Fault{"I/O error locking " + file.Path() + ": " + file.LastError(), true};
  }
  // Another Plotvane may have saved into it since this one last looked.
  s_.Reload();
}

OldDSFStore::Look::~Look() {
  if (mine_) s_.file_.Unlock();
}

OldDSFStore::Change::Change(OldDSFStore& s) : s_(s), mine_(!s.held_) {
  if (mine_) s_.Begin();
}

OldDSFStore::Change::~Change() {
  if (mine_) s_.End(false);
}

void OldDSFStore::Change::Commit() {
  if (!mine_) return;
  mine_ = false;
  if (!s_.End(true)) throw Fault{s_.error_, true};
}

bool OldDSFStore::Hold() {
  error_.clear();
  if (CheckDSFAttachedViewer()) return false;
  if (held_) return true;
  heldError_.clear();
  try {
    Begin();
  } catch (const Fault& f) {
    return Failed(f);
  }
  held_ = true;
  return true;
}

void OldDSFStore::Abandon() {
  if (!held_) return;
  held_ = false;
  End(false);
}

bool OldDSFStore::CloseDSFOld() {
  if (!file_.IsOpen()) return true;
  bool ok = true;
  try {
    Change change(*this);
    WriteDSFHeaderOld();
    change.Commit();
  } catch (const Fault& f) {
    ok = Fail(f.text);
  }
  if (held_) {
    held_ = false;
    if (!heldError_.empty()) {
      error_ = heldError_;
      ok = false;
    }
    if (ok)
      ok = End(true);
    else
      End(false);
  }
  file_.Close();
  return ok;
}

OldDSDirBlock OldDSFStore::ReadDir(int32_t n, std::vector<int32_t>& seen) const {
  if (std::find(seen.begin(), seen.end(), n) != seen.end()) Damaged();  // a loop
  seen.push_back(n);
  OldDSDirBlock b;
  if (!DecodeOldDirBlock(Read(n), b)) Damaged();
  return b;
}

// Paths here are absolute: every walk starts at the root, whose block is
// record 1.
static void SetRootDirOld(OldDSDirEntry& at) { at = OldDSDirEntry{1, "", series::kDSDirKind}; }

OldDSDirEntry OldDSFStore::Find(int32_t dir, const std::string& name) const {
  // A DSDir has at least its first block: an entry naming record 0 (the
  // header) as a DSDir is damage, refused by the read, never an empty chain.
  std::vector<int32_t> seen;
  int32_t rec = dir;
  do {
    OldDSDirBlock b = ReadDir(rec, seen);
    for (const OldDSDirEntry& e : b.entries)
      if (e.Used() && series::SeriesStore::SameNameNoCase(e.name, name)) return e;
    rec = b.link;
  } while (rec != 0);
  return {};
}

bool OldDSFStore::FindDSFEntryOld(const std::vector<std::string>& names, OldDSDirEntry& out) const {
  OldDSDirEntry at;
  SetRootDirOld(at);
  for (const std::string& n : names) {
    if (!at.IsDSDir()) return false;
    at = Find(at.record, n);
    if (!at.Used()) return false;
  }
  out = at;
  return true;
}

bool OldDSFStore::ParseDSFPathOld(const std::string& path, std::vector<std::string>& names) {
  names.clear();
  if (path.empty() || path[0] != '.') return Fail("Name syntax err: " + path);
  size_t i = 1;
  while (i <= path.size()) {
    size_t dot = path.find('.', i);
    if (dot == std::string::npos) dot = path.size();
    std::string n = path.substr(i, dot - i);
    if (n.empty() || n.size() > kOldNameMax || n.find_first_of("&*? ") != std::string::npos)
      return Fail("Name syntax err: " + path);
    names.push_back(n);
    i = dot + 1;
  }
  if (names.empty() || int(names.size()) > series::kMaxDepth) return Fail("Name syntax err: " + path);
  return true;
}

bool OldDSFStore::AddDSDirEntryOld(int32_t dir, const std::string& name, uint8_t kind,
                                   OldDSDirEntry& out, EntryWrites& writes) {
  std::vector<int32_t> seen, records;
  std::vector<OldDSDirBlock> blocks;
  int32_t rec = dir;
  do {  // at least the first block, as in Find
    blocks.push_back(ReadDir(rec, seen));
    records.push_back(rec);
    rec = blocks.back().link;
  } while (rec != 0);
  int fb = -1, fe = -1;
  for (size_t b = 0; b < blocks.size(); ++b)
    for (int k = 0; k < 4; ++k) {
      const OldDSDirEntry& e = blocks[b].entries[k];
      if (!e.Used()) {
        if (fb < 0) fb = int(b), fe = k;
      } else if (series::SeriesStore::SameNameNoCase(e.name, name)) {
        out = e;
        return false;
      }
    }
  writes.clear();
  const OldDSDirEntry e{0, platform::UpperAscii(name), kind};
  if (fb < 0) {
    // A fresh block holds the entry, whose own record is the one after it.
    int32_t at = TakeFreeRecord();
    OldDSDirBlock fresh;
    fresh.entries[0] = e;
    fresh.entries[0].record = int16_t(nextFree_);
    blocks.back().link = int16_t(at);
    writes.emplace_back(at, fresh);
    writes.emplace_back(records.back(), blocks.back());
    out = fresh.entries[0];
  } else {
    OldDSDirBlock& b = blocks[size_t(fb)];
    b.entries[fe] = e;
    b.entries[fe].record = int16_t(nextFree_);
    writes.emplace_back(records[size_t(fb)], b);
    out = b.entries[fe];
  }
  return true;
}

// Written after the records the entry names, in the same change: the
// file has them all or none of them.
void OldDSFStore::WriteEntry(const EntryWrites& writes) {
  for (const auto& [record, block] : writes) Write(record, EncodeOldDirBlock(block));
  if (writes.size() == 2) owners_.TakeDirBlock(writes[0].first, writes[1].first);  // a fresh block
}

bool OldDSFStore::SplitParentPathOld(const std::string& path, const std::vector<std::string>& names,
                                     OldDSDirEntry& parent) const {
  SetRootDirOld(parent);
  std::vector<std::string> up(names.begin(), names.end() - 1);
  if (FindDSFEntryOld(up, parent) && parent.IsDSDir()) return true;
  error_ = error_.empty() ? "Path does not exist: " + path : error_;
  return false;
}

OldDSFStore::DirResult OldDSFStore::LookDSDir(const std::string& path) {
  error_.clear();
  if (CheckDSFAttachedViewer()) return DirResult::Failed;
  std::vector<std::string> names;
  if (!ParseDSFPathOld(path, names)) return DirResult::Failed;
  try {
    Look look(*this);
    OldDSDirEntry parent, e;
    if (!SplitParentPathOld(path, names, parent)) return DirResult::Failed;
    e = Find(parent.record, names.back());
    if (!e.Used()) return DirResult::Made;
    if (e.IsDSDir()) return DirResult::Existed;
    Fail(path + " is a series, not a DSDir");
  } catch (const Fault& f) {
    Failed(f);
  }
  return DirResult::Failed;
}

OldDSFStore::DirResult OldDSFStore::MakeDSDirOld(const std::string& path) {
  error_.clear();
  if (CheckDSFAttachedViewer()) return DirResult::Failed;
  std::vector<std::string> names;
  if (!ParseDSFPathOld(path, names)) return DirResult::Failed;
  try {
    Change change(*this);
    OldDSDirEntry parent;
    if (!SplitParentPathOld(path, names, parent)) return DirResult::Failed;
    CheckRoomFor(2);  // a block of the parent and the new DSDir's own
    OldDSDirEntry e;
    EntryWrites writes;
    if (!AddDSDirEntryOld(parent.record, names.back(), series::kDSDirKind, e, writes)) {
      if (e.IsDSDir()) return DirResult::Existed;
      Fail(path + " is a series, not a DSDir");
      return DirResult::Failed;
    }
    TakeFreeRecord();
    Write(e.record, EncodeOldDirBlock(OldDSDirBlock()));
    owners_.NewDSDir(e.record);
    WriteEntry(writes);
    WriteDSFHeaderOld();
    change.Commit();
    return DirResult::Made;
  } catch (const Fault& f) {
    Failed(f);
    return DirResult::Failed;
  }
}

void OldDSFStore::StoreSeriesRecordsOld(const series::ColumnSlot& slot, int32_t headRecord,
                                        OldSeriesHead& head, std::vector<int32_t>& chain,
                                        const std::string& comment, const DateStamp& stamp) {
  while (chain.size() < size_t(slot.BlockCount())) chain.push_back(TakeFreeRecord());
  const series::SeriesHeader& h = slot.Header();
  head.base = h.base;
  head.highest = h.highest;
  head.offset = h.firstOffset;
  head.stamp = stamp;
  head.comment = comment.substr(0, kOldCommentMax);
  head.xHead = 0;
  head.firstData = int16_t(chain[0]);
  Write(headRecord, EncodeOldHead(head));
  const std::vector<float>& cells = slot.Cells();
  for (size_t k = 0; k < chain.size(); ++k) {
    RecordBytes r{};
    PutI16(r, 0, int16_t(k + 1 < chain.size() ? chain[k + 1] : 0));
    r[3] = 2;  // kind: data record
    for (int s = 0; s < series::kBlockCells; ++s)
      PutF32(r, 4 + 4 * s, cells[k * series::kBlockCells + size_t(s)]);
    Write(chain[k], r);
  }
}

bool OldDSFStore::SaveSeriesOld(const series::ColumnSlot& slot, const std::string& path,
                                const std::string& comment, const DateStamp& stamp) {
  error_.clear();
  if (CheckDSFAttachedViewer()) return false;
  if (!slot.IsOpen()) return Fail("No series to save at " + path);
  std::vector<std::string> names;
  if (!ParseDSFPathOld(path, names)) return false;
  try {
    Change change(*this);
    OldDSDirEntry parent;
    if (!SplitParentPathOld(path, names, parent)) return false;
    // A parent block, the head and every data record, at most.
    CheckRoomFor(2 + int32_t(slot.BlockCount()));
    OldDSDirEntry e;
    OldSeriesHead head;
    std::vector<int32_t> chain;
    EntryWrites writes;  // stays empty for a series saved over
    std::vector<int32_t> before;
    if (AddDSDirEntryOld(parent.record, names.back(), series::kSeriesKind, e, writes)) {
      TakeFreeRecord();
      chain.push_back(TakeFreeRecord());
      head.firstData = int16_t(chain[0]);
    } else {
      if (e.IsDSDir()) return Fail(path + " is a DSDir, not a series");
      CheckOwn(e.record, path);
      if (!DecodeOldHead(Read(e.record), head)) Damaged();
      // The existing chain, reused as far as it goes; bounded by the file.
      std::vector<int32_t> seen;
      for (int32_t rec = head.firstData; rec != 0 && chain.size() < size_t(slot.BlockCount());) {
        if (std::find(seen.begin(), seen.end(), rec) != seen.end()) Damaged();
        seen.push_back(rec);
        chain.push_back(rec);
        rec = GetI16(Read(rec));
      }
      if (chain.empty()) Damaged();
      before = chain;
    }
    StoreSeriesRecordsOld(slot, e.record, head, chain, comment, stamp);
    WriteEntry(writes);
    WriteDSFHeaderOld();
    owners_.TakeSeries(e.record, before, chain);
    change.Commit();
    return true;
  } catch (const Fault& f) {
    return Failed(f);
  }
}

// Names match as in the current layout; only their length limit differs,
// and that is checked where a name is stored.
static bool MatchNameComponentOld(const series::PathComponent& c, const std::string& name) {
  return series::SeriesStore::MatchNameComponent(c, name);
}

void OldDSFStore::WalkDSFPathOld(int32_t dir, int depth, const std::vector<series::PathComponent>& comps,
                                 size_t at, int16_t x, std::vector<int32_t>& seen, int& matched) {
  if (depth > series::kMaxDepth) Damaged();
  bool all = at < comps.size() && comps[at].text == "&";
  for (int32_t rec = dir; rec != 0;) {
    OldDSDirBlock b = ReadDir(rec, seen);
    for (const OldDSDirEntry& e : b.entries) {
      if (!e.Used()) continue;
      bool last = at + 1 >= comps.size();
      if (all) {
        if (e.IsDSDir()) {
          WalkDSFPathOld(e.record, depth + 1, comps, at, x, seen, matched);
          continue;
        }
      } else if (!MatchNameComponentOld(comps[at], e.name)) {
        continue;
      } else if (!last) {
        if (e.IsDSDir()) WalkDSFPathOld(e.record, depth + 1, comps, at + 1, x, seen, matched);
        continue;
      }
      if (e.IsDSDir()) continue;  // only series take an X
      CheckOwn(e.record, e.name);
      OldSeriesHead h;
      if (!DecodeOldHead(Read(e.record), h)) Damaged();
      h.xHead = x;
      Write(e.record, EncodeOldHead(h));
      ++matched;
    }
    rec = b.link;
  }
}

bool OldDSFStore::SetXSeriesOld(series::SeriesStore& parser, const std::string& xPath,
                                const std::string& yPath) {
  error_.clear();
  if (CheckDSFAttachedViewer()) return false;
  try {
    Change change(*this);
    int16_t x = 0;
    if (xPath.find_first_not_of(' ') != std::string::npos) {
      std::vector<std::string> names;
      OldDSDirEntry e;
      if (!ParseDSFPathOld(xPath, names) || !FindDSFEntryOld(names, e) || e.IsDSDir())
        return Fail("X series missing");
      x = e.record;
    }
    series::ParsedPath parsed;
    bool failure = false;
    if (!parser.ParseDSFPath(yPath, parsed, failure) || failure || parsed.components.empty())
      return Fail("Y series name error");
    std::vector<int32_t> seen;
    int matched = 0;
    WalkDSFPathOld(1, 1, parsed.components, 0, x, seen, matched);
    change.Commit();
    return true;
  } catch (const Fault& f) {
    return Failed(f);
  }
}

}  // namespace krv::view
