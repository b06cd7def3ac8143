// The data-series file's earlier layout, which Plotvane still writes into
// in its own layout: no magic number, 16-bit record numbers, names of up
// to 27 characters, a 109-character comment and a 16-bit X link. Plotvane
// never creates such a file; it saves series into one that exists.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/block_file.h"
#include "series/record_owners.h"
#include "series/series_store.h"

namespace krv::view {

constexpr size_t kOldNameMax = 27;
constexpr size_t kOldCommentMax = 109;
// Record numbers are int16: the file ends before record 32768.
constexpr int32_t kOldRecordLimit = 32767;

struct OldDSDirEntry {
  int16_t record = -1;  // first block (DSDir) or head (series); -1 = free
  std::string name;
  uint8_t kind = series::kSeriesKind;
  bool Used() const { return record != -1; }
  bool IsDSDir() const { return kind == series::kDSDirKind; }
};

struct OldDSDirBlock {
  int16_t link = 0;
  uint8_t spare = 0;  // byte 2, kept as read
  OldDSDirEntry entries[4];
};

struct OldSeriesHead {
  int16_t firstData = 0;
  uint8_t spare2 = 0, kind = 1, spare9 = 0;  // kept as read
  int16_t base = 0, highest = 0;
  uint8_t offset = 255;
  series::DateStamp stamp;
  std::string comment;
  int16_t xHead = 0;
};

// Byte codecs of the old layout's records. Decoders return false for a
// string longer than its field or a kind other than 0 or 1.
series::RecordBytes EncodeOldDirBlock(const OldDSDirBlock& b);
bool DecodeOldDirBlock(const series::RecordBytes& r, OldDSDirBlock& b);
series::RecordBytes EncodeOldHead(const OldSeriesHead& h);
bool DecodeOldHead(const series::RecordBytes& r, OldSeriesHead& h);

class OldDSFStore {
 public:
  enum class DirResult { Made, Existed, Failed };

  // Attaches `path` after checking its layout: at least two records, the
  // next free record in 2..size, the root block's entries inside the file
  // with names of at most 27 characters and kinds 0 or 1. Anything else is
  // refused (Error() names the file) and nothing is written. A change of
  // it cut short (its journal, `path` + "-journal", left beside it) is
  // rolled back first. Attaching and LookDSDir read under the file's
  // shared lock, so a change under way in another program is waited for,
  // never read half made.
  bool AttachDSFOld(const std::string& path);
  bool IsAttached() const { return file_.IsOpen(); }
  // The first failure of the last operation, naming the file or path.
  const std::string& Error() const { return error_; }

  // What the absolute `path` names: nothing yet (Made: it can be made
  // there), a DSDir (Existed), or Failed (a series, no such parent, a
  // malformed path or damage; Error() says which).
  DirResult LookDSDir(const std::string& path);
  // A DSDir at the absolute `path` (".ROOT.X"); an existing DSDir is
  // reported as Existed, an existing series there fails.
  DirResult MakeDSDirOld(const std::string& path);
  // Stores the series of `slot` at `path`, over an existing series of that
  // name (its records reused, a longer chain taking new ones at the end);
  // never over a DSDir.
  bool SaveSeriesOld(const series::ColumnSlot& slot, const std::string& path,
                     const std::string& comment, const series::DateStamp& stamp);
  // Every series the Y path (which may end in "&") matches gets the X
  // series as its X; an empty X path clears the link.
  bool SetXSeriesOld(series::SeriesStore& parser, const std::string& xPath, const std::string& yPath);
  // Every operation is a change of the file of its own, there whole or
  // not at all. Hold makes the operations until CloseDSFOld (or Abandon) one
  // change, the file's lock held meanwhile.
  bool Hold();
  // Drops a held change: nothing of it stays in the file.
  void Abandon();
  // Writes the header back, commits a held change and closes the file.
  // False, with Error(), when the change could not be made: none of it is
  // in the file.
  bool CloseDSFOld();

  int32_t NextFree() const { return nextFree_; }

 private:
  struct Fault {
    std::string text;
    bool io = false;  // the file could not be read or written
  };
  bool Failed(const Fault& f);
  // True, with "No DSF attached" as the error, when no file is attached.
  bool CheckDSFAttachedViewer();
  // One operation's change, or nothing while a change is held.
  class Change {
   public:
    explicit Change(OldDSFStore& s);  // throws Fault
    ~Change();                        // drops what was not committed
    void Commit();                    // throws Fault
   private:
    OldDSFStore& s_;
    bool mine_;
  };
  // One operation's look at the file under its shared lock (a change cut
  // short rolled back first, the header and size afresh), or nothing
  // while a change is held: its exclusive lock stays as it is.
  class Look {
   public:
    explicit Look(OldDSFStore& s);  // throws Fault
    ~Look();
    Look(const Look&) = delete;
    Look& operator=(const Look&) = delete;
   private:
    OldDSFStore& s_;
    bool mine_;
  };
  void Begin();   // the lock, the file's change, the header afresh; throws Fault
  bool End(bool commit);
  void Reload();  // the header and size as the file has them
  // Refuses the series at `head` (`path` names it) when its records run
  // into another's (series::RecordOwners).
  void CheckOwn(int32_t head, const std::string& path);
  series::RecordOwners owners_;  // for the change under way
  [[noreturn]] void Damaged() const;
  series::RecordBytes Read(int32_t n) const;
  void Write(int32_t n, const series::RecordBytes& r);
  // Hands out the next free record (next free moves on past it); refused
  // once the 16-bit record numbers are used up.
  int32_t TakeFreeRecord();
  // Refuses, before anything is written, an operation that may need `n`
  // more records than the 16-bit record numbers reach.
  void CheckRoomFor(int32_t n) const;
  void WriteDSFHeaderOld();
  OldDSDirBlock ReadDir(int32_t n, std::vector<int32_t>& seen) const;
  // The entry `name` in the DSDir at `dir`; a free entry (record -1) when
  // there is none.
  OldDSDirEntry Find(int32_t dir, const std::string& name) const;
  // The entry of an absolute path of plain names; false when a DSDir on
  // the way is missing.
  bool FindDSFEntryOld(const std::vector<std::string>& names, OldDSDirEntry& out) const;
  bool ParseDSFPathOld(const std::string& path, std::vector<std::string>& names);
  // The DSDir that holds the entry the absolute `path` (split into
  // `names`) names; false, with "Path does not exist", when there is none.
  bool SplitParentPathOld(const std::string& path, const std::vector<std::string>& names, OldDSDirEntry& parent) const;
  // The DSDir blocks that put a new entry in the tree, in the order they
  // are to be written: any fresh block first, then the one that takes the
  // entry or links the fresh block in.
  using EntryWrites = std::vector<std::pair<int32_t, OldDSDirBlock>>;
  // Adds `name` to the DSDir at `dir`; false with `out` the existing entry.
  // The blocks are left in `writes`, for the caller to write with
  // WriteEntry in the same change as the records the entry names.
  bool AddDSDirEntryOld(int32_t dir, const std::string& name, uint8_t kind, OldDSDirEntry& out,
                        EntryWrites& writes);
  void WriteEntry(const EntryWrites& writes);
  // Writes the series of `slot` into the head at `headRecord` (its first
  // data record, X link 0, `comment` cut to 109, `stamp`) and its data
  // records into `chain`, which is lengthened with fresh records where the
  // series has more blocks; the last record's link is 0.
  void StoreSeriesRecordsOld(const series::ColumnSlot& slot, int32_t headRecord, OldSeriesHead& head,
                             std::vector<int32_t>& chain, const std::string& comment,
                             const series::DateStamp& stamp);
  void WalkDSFPathOld(int32_t dir, int depth, const std::vector<series::PathComponent>& comps,
                      size_t at, int16_t x, std::vector<int32_t>& seen, int& matched);
  bool Fail(const std::string& text);

  platform::BlockFile file_{series::kRecordSize};
  series::RecordBytes header_{};
  int32_t size_ = 0;      // records in the file
  int32_t nextFree_ = 0;  // where the next new record goes
  bool held_ = false;     // Hold's change is under way
  std::string heldError_;  // the file error that ends it
  mutable std::string error_;
};

}  // namespace krv::view
