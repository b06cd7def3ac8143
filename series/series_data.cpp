// Series in memory: slots, blocks of 31 values, GetVal and PutVal, the
// slot operations, date stamps and names; the message helper.
#include <algorithm>
#include <cmath>

#include "platform/file_stamp.h"
#include "platform/text.h"
#include "platform/user_prompts.h"
#include "series/series_store.h"

namespace krv::series {

namespace {
const std::vector<float> kEmptyBlock(kBlockCells, MissingValue);
}

ColumnSlot::~ColumnSlot() {
  if (owner_) owner_->FreeSeries(*this);
}

SeriesStore::SeriesStore() = default;

SeriesStore::~SeriesStore() {
  DropChanges();  // a change not committed leaves nothing in the file
  // Slots declared elsewhere may outlive the store: leave them free.
  for (ColumnSlot* s : open_) {
    s->series_.reset();
    s->owner_ = nullptr;
    s->xSlot = nullptr;
  }
  open_.clear();
}

void SeriesStore::SeriesUnitInit() {
  while (!open_.empty()) FreeSeries(*open_.back());
  CloseDSF();
  FailureFlag = false;
  MessagesOn = true;
  AttachedDSFPath.clear();
  RowUseLow = 0;
  RowUseHigh = 400;
  TinyThreshold = 1.0 / double(MissingValue);
  HighestColumn = kColumnCount - 1;
  SetRootDir();
  DSDirExisted = false;
  Log.Reset();
  PickerList.clear();
  Tree = TreeNode();
}

// ---- Messages ----

void SeriesStore::ShowMessageStr(const std::string& text) {
  platform::Prompts().ShowMessage(text.substr(0, kShortMax));
}

void SeriesStore::ReportError(const std::string& text) {
  if (MessagesOn) ShowMessageStr(text);
}

// ---- The open list ----

void SeriesStore::Append(ColumnSlot& slot) {
  slot.owner_ = this;
  open_.push_back(&slot);
}

void SeriesStore::Unlink(ColumnSlot& slot) {
  // Searched from the end: the slot freed is most often the newest.
  auto it = std::find(open_.rbegin(), open_.rend(), &slot);
  if (it != open_.rend()) open_.erase(std::next(it).base());
  slot.owner_ = nullptr;
  std::erase_if(savedInChange_, [&](const Saved& v) { return v.slot == &slot; });
}

bool SeriesStore::SelectOpenSeries(const ColumnSlot& slot) {
  return slot.series_ && slot.owner_ == this;
}

void SeriesStore::FindTwoSeries(const ColumnSlot& a, const ColumnSlot& b, bool& aOpen,
                                bool& bOpen) {
  aOpen = SelectOpenSeries(a);
  bOpen = SelectOpenSeries(b);
}

int SeriesStore::ColumnOf(const ColumnSlot* slot, const ColumnSlot* table) const {
  if (!table || slot < table || slot >= table + kColumnCount) return -1;
  return int(slot - table);
}

// ---- Values ----

float SeriesStore::GetValOutside(ColumnSlot& slot) {
  FailureFlag = true;
  if (slot.series_)
    ReportError("Warning, GETVAL beyond range for " + slot.series_->descriptor.path);
  return MissingValue;
}

// A value as a cell holds it.
static inline float ToCell(double value) {
  if (std::isnan(value) || std::fabs(value) > 3.4e38)
    return MissingValue;  // a single cannot hold it; never a stray infinity
  if (std::fabs(value) < 1.2e-38) return 0;
  return float(value);
}

void SeriesStore::PutVal(ColumnSlot& slot, int16_t index, double value) {
  if (!slot.series_) {
    FailureFlag = true;
    return;
  }
  float v = ToCell(value);
  ColumnSlot::Series& s = *slot.series_;
  SeriesHeader& h = s.header;
  FailureFlag = false;
  if (h.Empty()) {
    h.base = index;
    h.highest = index;
    h.firstOffset = 0;
    s.cells[0] = v;
    slot.modified = true;
    return;
  }
  int d = int(index) - h.base;
  if (d < 0) {
    int q = (d - 30) / kBlockCells;  // truncates toward zero: q <= -1
    int base = h.base + kBlockCells * q;
    if (base < INT16_MIN) {
      // Cell 0 of the new first block would have no 16-bit index.
      FailureFlag = true;
      return;
    }
    h.firstOffset = uint8_t(d - kBlockCells * q);
    h.base = int16_t(base);
    s.cells.insert(s.cells.begin(), size_t(-q) * kBlockCells, MissingValue);
    s.cells[h.firstOffset] = v;
    slot.modified = true;
    return;
  }
  if (d < int(h.firstOffset)) h.firstOffset = uint8_t(d);
  if (index > h.highest) h.highest = index;
  size_t cell = size_t(d);
  if (cell >= s.cells.size()) {
    s.cells.resize((cell / kBlockCells + 1) * kBlockCells, MissingValue);
    slot.modified = true;
  } else if (std::bit_cast<uint32_t>(s.cells[cell]) != std::bit_cast<uint32_t>(v)) {
    slot.modified = true;
  }
  s.cells[cell] = v;
}

void SeriesStore::PutValues(ColumnSlot& slot, int16_t first, const double* values, int count) {
  if (count <= 0 || !slot.series_) {
    FailureFlag = !slot.series_;
    return;
  }
  // The two ends grow the chain, in the order that gives the blocks of
  // storing value after value; everything between is then in place.
  int last = first + count - 1;
  PutVal(slot, first, values[0]);
  if (FailureFlag) return;
  PutVal(slot, int16_t(last), values[count - 1]);
  if (FailureFlag) return;
  ColumnSlot::Series& s = *slot.series_;
  float* cells = s.cells.data() + (first - s.header.base);
  bool changed = false;
  for (int k = 1; k < count - 1; ++k) {
    float v = ToCell(values[k]);
    changed |= std::bit_cast<uint32_t>(cells[k]) != std::bit_cast<uint32_t>(v);
    cells[k] = v;
  }
  if (changed) slot.modified = true;
}

void SeriesStore::LocateSeriesValue(ColumnSlot& slot, int16_t index, int& block, int& cell) {
  block = cell = 0;
  if (!slot.series_) {
    FailureFlag = true;
    return;
  }
  const SeriesHeader& h = slot.series_->header;
  int d = int(index) - h.base;
  if (index > h.highest || d < int(h.firstOffset)) {
    FailureFlag = true;
    ReportError("GETVPT beyond rnge" + slot.series_->descriptor.path);
    return;
  }
  FailureFlag = false;
  block = d / kBlockCells;
  cell = d % kBlockCells;
}

// ---- Slots ----

void SeriesStore::NewSeries(ColumnSlot& slot, bool loaded, const std::string& comment) {
  if (slot.owner_) slot.owner_->FreeSeries(slot);
  FailureFlag = false;
  slot.series_ = std::make_unique<ColumnSlot::Series>();
  slot.series_->header.comment = comment.substr(0, kCommentMax);
  slot.series_->cells = kEmptyBlock;
  slot.notSaved = !loaded;
  slot.modified = false;
  slot.xSlot = nullptr;
  Append(slot);
}

void SeriesStore::FreeSeries(ColumnSlot& slot) {
  FailureFlag = false;
  if (!SelectOpenSeries(slot)) return;
  Unlink(slot);
  slot.series_.reset();
  slot.xSlot = nullptr;
  for (ColumnSlot* s : open_)
    if (s->xSlot == &slot) s->xSlot = nullptr;
}

void SeriesStore::CopySeries(ColumnSlot& target, ColumnSlot& source) {
  if (!SelectOpenSeries(source)) {
    FailureFlag = true;
    return;
  }
  FailureFlag = false;
  if (&target == &source) return;  // a copy onto itself changes nothing
  std::string path = kNoName;
  if (SelectOpenSeries(target)) {
    path = target.series_->descriptor.path;
    FreeSeries(target);
  }
  NewSeries(target, false, "");
  target.series_->header = source.series_->header;
  target.series_->header.stamp = DateStamp();
  target.series_->cells = source.series_->cells;
  target.series_->descriptor.path = path;
  target.modified = true;
}

void SeriesStore::MoveSeries(ColumnSlot& target, ColumnSlot& source) {
  if (!SelectOpenSeries(source)) {
    FailureFlag = true;
    return;
  }
  FailureFlag = false;
  if (&target == &source) return;  // a move onto itself changes nothing
  if (target.owner_) target.owner_->FreeSeries(target);
  target.series_ = std::move(source.series_);
  target.notSaved = source.notSaved;
  target.modified = source.modified;
  target.xSlot = source.xSlot;
  target.owner_ = this;
  source.owner_ = nullptr;
  source.xSlot = nullptr;
  std::replace(open_.begin(), open_.end(), &source, &target);
  for (ColumnSlot* s : open_)
    if (s->xSlot == &source) s->xSlot = &target;
  for (Saved& v : savedInChange_)
    if (v.slot == &source) v.slot = &target;
  FailureFlag = false;
}

void SeriesStore::SeriesIndexRange(ColumnSlot& slot, int16_t& lowest, int16_t& highest) {
  lowest = 0;
  highest = -1;
  FailureFlag = !SelectOpenSeries(slot);
  if (FailureFlag || slot.series_->header.Empty()) return;
  const SeriesHeader& h = slot.series_->header;
  lowest = int16_t(h.base + h.firstOffset);
  highest = h.highest;
}

void SeriesStore::OpenSeriesInSlot(ColumnSlot& slot, const std::string& path,
                                   const std::string& comment) {
  if (slot.owner_) slot.owner_->FreeSeries(slot);
  NewSeries(slot, false, comment);
  slot.series_->descriptor.path = path.substr(0, kShortMax);
}

bool SeriesStore::DeleteEndValue(ColumnSlot& slot, int16_t index) {
  FailureFlag = false;
  if (!SelectOpenSeries(slot)) return false;
  ColumnSlot::Series& s = *slot.series_;
  SeriesHeader& h = s.header;
  if (h.Empty()) return false;
  int lowest = h.base + h.firstOffset;
  if (lowest >= h.highest) return false;  // one value is never deleted this way
  const char* question = "Data value deletion---Are you sure?";
  if (index == lowest) {
    if (!platform::Prompts().Confirm(question)) return false;
    s.cells[h.firstOffset] = MissingValue;
    if (h.firstOffset == kBlockCells - 1) {
      s.cells.erase(s.cells.begin(), s.cells.begin() + kBlockCells);
      h.base = int16_t(h.base + kBlockCells);
      h.firstOffset = 0;
    } else {
      ++h.firstOffset;
    }
  } else if (index == h.highest) {
    if (!platform::Prompts().Confirm(question)) return false;
    int d = index - h.base;
    h.highest = int16_t(h.highest - 1);
    if (d % kBlockCells == 0)
      s.cells.resize(size_t(d));  // the value opened the last block
    else
      s.cells[size_t(d)] = MissingValue;
  } else {
    return false;
  }
  slot.modified = true;
  return true;
}

// ---- Stamps and names ----

DateStamp SeriesStore::GetDateStamp() const {
  uint32_t d = platform::PackLocalTime(Now());
  return DateStamp{int16_t((d >> 25) + 1980), uint8_t((d >> 21) & 15), uint8_t((d >> 16) & 31),
                   uint8_t((d >> 11) & 31), uint8_t((d >> 5) & 63)};
}

bool SeriesStore::SameNameNoCase(const std::string& a, const std::string& b) {
  return platform::EqualsCaseBlind(std::string_view(a).substr(0, kShortMax),
                                   std::string_view(b).substr(0, kShortMax));
}

void SeriesStore::TrimToFirstWord(std::string& s) {
  size_t start = s.find_first_not_of(' ');
  if (start == std::string::npos) {
    s.clear();
    return;
  }
  size_t end = s.find(' ', start);
  s = s.substr(start, end == std::string::npos ? std::string::npos : end - start);
  if (s.size() > kShortMax) s.resize(kShortMax);
}

bool SeriesStore::CheckDSFAttachedGuide() {
  FailureFlag = !IsAttached();
  if (FailureFlag) ReportError("No DSF attached");
  return FailureFlag;
}

}  // namespace krv::series
