// The attached data-series file: create, attach, detach, DSDirs, saving a
// series and reading it back, the current DSDir, X links and the tree.
//
// The rules this file keeps
// =========================
// "The lock" is flock(LOCK_EX) on the file, "the shared lock"
// flock(LOCK_SH) on it: either keeps the other out. "The journal" is the
// file's name + "-journal" beside it, laid out as platform/block_journal.h
// says.
// "A change" is one operation that writes (a series saved, a DSDir made,
// an erase, a walk that replaces or links series), or several held as
// one (HoldChanges: Plotvane's save of a root with all its series).
//
// Reading
//  R1. Every record read is checked before it is used: links inside the
//      file, no record met twice in a walk, string lengths within their
//      fields, a series' range within its chain. A damaged file is refused
//      with a message, never followed round a cycle or past its end.
//  R2. No record in two chains: before a series is read or written over,
//      RecordOwners (series/record_owners.h) says whether its head or
//      chain runs into another's records, and then it is refused, naming
//      its path (read, it would show the other's values; saved, it would
//      overwrite them). The map is built when first needed, in one pass
//      over the file, and kept on the terms of K1-K3; this store's own
//      saves and new DSDirs bring it up to date, an erase or a deleted
//      DSDir has it built again. The old-layout store and the solver's
//      runtime walk the file the same way.
//  R3. Every outermost operation that only reads (attaching, opening or
//      loading a series, a walk or listing that changes nothing, the tree
//      picker's tree) holds the shared lock from before its first read to
//      after its last (ReadScope): no change is under way meanwhile, so it
//      sees the file as the last change left it, never half made. Under
//      the shared lock a journal there is hot (J3): the shared lock is let
//      go, the journal rolled back under the lock (waiting for whoever
//      holds either), and the shared lock taken again, before anything is
//      read. A read inside a change keeps the change's lock (flock would
//      convert it to the shared lock, not nest in it); a change inside a
//      read takes the lock in its place and the shared lock again at its
//      end. The old-layout store does the same for its attach and its
//      look-ups; the solver's runtime holds the shared lock from opening
//      the file to closing it.
//
// A change, in order
//  W1. The lock, held to W8, so that two programs never change the file
//      at once.
//  W2. A journal found beside the file is rolled back (J3): under the lock
//      nobody else is changing the file, so it is what a change cut short
//      left. (Attached read-only, the store rolls it back before taking
//      the lock, through a descriptor of its own, and its change fails at
//      its first write.)
//  W3. Record 0 is read afresh and must hold the magic; next free becomes
//      at least the file's size, so that records another program appended
//      are never handed out again.
//  W4. The change's writes are held in memory, and its own reads see them;
//      the file is not touched. The order of the writes within a change
//      therefore never reaches the file.
//  W5. The commit, or a part of the change once it holds more than the
//      block file's hold limit: the old bytes go to the journal (J1),
//      which is synced (J2).
//  W6. The records are written in record order, one write per run of
//      consecutive records.
//  W7. The file is synced, then the journal removed (emptied where it
//      cannot be removed: an empty journal counts as none). With the
//      removal the change is made.
//  W8. A change that went through keeps the cache under the stamp it
//      left (K2); the lock is let go.
//
// The journal
//  J1. What goes in: the bytes each record had before the change, once
//      per record (a record written twice keeps its first old bytes), and
//      in its header the file's size before the change. Records past the
//      old end are not journalled: the cut to the old size removes them.
//  J2. When it is synced: after each part's entries are written and before
//      any record of that part is; its directory too when the journal is
//      new, so that a crash cannot lose it.
//  J3. A journal is hot when it is there and nobody else holds the lock
//      (a holder is the change it belongs to, C6); under the lock or the
//      shared lock, one there is hot. One whose header does
//      not pass its checksum, or is shorter than a header, never counted
//      (by J2 the file was not touched): it is removed. Otherwise its
//      entries count up to the first that does not pass its checksum or
//      is cut short; they are written back, the file is cut to its old
//      size and synced, and the journal removed. The salt in every
//      checksum keeps bytes of an earlier journal from passing as this
//      one's.
//  J4. Who rolls a hot journal back: this store at the start of each
//      outermost read (R3; attaching included) and each change (W2); the
//      old-layout store (viewer/old_dsf.h) the same way; the solver's
//      runtime (runtime/KRVDSF.pas) on opening, under its shared lock as
//      R3 says, and under its lock before it writes. A
//      journal that cannot be rolled back refuses the attach or the
//      operation, with the system's reason, and stays for the next try.
//
// What a crash (a kill, a full disk, the machine stopping) leaves, as the
// next to open the file finds it (J4)
//  C1. Before the journal's first sync: the file untouched. A journal left
//      is torn (removed) or its whole entries hold the bytes the file
//      still has: the old file either way.
//  C2. From the journal's first sync to its removal: its whole entries hold
//      the old bytes of every record written so far (J1, J2); rolled back,
//      the file is the old one, byte for byte.
//  C3. After the removal: the new file, whole. (A machine that stops
//      before the removal itself is on the disk may bring the journal
//      back: rolled back, the old file, still whole.)
//  C4. A crash during a roll-back leaves the journal: the next opener
//      rolls it back again, to the same old file.
//  C5. A change that fails in the program (a file error at any call; or,
//      outside a held change, any fault that breaks its operation off)
//      leaves nothing of itself: what went out is rolled back (where even
//      that fails, the journal stays for J4). A file error is shown with
//      the system's reason, and the series the change saved keep their
//      unsaved marks. Inside a held change a file error ends the whole
//      held change: CommitChanges then writes none of it and is false.
//  C6. A journal beside a file whose lock another holds belongs to a
//      change under way, not to a crash: nobody rolls it back, and nobody
//      reads the file meanwhile. Every reader (this store, the old-layout
//      store, the solver's runtime) waits for the shared lock (R3), which
//      the change lets go only after W7, so no read meets a change half
//      made.
// So a series saved over itself holds its old values or its new ones, to
// the next opener after a crash and to a reader in another program alike,
// and a held change (a root and all its series) is in the file whole or
// not at all.
//
// What the store keeps between operations
//  K1. DSDir blocks as last read or written (up to kDirCacheMax of them),
//      their by-name indexes, the head and chain of the series last read
//      or written, and the owners map (R2): a walk of the tree then costs
//      no reads, and a save over a series just opened or saved need not
//      read its chain again. Record 0 and the values of a series are read
//      afresh; the span of the last series read only sizes the next first
//      read (every record it brings is checked as it stands).
//  K2. They are kept while the file is as it was when they were: the key
//      is the file's stamp (device, inode, size, modification and change
//      times) with record 0's change count and next free, looked at first
//      by every outermost operation, under its lock or shared lock (W1,
//      R3) and after any hot journal is rolled back; any difference in
//      the key empties them. This store's writes
//      go through them and keep the key up to date; a change that fails
//      empties them.
//  K3. What tells that another program changed the file: a change bumps
//      record 0's change count (this store's WriteDSFHeader, which every
//      operation that writes ends with, AddDSDirEntry alone leaving
//      record 0 to its caller; the solver's runtime too), which holds
//      even where the file system's clock is too coarse to move the stamp;
//      any other write moves the stamp, to that clock's resolution. The
//      store keeps its descriptor: a file renamed into the path is not
//      seen (no program of the system does that to an existing store).
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/block_journal.h"
#include "platform/byte_io.h"
#include "platform/file_resolver.h"
#include "platform/hourglass.h"
#include "platform/text.h"
#include "series/store_internal.h"

namespace krv::series {

namespace {
constexpr const char* kDamaged = "DSF file has been damaged";
constexpr int32_t kReadAhead = 512;     // records per read of a chain
constexpr int32_t kHeadReadAhead = 8;  // records read with a series head
}  // namespace

// ---- Faults ----

void SeriesStore::FailWith(const Fault& f) {
  FailureFlag = true;
  LastFault = f.text;
  // A file error inside a held change ends it: none of it goes out.
  if (f.always && changeDepth_ > 0) changeFailed_ = true;
  if (f.always)
    ShowMessageStr(f.text);
  else
    ReportError(f.text);
}

void SeriesStore::Damaged() { throw Fault{kDamaged}; }

void SeriesStore::CheckLink(int32_t n) const {
  if (!LinkInFile(n)) throw Fault{kDamaged};
}

// ---- Records ----
//
// What is kept from one operation to the next, and for how long: K1-K3.

namespace {
constexpr size_t kDirCacheMax = 1 << 16;  // blocks kept, about 12 MB at most
}

void SeriesStore::StartOperation(RecordBytes* record0) {
  platform::BlockFile::Stamp stamp;
  RecordBytes r;
  if (!file_.GetStamp(stamp)) {
    fileRecords_ = 0;
    DropDirCache();
    return;
  }
  // A journal left by a change cut short is rolled back before this: by
  // the read's shared lock (ReadScope) or the change's (W2).
  fileRecords_ = stamp.size / int64_t(kRecordSize);
  if (fileRecords_ < 1 || !file_.ReadBlocks(0, 1, r.data())) {
    DropDirCache();
    if (record0 && fileRecords_ >= 2)
      throw Fault{"I/O error reading " + file_.Path() + ": " + file_.LastError(), true};
    return;
  }
  DSFHeaderRecord h;
  DecodeHeader(r, h);
  CacheKey key{stamp, h.changeCount, h.nextFree};
  if (!cacheValid_ || !(key == key_)) {
    dirBlocks_.clear();
    dirSlot_.clear();
    dirIndex_.clear();
    dirOwner_.clear();
    keptSeries_.head = -1;
    owners_.Forget();
  }
  key_ = key;
  cacheValid_ = true;
  if (record0) *record0 = r;
}

void SeriesStore::DropDirCache() {
  dirBlocks_.clear();
  dirSlot_.clear();
  dirIndex_.clear();
  dirOwner_.clear();
  keptSeries_.head = -1;
  owners_.Forget();
  cacheValid_ = false;
}

// ---- Whose records (R2) ----

void SeriesStore::BuildOwners() {
  std::vector<int32_t> links(size_t(std::max<int64_t>(fileRecords_, 0)));
  constexpr int64_t kChunk = 8192;  // records per read
  std::vector<RecordBytes> chunk(size_t(std::min<int64_t>(kChunk, int64_t(links.size()))));
  for (int64_t first = 0; first < int64_t(links.size()); first += kChunk) {
    int64_t n = std::min<int64_t>(kChunk, int64_t(links.size()) - first);
    if (!file_.ReadBlocks(first, n, chunk[0].data()))
      throw Fault{"I/O error reading " + file_.Path() + ": " + file_.LastError(), true};
    for (int64_t k = 0; k < n; ++k) links[size_t(first + k)] = DataLink(chunk[size_t(k)]);
  }
  owners_.Build(links, [&](int32_t record, std::vector<RecordOwners::Entry>& entries, int32_t& link) {
    DSDirBlock read;
    const DSDirBlock* b = cacheValid_ && opDepth_ > 0 ? KeptDirBlock(record) : nullptr;
    if (!b) {
      if (!DecodeDirBlock(ReadRecord(record), read)) return false;
      b = &read;
    }
    entries.clear();
    for (const DSDirEntry& e : b->entries)
      if (e.Used()) entries.push_back({e.record, e.IsDSDir()});
    link = b->link;
    return true;
  });
}

void SeriesStore::CheckOwnRecords(int32_t headRecord, const std::string& path) {
  if (!owners_.Valid()) BuildOwners();
  if (owners_.Damaged(headRecord)) DamagedSeries(path);
  // Kept only while the file stays as this store knows it.
  if (!cacheValid_ || opDepth_ == 0) owners_.Forget();
}

void SeriesStore::DamagedSeries(const std::string& path) { throw Fault{std::string(kDamaged) + ": " + path}; }

const SeriesStore::DirIndex* SeriesStore::IndexOf(int32_t first) {
  if (!cacheValid_ || opDepth_ == 0) return nullptr;
  auto found = dirIndex_.find(first);
  if (found != dirIndex_.end()) return &found->second;
  // Whatever is not kept, or not a plain chain (a link out of the file, a
  // block met twice or shared with another chain), is left to the walk
  // that reads and checks block by block.
  DirIndex idx;
  RecordSet met;
  for (int32_t rec = first; rec != 0;) {
    const DSDirBlock* b = KeptDirBlock(rec);
    if (!b || (rec != 1 && !LinkInFile(rec)) || (b->link != 0 && !LinkInFile(b->link)) ||
        !met.Insert(rec) || (size_t(rec) < dirOwner_.size() && dirOwner_[size_t(rec)] != 0))
      return nullptr;
    int32_t pos = int32_t(idx.records.size());
    idx.records.push_back(rec);
    for (const DSDirEntry& e : b->entries)
      if (e.Used()) idx.byName[platform::UpperAscii(e.name)].push_back({pos, e});
    rec = b->link;
  }
  for (int32_t rec : idx.records) {
    if (size_t(rec) >= dirOwner_.size()) dirOwner_.resize(size_t(rec) + 1, 0);
    dirOwner_[size_t(rec)] = first;
  }
  return &dirIndex_.insert_or_assign(first, std::move(idx)).first->second;
}

void SeriesStore::ForgetIndexes(int64_t first, int64_t end) {
  end = std::min<int64_t>(end, int64_t(dirOwner_.size()));
  for (int64_t n = first; n < end; ++n) {
    int32_t owner = dirOwner_[size_t(n)];
    if (owner == 0) continue;
    auto it = dirIndex_.find(owner);
    if (it != dirIndex_.end()) {
      for (int32_t rec : it->second.records) dirOwner_[size_t(rec)] = 0;
      dirIndex_.erase(it);
    }
    dirOwner_[size_t(n)] = 0;
  }
}

void SeriesStore::KeepDirBlock(int32_t n, const DSDirBlock& b) {
  if (!cacheValid_ || opDepth_ == 0 || n < 1) return;
  if (size_t(n) >= dirSlot_.size()) dirSlot_.resize(size_t(n) + 1, 0);
  int32_t& slot = dirSlot_[size_t(n)];
  if (slot) {
    dirBlocks_[size_t(slot - 1)] = b;
  } else if (dirBlocks_.size() < kDirCacheMax) {
    dirBlocks_.push_back(b);
    slot = int32_t(dirBlocks_.size());
  }
}

// At the end of a change that went through: the cache holds what was
// written, so it stays valid for the file as this change left it.
void SeriesStore::KeepDirCache() {
  if (!cacheValid_ || !file_.GetStamp(key_.stamp)) DropDirCache();
}

void SeriesStore::BeginRead() { StartOperation(nullptr); }

RecordBytes SeriesStore::ReadRecord(int32_t n) {
  RecordBytes r;
  if (!file_.ReadBlocks(n, 1, r.data()))
    throw Fault{"I/O error reading " + file_.Path() + ": " + file_.LastError(), true};
  return r;
}

void SeriesStore::CheckWritable() const {
  if (file_.IsReadOnly())
    throw Fault{"I/O error writing " + file_.Path() + ": attached read-only", true};
}

void SeriesStore::WriteFailed() {
  DropDirCache();  // the change is rolled back: the file is as it was before it
  changeFailed_ = true;
  throw Fault{"I/O error writing " + file_.Path() + ": " + file_.LastError(), true};
}

SeriesStore::Fault SeriesStore::UndoFailed() const {
  return Fault{"I/O error restoring " + file_.Path() + ": " + file_.LastError(), true};
}

void SeriesStore::WriteRecords(int32_t first, const RecordBytes* records, int32_t count) {
  CheckWritable();
  if (!file_.WriteBlocks(first, count, records->data())) WriteFailed();
  NoteWritten(first, records, count);
}

void SeriesStore::NoteWritten(int32_t first, const RecordBytes* records, int32_t count) {
  fileRecords_ = std::max<int64_t>(fileRecords_, int64_t(first) + count);
  if (first == 0) {
    DSFHeaderRecord h;
    DecodeHeader(records[0], h);
    key_.changeCount = h.changeCount;
    key_.nextFree = h.nextFree;
  }
  // Kept blocks these records overwrite are no longer what the file holds.
  // Record 0 is never part of a series.
  if (int64_t(first) + count > 1) keptSeries_.head = -1;
  int64_t end = std::min<int64_t>(int64_t(first) + count, int64_t(dirSlot_.size()));
  for (int64_t n = first; n < end; ++n) dirSlot_[size_t(n)] = 0;
  ForgetIndexes(first, int64_t(first) + count);
}

void SeriesStore::BeginChange() {
  RecordBytes r;
  StartOperation(&r);
  DSFHeaderRecord h;
  if (fileRecords_ < 2 || !DecodeHeader(r, h) || h.magic != kDSFMagic) Damaged();
  // Another program may have appended since this one last looked.
  h.nextFree = int32_t(std::max<int64_t>(h.nextFree, fileRecords_));
  DSFHeader = h;
}

SeriesStore::ChangeScope::ChangeScope(SeriesStore& s)
    : s_(s), exceptions_(std::uncaught_exceptions()) {
  ++s_.opDepth_;
  if (s_.changeDepth_++ > 0) return;
  outermost_ = true;
  // Attached read-only, the store rolls back a journal left there through
  // a descriptor of its own, before its lock is taken.
  if (s_.file_.IsReadOnly() && s_.file_.RecoverJournal() == platform::BlockFile::Recovery::kFailed) {
    --s_.changeDepth_;
    --s_.opDepth_;
    throw s_.UndoFailed();
  }
  if (!s_.file_.Lock()) {
    --s_.changeDepth_;
    --s_.opDepth_;
    throw Fault{"I/O error locking " + s_.file_.Path() + ": " + s_.file_.LastError(), true};
  }
  try {
    // A change of a file attached read-only fails at its first write.
    if (!s_.file_.IsReadOnly() && !s_.file_.BeginChange()) throw s_.UndoFailed();
    s_.changeFailed_ = false;
    s_.savedInChange_.clear();
    s_.BeginChange();
  } catch (...) {
    s_.file_.AbandonChange();
    s_.DropDirCache();
    s_.EndChangeLock();
    --s_.changeDepth_;
    --s_.opDepth_;
    throw;
  }
}

bool SeriesStore::ChangeScope::End(bool commit) {
  if (!outermost_ || ended_) return true;
  ended_ = true;
  bool ok = true;
  if (commit && !s_.changeFailed_ && !s_.file_.CommitChange()) {
    ok = false;
    s_.DropDirCache();
    s_.FailWith(Fault{"I/O error writing " + s_.file_.Path() + ": " + s_.file_.LastError(), true});
  } else if (!commit || s_.changeFailed_) {
    ok = false;
    s_.file_.AbandonChange();
    s_.DropDirCache();
  }
  if (ok)
    s_.KeepDirCache();
  else
    s_.RestoreSaved();
  s_.savedInChange_.clear();
  s_.EndChangeLock();
  return ok;
}

SeriesStore::ChangeScope::~ChangeScope() {
  // A change broken off by a fault leaves nothing of itself in the file.
  End(std::uncaught_exceptions() <= exceptions_);
  --s_.changeDepth_;
  --s_.opDepth_;
}

SeriesStore::ReadScope::ReadScope(SeriesStore& s) : s_(s) {
  if (s_.opDepth_ == 0 && s_.file_.IsOpen()) {
    switch (s_.file_.LockShared()) {
      case platform::BlockFile::ReadLock::kHeld: break;
      case platform::BlockFile::ReadLock::kRestoreFailed: s_.DropDirCache(); throw s_.UndoFailed();
      case platform::BlockFile::ReadLock::kLockFailed:
        throw Fault{"I/O error locking " + s_.file_.Path() + ": " + s_.file_.LastError(), true};
    }
    locked_ = s_.sharedLock_ = true;
    try {
      s_.BeginRead();
    } catch (...) {
      s_.sharedLock_ = false;
      s_.file_.Unlock();
      throw;
    }
  } else if (s_.opDepth_ == 0) {
    s_.BeginRead();
  }
  ++s_.opDepth_;
}

SeriesStore::ReadScope::~ReadScope() {
  --s_.opDepth_;
  if (!locked_) return;
  s_.sharedLock_ = false;
  s_.file_.Unlock();
}

void SeriesStore::EndChangeLock() {
  if (!sharedLock_) {
    file_.Unlock();
    return;
  }
  // The change is whole or undone: the read around it goes on under the
  // shared lock (flock converts the exclusive one).
  if (file_.LockShared() != platform::BlockFile::ReadLock::kHeld) sharedLock_ = false;
}

// ---- Changes held across operations ----

void SeriesStore::RestoreSaved() {
  for (const Saved& v : savedInChange_) {
    if (!v.slot->series_) continue;
    ColumnSlot::Series& s = *v.slot->series_;
    v.slot->modified = v.modified;
    s.header.stamp = v.stamp;
    s.descriptor.headRecord = v.headRecord;
    s.descriptor.dsfName = v.dsfName;
    s.descriptor.dsfStamp = v.dsfStamp;
  }
}

bool SeriesStore::HoldChanges() {
  FailureFlag = false;
  if (CheckDSFAttachedGuide()) return false;
  if (held_) return true;
  try {
    held_ = std::make_unique<ChangeScope>(*this);
  } catch (const Fault& f) {
    FailWith(f);
    return false;
  }
  return true;
}

bool SeriesStore::CommitChanges() {
  if (!held_) return true;
  bool ok = held_->End(true);
  held_.reset();
  if (!ok) FailureFlag = true;
  return ok;
}

void SeriesStore::DropChanges() {
  if (!held_) return;
  held_->End(false);
  held_.reset();
}

const DSDirBlock& SeriesStore::ReadDirBlock(int32_t n, DSDirBlock& scratch) {
  if (n != 1) CheckLink(n);
  bool usable = cacheValid_ && opDepth_ > 0;
  const DSDirBlock* kept = usable ? KeptDirBlock(n) : nullptr;
  if (!kept) {
    if (!DecodeDirBlock(ReadRecord(n), scratch)) Damaged();
    KeepDirBlock(n, scratch);
    kept = usable && KeptDirBlock(n) ? KeptDirBlock(n) : &scratch;
  }
  if (kept->link != 0) CheckLink(kept->link);
  return *kept;
}

void SeriesStore::WriteDirBlock(int32_t n, const DSDirBlock& b) {
  WriteRecord(n, EncodeDirBlock(b));
  KeepDirBlock(n, b);
}

void SeriesStore::ReadDirChain(int32_t first, std::vector<int32_t>& records,
                               std::vector<DSDirBlock>& blocks) {
  records.clear();
  blocks.clear();
  for (int32_t rec = first; rec != 0;) {
    // A chain longer than the file has records meets some record twice.
    if (int64_t(records.size()) >= fileRecords_) Damaged();
    DSDirBlock scratch;
    blocks.push_back(ReadDirBlock(rec, scratch));
    records.push_back(rec);
    rec = blocks.back().link;
  }
}

RecordBytes* SeriesStore::IoBuffer(int64_t records) {
  if (records > ioCap_) {
    // Not cleared: a buffer zeroed only to be read over costs about as
    // much as copying the records themselves.
    ioBuf_ = std::make_unique_for_overwrite<RecordBytes[]>(size_t(records));
    ioCap_ = records;
  }
  return ioBuf_.get();
}

std::vector<int32_t> SeriesStore::ReadChainRecords(int32_t firstData, int32_t expected,
                                                   std::vector<float>* cells, int64_t held,
                                                   int32_t heldFirst) {
  std::vector<int32_t> chain;
  size_t announced = size_t(std::clamp<int64_t>(expected, 1, fileRecords_));
  chain.reserve(announced);
  // Sized once for the blocks the head announces (a reused vector of that
  // size is not filled at all): each block is then copied into its place.
  if (cells) cells->resize(announced * kBlockCells);
  for (int32_t rec = firstData;;) {
    CheckLink(rec);
    // A chain longer than the file has records meets some record twice.
    if (int64_t(chain.size()) >= fileRecords_) Damaged();
    if (rec < heldFirst || int64_t(rec) >= int64_t(heldFirst) + held) {
      // Chains are mostly runs of consecutive records: read ahead.
      int64_t want = std::clamp<int64_t>(int64_t(expected) - int64_t(chain.size()), 1, kReadAhead);
      want = std::min<int64_t>(want, fileRecords_ - rec);
      if (!file_.ReadBlocks(rec, want, IoBuffer(want)->data()))
        throw Fault{"I/O error reading " + file_.Path() + ": " + file_.LastError(), true};
      heldFirst = rec;
      held = want;
    }
    const RecordBytes& r = ioBuf_[size_t(rec - heldFirst)];
    int32_t link;
    if (cells) {
      size_t at = chain.size() * kBlockCells;
      if (at + kBlockCells > cells->size()) cells->resize(at + kBlockCells);  // more than announced
      DecodeCells(r, link, cells->data() + at);
    } else {
      link = DataLink(r);
    }
    chain.push_back(rec);
    if (link == 0) break;
    rec = link;
  }
  // A chain shorter than announced is refused by the caller.
  return chain;
}

SeriesStore::SeriesImage SeriesStore::ReadSeries(int32_t headRecord, const std::string& path, bool withCells) {
  try {
    return ReadOwnSeries(headRecord, path, withCells);
  } catch (const Fault& f) {
    if (f.text == kDamaged) DamagedSeries(path);  // named: the damage is this series'
    throw;
  }
}

SeriesStore::SeriesImage SeriesStore::ReadOwnSeries(int32_t headRecord, const std::string& path, bool withCells) {
  CheckLink(headRecord);
  CheckOwnRecords(headRecord, path);
  SeriesImage im;
  bool keeping = cacheValid_ && opDepth_ > 0;
  if (!withCells && keeping && keptSeries_.head == headRecord) {
    // Read and checked by this store, and nothing has written there since.
    im.head = keptSeries_.record;
    im.chain = keptSeries_.chain;
    lastSpan_ = {headRecord, keptSeries_.spanRecords};
    return im;
  }
  // The data records mostly follow their head: a short series, or one
  // laid out as when this store last met it, comes in the same read.
  // Every record is checked as it stands, so a wrong guess costs only a
  // further read.
  int64_t ahead = kHeadReadAhead;
  if (headRecord == lastSpan_.head) ahead = std::clamp<int64_t>(lastSpan_.records, 1, kReadAhead);
  ahead = std::min<int64_t>(ahead, fileRecords_ - headRecord);
  if (!file_.ReadBlocks(headRecord, ahead, IoBuffer(ahead)->data()))
    throw Fault{"I/O error reading " + file_.Path() + ": " + file_.LastError(), true};
  if (!DecodeHead(ioBuf_[0], im.head)) Damaged();
  const SeriesHeader& h = im.head.header;
  if (h.firstOffset > kBlockCells - 1 && !h.Empty()) Damaged();
  int32_t expected = h.Empty() ? 1 : (int32_t(h.highest) - h.base) / kBlockCells + 1;
  if (withCells) im.cells = std::move(spareCells_);
  im.chain = ReadChainRecords(im.head.firstData, expected, withCells ? &im.cells : nullptr, ahead,
                              headRecord);
  if (!h.Empty()) {
    int lowest = h.base + h.firstOffset;
    int span = int(h.highest) - h.base;
    if (lowest > h.highest || span >= int(im.chain.size()) * kBlockCells) Damaged();
  }
  NoteSpan(headRecord, im.chain);
  if (keeping) KeepSeries(headRecord, im.head, im.chain);
  return im;
}

void SeriesStore::KeepSeries(int32_t headRecord, const SeriesHeadRecord& head,
                             std::vector<int32_t> chain) {
  keptSeries_.head = headRecord;
  keptSeries_.record = head;
  keptSeries_.chain = std::move(chain);
  keptSeries_.spanRecords = lastSpan_.records;
}

void SeriesStore::NoteSpan(int32_t headRecord, const std::vector<int32_t>& chain) {
  size_t k = 0;
  while (k < chain.size() && int64_t(chain[k]) == int64_t(headRecord) + 1 + int64_t(k)) ++k;
  lastSpan_ = {headRecord, int32_t(k + 1)};
}

// ---- Attaching ----

bool SeriesStore::AttachFile(const std::string& path, bool readOnly) {
  std::string name = platform::ResolvePath(path + ".DSF");
  switch (ProbeDSFLayout(name)) {
    case DSFLayout::kUnreadable:
      FailureFlag = true;
      ReportError(path + " not found");
      return false;
    case DSFLayout::kEarlier:
      // The file attached before stays attached.
      FailureFlag = true;
      ShowMessageStr("DSF file must be converted to new format");
      return false;
    case DSFLayout::kCurrent:
      break;
  }
  CloseDSF();
  try {
    if (!file_.Open(name, readOnly ? platform::BlockFile::Mode::ReadOnly
                                   : platform::BlockFile::Mode::ReadWrite))
      throw Fault{"I/O error opening " + name + ": " + file_.LastError(), true};
    {
      // Under the shared lock, a change cut short undone first (J4).
      ReadScope read(*this);
      fileRecords_ = file_.BlockCount();
      DSFHeaderRecord h;
      if (!DecodeHeader(ReadRecord(0), h)) Damaged();
      DSFHeader = h;
    }
    if (fileRecords_ != DSFHeader.nextFree) {
      if (readOnly) {
        LastFault = kDamaged;
        ShowMessageStr(kDamaged);
        DSFHeader.nextFree = int32_t(std::min<int64_t>(fileRecords_, INT32_MAX));
      } else {
        ReportError("DSF file has been damaged, fixing it:");
        ChangeScope change(*this);
        DSFHeader.nextFree = int32_t(std::min<int64_t>(fileRecords_, INT32_MAX));
        WriteDSFHeader();
      }
    }
  } catch (const Fault& f) {
    CloseDSF();  // nothing stays attached, and no stale path names it
    AttachedDSFPath.clear();
    FailWith(f);
    return false;
  }
  AttachedDSFPath = path;
  SetRootDir();
  FailureFlag = false;
  return true;
}

void SeriesStore::AttachDSF(const std::string& path) { AttachFile(path, false); }

void SeriesStore::AttachDSFReadOnly(const std::string& path) { AttachFile(path, true); }

void SeriesStore::CreateDSF(const std::string& path, const std::string& headerName) {
  FailureFlag = false;
  std::string name = path + ".DSF";
  if (platform::FileExists(name)) {
    FailureFlag = true;
    ReportError("DSF already exists");
    return;
  }
  CloseDSF();
  // A journal without its file belongs to no file: left there, it would
  // be rolled back into the new one.
  if (::unlink(platform::JournalPath(name).c_str()) != 0 && errno != ENOENT) {
    FailureFlag = true;
    ShowMessageStr("I/O error creating " + name + ": " + std::strerror(errno));
    return;
  }
  DSFHeaderRecord h;
  h.nextFree = 2;
  h.name = headerName.empty() ? DSFNameOf(path) : headerName.substr(0, kEntryNameMax);
  h.created = GetDateStamp();
  DSDirBlock root;
  RecordBytes r0 = EncodeHeader(h), r1 = EncodeDirBlock(root);
  std::string bytes(reinterpret_cast<const char*>(r0.data()), r0.size());
  bytes.append(reinterpret_cast<const char*>(r1.data()), r1.size());
  if (!platform::WriteFileAtomic(name, bytes) ||
      !file_.Open(name, platform::BlockFile::Mode::ReadWrite)) {
    FailureFlag = true;
    ShowMessageStr("I/O error creating " + name);
    return;
  }
  DSFHeader = h;
  AttachedDSFPath = path;
  SetRootDir();
}

void SeriesStore::CloseDSF() {
  DropChanges();
  file_.Close();
  DropDirCache();
  lastSpan_ = Span();
  AttachedDSFPath.clear();
}

void SeriesStore::WriteDSFHeader() {
  if (changeDepth_ == 0) {
    // Record 0 as the caller has set it, as a change of its own; the file
    // keeps whatever others have added meanwhile.
    if (!IsAttached()) return;
    DSFHeaderRecord wanted = DSFHeader;
    try {
      ChangeScope change(*this);
      wanted.nextFree = std::max(wanted.nextFree, DSFHeader.nextFree);
      wanted.changeCount = DSFHeader.changeCount;
      DSFHeader = wanted;
      WriteDSFHeader();
    } catch (const Fault& f) {
      FailWith(f);
    }
    return;
  }
  ++DSFHeader.changeCount;
  WriteRecord(0, EncodeHeader(DSFHeader));
}

void SeriesStore::SetRootDir() {
  CurrentDSDirPath.clear();
  CurrentDSDirEntry = RootEntry();
}

std::string SeriesStore::AbsolutePath(const std::string& path) const {
  if (!path.empty() && path[0] == '.') return path.substr(0, kShortMax);
  return (CurrentDSDirPath + "." + path).substr(0, kShortMax);
}

// ---- DSDir entries ----

bool SeriesStore::AddDSDirEntry(const DSDirEntry& parent, const std::string& name, uint8_t kind,
                                DSDirEntry& out) {
  FailureFlag = false;
  try {
    return AddEntry(parent, name, kind, out);
  } catch (const Fault& f) {
    FailWith(f);
    return false;
  }
}

bool SeriesStore::AddEntry(const DSDirEntry& parent, const std::string& name, uint8_t kind,
                           DSDirEntry& out, EntryWrites* deferred) {
  FailureFlag = false;
  // A name longer than an entry holds would be stored cut and never be
  // found again under the name it was given.
  if (name.empty() || name.size() > kEntryNameMax ||
      name.find_first_of("&*?") != std::string::npos) {
    ReportError("Name syntax err");
    FailureFlag = true;
    return false;
  }
  ChangeScope change(*this);
  // The chain is walked in place (kept blocks are not copied); only the
  // block that takes the entry is copied to be changed.
  DSDirBlock scratch, freeBlock;
  const DSDirBlock* last = nullptr;
  int32_t lastRecord = 0, freeRecord = 0;
  int freeEntry = -1;
  int64_t met = 0;
  for (int32_t rec = parent.record; rec != 0;) {
    // A chain longer than the file has records meets some record twice.
    if (met++ >= fileRecords_) Damaged();
    const DSDirBlock& b = ReadDirBlock(rec, scratch);
    for (int k = 0; k < kEntriesPerBlock; ++k) {
      const DSDirEntry& e = b.entries[size_t(k)];
      if (!e.Used()) {
        if (freeEntry < 0) freeEntry = k, freeRecord = rec, freeBlock = b;
      } else if (SameNameNoCase(e.name, name)) {
        out = e;
        return false;
      }
    }
    last = &b;  // `scratch` outlives the loop, and nothing is written meanwhile
    lastRecord = rec;
    rec = b.link;
  }
  if (!last) Damaged();  // a DSDir entry naming record 0
  int32_t& next = DSFHeader.nextFree;
  EntryWrites w;
  if (freeEntry >= 0) {
    w.record = freeRecord;
    w.block = freeBlock;
    w.block.entries[size_t(freeEntry)] = DSDirEntry{next, name, kind};
  } else {
    w.record = lastRecord;
    w.block = *last;
    w.block.link = next;
    w.freshRecord = next++;
    w.fresh.entries[0] = DSDirEntry{next, name, kind};
  }
  out = DSDirEntry{next, name, kind};
  if (deferred)
    *deferred = w;
  else
    WriteEntry(w);
  return true;
}

// The fresh block, then the block that links it in. Within a change the
// order of its writes does not reach the file (W4): the entry, its fresh
// block and whatever it names are there together or not at all.
void SeriesStore::WriteEntry(const EntryWrites& w) {
  if (w.freshRecord != 0) {
    WriteDirBlock(w.freshRecord, w.fresh);
    owners_.TakeDirBlock(w.freshRecord, w.record);
  }
  WriteDirBlock(w.record, w.block);
}

void SeriesStore::SplitParentPath(const std::string& path, std::string& name, DSDirEntry& parent,
                                  bool& failure) {
  failure = false;
  // The whole path must parse: this also refuses more than 15 levels.
  ParsedPath parsed;
  if (!ParseDSFPath(path, parsed, failure)) return;
  size_t dot = path.rfind('.');
  name = (dot == std::string::npos ? path : path.substr(dot + 1)).substr(0, kComponentMax);
  if (dot == std::string::npos) {
    parent = CurrentDSDirEntry;
  } else if (dot == 0) {
    parent = RootEntry();
  } else {
    FindDSFEntry(path.substr(0, dot), failure, parent);
    if (failure) return;
    // Entries go into DSDirs only, never into the records of a series.
    if (!parent.Used() || !parent.IsDSDir()) {
      ReportError("Path does not exist");
      failure = true;
    }
  }
}

void SeriesStore::MakeDSDir(const std::string& path, bool existingFails) {
  DSDirExisted = false;
  if (CheckDSFAttachedGuide()) return;
  std::string p = path;
  TrimToFirstWord(p);
  try {
    ChangeScope change(*this);
    std::string name;
    DSDirEntry parent;
    bool failure;
    SplitParentPath(p, name, parent, failure);
    if (failure || name.empty() || name.find_first_of("&*?") != std::string::npos) {
      FailureFlag = true;
      return;
    }
    DSDirEntry entry;
    EntryWrites writes;
    if (AddEntry(parent, name, kDSDirKind, entry, &writes)) {
      // The new DSDir's block, its entry and record 0 in one change.
      WriteDirBlock(entry.record, DSDirBlock());
      owners_.NewDSDir(entry.record);
      WriteEntry(writes);
      DSFHeader.nextFree += 1;
      WriteDSFHeader();
      return;
    }
    if (FailureFlag) return;
    DSDirExisted = true;
    if (existingFails || !entry.IsDSDir()) {
      ReportError("Directory already exists");
      FailureFlag = true;
    }
  } catch (const Fault& f) {
    FailWith(f);
  }
}

// ---- Saving and reading series ----

void SeriesStore::StoreImage(ColumnSlot& slot, int32_t headRecord, SeriesHeadRecord& head,
                             std::vector<int32_t> chain, const EntryWrites* entry) {
  ColumnSlot::Series& s = *slot.series_;
  DateStamp now = GetDateStamp();
  head.header = s.header;
  head.header.xHead = 0;
  head.header.stamp = now;
  head.firstData = chain.front();
  int blocks = slot.BlockCount();
  std::vector<int32_t> before;
  if (owners_.Valid()) before = chain;
  // Where each block goes: the series' own records first, then new ones.
  std::vector<int32_t> at = std::move(chain);
  size_t reused = std::min(at.size(), size_t(blocks));
  at.resize(size_t(blocks));
  for (size_t k = reused; k < at.size(); ++k) at[k] = DSFHeader.nextFree++;
  // Head first, then the data records in chain order, a call per run of
  // consecutive record numbers (the change writes what it holds in record
  // order, W6). Every record of the buffer's first blocks+1 is encoded here.
  RecordBytes* bytes = IoBuffer(int64_t(blocks) + 1);
  bytes[0] = EncodeHead(head);
  EncodeBlocks(s.cells.data(), at.data(), blocks, bytes + 1);
  auto recNo = [&](size_t i) { return i == 0 ? headRecord : at[i - 1]; };
  for (size_t i = 0, n = size_t(blocks) + 1; i < n;) {
    size_t j = i + 1;
    while (j < n && at[j - 1] == recNo(j - 1) + 1) ++j;
    if (i == 0) lastSpan_ = {headRecord, int32_t(j)};
    WriteRecords(recNo(i), &bytes[i], int32_t(j - i));
    i = j;
  }
  // A new series' entry and record 0 go into the same change as its
  // records: the file has the whole save or none of it.
  if (entry) WriteEntry(*entry);
  WriteDSFHeader();
  owners_.TakeSeries(headRecord, before, at);
  // What the slot said before, should the change not go through.
  savedInChange_.push_back({&slot, slot.modified, s.header.stamp, s.descriptor.headRecord, s.descriptor.dsfName,
                            s.descriptor.dsfStamp});
  // Kept as a read would find it (a header field wider than its place
  // in the record is stored cut).
  SeriesHeadRecord written;
  if (cacheValid_ && opDepth_ > 0 && !at.empty() && at.front() == head.firstData &&
      DecodeHead(bytes[0], written))
    KeepSeries(headRecord, written, std::move(at));
  slot.modified = false;
  s.header.stamp = now;
  s.descriptor.headRecord = headRecord;
  // The series now lives in this file: its X link is looked up here.
  s.descriptor.dsfName = DSFHeader.name;
  s.descriptor.dsfStamp = DSFHeader.created;
}

void SeriesStore::StoreSeriesRecords(ColumnSlot& slot, int32_t headRecord, SeriesHeadRecord& head,
                                     DataRecord& firstData) {
  FailureFlag = false;
  if (!SelectOpenSeries(slot) || !IsAttached()) {
    FailureFlag = true;
    return;
  }
  try {
    ChangeScope change(*this);
    CheckLink(headRecord);
    CheckOwnRecords(headRecord, slot.series_->descriptor.path);
    std::vector<int32_t> chain{head.firstData};
    if (firstData.link != 0) {
      std::vector<int32_t> rest = ReadChainRecords(firstData.link, slot.BlockCount() - 1, nullptr);
      chain.insert(chain.end(), rest.begin(), rest.end());
    }
    StoreImage(slot, headRecord, head, std::move(chain));
  } catch (const Fault& f) {
    FailWith(f);
  }
}

void SeriesStore::SaveSeries(ColumnSlot& slot, const std::string& path) {
  if (CheckDSFAttachedGuide()) return;
  std::string p = path;
  TrimToFirstWord(p);
  if (!SelectOpenSeries(slot)) {
    FailureFlag = true;
    return;
  }
  try {
    ChangeScope change(*this);
    std::string name;
    DSDirEntry parent;
    bool failure;
    SplitParentPath(p, name, parent, failure);
    if (failure) {
      FailureFlag = true;
      return;
    }
    DSDirEntry entry;
    EntryWrites writes;
    bool isNew = AddEntry(parent, name, kSeriesKind, entry, &writes);
    if (FailureFlag) return;
    SeriesHeadRecord head;
    std::vector<int32_t> chain;
    if (isNew) {
      DSFHeader.nextFree += 2;
      chain.push_back(entry.record + 1);
    } else {
      if (entry.IsDSDir()) {
        // Writing a series there would overwrite the DSDir's block.
        ReportError(p + " is not a series");
        FailureFlag = true;
        return;
      }
      // Checked before anything is written; its records are reused.
      SeriesImage old = ReadSeries(entry.record, AbsolutePath(p), false);
      head = std::move(old.head);
      chain = std::move(old.chain);
    }
    slot.series_->descriptor.path = AbsolutePath(p);
    StoreImage(slot, entry.record, head, std::move(chain), isNew ? &writes : nullptr);
  } catch (const Fault& f) {
    FailWith(f);
  }
}

void SeriesStore::ApplyImage(ColumnSlot& slot, int32_t headRecord, const std::string& path,
                             SeriesImage& image) {
  ColumnSlot::Series& s = *slot.series_;
  int32_t x = image.head.header.xHead;
  if (x != 0) {
    slot.xSlot = nullptr;
    for (ColumnSlot* o : open_) {
      const SeriesDescriptor& d = o->series_->descriptor;
      if (d.headRecord == x && d.dsfName == DSFHeader.name && d.dsfStamp == DSFHeader.created) {
        slot.xSlot = o;
        break;
      }
    }
    if (!slot.xSlot) ReportError("Warning, x not avail for " + path);
  }
  s.descriptor.headRecord = headRecord;
  s.descriptor.path = path.substr(0, kShortMax);
  s.descriptor.dsfName = DSFHeader.name;
  s.descriptor.dsfStamp = DSFHeader.created;
  s.header = image.head.header;
  s.cells = std::move(image.cells);
  slot.notSaved = false;
  slot.modified = false;
}

void SeriesStore::LoadSeriesRecords(ColumnSlot& slot, int32_t headRecord, const std::string& path) {
  FailureFlag = false;
  if (!SelectOpenSeries(slot) || !IsAttached()) {
    FailureFlag = true;
    return;
  }
  try {
    ReadScope read(*this);
    SeriesImage image = ReadSeries(headRecord, path);
    ApplyImage(slot, headRecord, path, image);
  } catch (const Fault& f) {
    FailWith(f);
  }
}

void SeriesStore::OpenSeries(ColumnSlot& slot, const std::string& path) {
  FailureFlag = false;
  std::optional<ReadScope> read;  // one look at the file for the search and the read
  try {
    read.emplace(*this);
  } catch (const Fault& f) {
    FailWith(f);
    return;
  }
  bool failure;
  DSDirEntry entry;
  FindDSFEntry(path, failure, entry);
  if (failure) {
    FailureFlag = true;
    return;
  }
  if (!entry.Used() || entry.IsDSDir()) {
    FailureFlag = true;
    ReportError(path + " is not a series");
    return;
  }
  try {
    std::string p = path.substr(std::min(path.size(), path.find_first_not_of(' ')));
    SeriesImage image = ReadSeries(entry.record, AbsolutePath(p));  // the slot keeps its series on damage
    if (SelectOpenSeries(slot)) spareCells_ = std::move(slot.series_->cells);
    OpenSeriesInSlot(slot, "", "");
    ApplyImage(slot, entry.record, AbsolutePath(p), image);
  } catch (const Fault& f) {
    FailWith(f);
  }
}

void SeriesStore::SetCurrentDSDir(const std::string& path) {
  FailureFlag = false;
  std::string p = path;
  size_t a = p.find_first_not_of(' ');
  if (a == std::string::npos) {
    SetRootDir();
    return;
  }
  p = p.substr(a, p.find_last_not_of(' ') - a + 1);
  if (p.back() == '.') p.pop_back();
  if (p.empty()) {
    SetRootDir();
    return;
  }
  // The current DSDir is a place, not a pattern: later relative paths
  // are put behind it.
  if (p.find_first_of("&*?") != std::string::npos) {
    FailureFlag = true;
    return;
  }
  p = AbsolutePath(p);
  bool failure;
  DSDirEntry entry;
  FindDSFEntry(p, failure, entry);
  if (failure || !entry.Used() || !entry.IsDSDir()) {
    FailureFlag = true;
    return;
  }
  CurrentDSDirPath = p;
  CurrentDSDirEntry = entry;
}

void SeriesStore::SetXSeries(const std::string& xPath, const std::string& yPath) {
  if (CheckDSFAttachedGuide()) return;
  try {
    ChangeScope change(*this);
    int32_t xRecord = 0;
    if (xPath.find_first_not_of(' ') != std::string::npos) {
      bool failure;
      DSDirEntry x;
      FindDSFEntry(xPath, failure, x);
      if (failure || !x.Used() || x.IsDSDir()) {
        ReportError("X series missing");
        FailureFlag = true;
        return;
      }
      xRecord = x.record;
    }
    bool failure;
    std::string resultPath;
    DSDirEntry arg{xRecord, "", kSeriesKind};
    WalkDSFPath(yPath, kOpSetX, failure, nullptr, resultPath, arg);
    FailureFlag = failure;
    if (failure) ReportError("Y series name error");
  } catch (const Fault& f) {
    FailWith(f);
  }
}

// ---- The tree picker's tree ----

void SeriesStore::FillTreeNodes(TreeNode& node, int32_t record, int depth, bool includeSeries,
                                RecordSet& seen) {
  for (int32_t rec = record; rec != 0;) {
    if (!seen.Insert(rec)) Damaged();
    DSDirBlock scratch;
    const DSDirBlock& b = ReadDirBlock(rec, scratch);
    for (const DSDirEntry& e : b.entries) {
      if (!e.Used()) continue;
      if (depth > kMaxDepth) Damaged();
      if (e.IsDSDir()) {
        TreeNode child{e.name, {}};
        CheckLink(e.record);
        FillTreeNodes(child, e.record, depth + 1, includeSeries, seen);
        node.children.push_back(std::move(child));
      } else if (includeSeries) {
        node.children.push_back(TreeNode{e.name, {}});
      }
    }
    rec = b.link;
  }
}

void SeriesStore::ShowDSFTree(bool includeSeries) {
  Tree = TreeNode{"Root", {}};
  if (CheckDSFAttachedGuide()) return;
  platform::Hourglass hourglass;
  try {
    ReadScope read(*this);
    RecordSet seen;
    FillTreeNodes(Tree, 1, 1, includeSeries, seen);
  } catch (const Fault& f) {
    Tree.children.clear();
    FailWith(f);
  }
}

}  // namespace krv::series
