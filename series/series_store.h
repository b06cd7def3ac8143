// The series store: series in memory (slots of 31-value blocks), the
// attached data-series file (.DSF) with its DSDir tree, dotted paths and
// the tree walk, and the messages and Log they report through. All of its
// state lives in one SeriesStore; SeriesUnitInit gives it its start values.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/block_file.h"
#include "problem_editor/name_mask.h"
#include "series/dsf_format.h"
#include "series/record_owners.h"
#include "series/series_log.h"
#include "series/series_types.h"

namespace krv::series {

class SeriesStore;

// The handle of one open series. The slot's memory belongs to whoever
// declared it (the worksheet's table, a dialog); the series in it belongs
// to the store and is freed by FreeSeries, or when the slot goes away.
class ColumnSlot {
 public:
  ColumnSlot() = default;
  ~ColumnSlot();
  ColumnSlot(const ColumnSlot&) = delete;
  ColumnSlot& operator=(const ColumnSlot&) = delete;

  bool IsOpen() const { return series_ != nullptr; }
  // Only while open.
  SeriesDescriptor& Descriptor() { return series_->descriptor; }
  const SeriesDescriptor& Descriptor() const { return series_->descriptor; }
  SeriesHeader& Header() { return series_->header; }
  const SeriesHeader& Header() const { return series_->header; }
  // Block k holds cells 31k..31k+30 (indices base + 31k ...).
  const std::vector<float>& Cells() const { return series_->cells; }
  int BlockCount() const { return int(series_->cells.size()) / kBlockCells; }

  bool notSaved = false;          // made in memory, never written to a file
  bool modified = false;          // changed since the last load or save
  ColumnSlot* xSlot = nullptr;    // the open series giving this one's X values

 private:
  friend class SeriesStore;
  struct Series {
    SeriesDescriptor descriptor;
    SeriesHeader header;
    std::vector<float> cells;  // whole blocks, so an index is one subtraction away
  };
  std::unique_ptr<Series> series_;
  SeriesStore* owner_ = nullptr;
};

// The worksheet's hooks around a reload or an import; they do nothing
// until the worksheet draws columns.
class ColumnDisplay {
 public:
  virtual ~ColumnDisplay() = default;
  virtual void ClearColumnDisplay(int /*column*/) {}
  virtual void ShowColumn(int /*column*/) {}
  virtual void RefreshColumnHeaders() {}
  virtual void ShowRowUseLimits() {}
};

// A node of the tree picker's tree.
struct TreeNode {
  std::string caption;
  std::vector<TreeNode> children;
};

// One component of a parsed path, upper case; `star` (the wildcard flag)
// when it begins with "*", and then it is matched from its end. The same
// segment as the name mask's, matched by the same routine.
using PathComponent = pe::MaskSegment;

struct ParsedPath {
  bool anchored = false;     // began with "&"
  bool rootOnly = false;     // empty or "."
  bool everything = false;   // "&" alone
  bool endsWithAmp = false;  // the last component is "&"
  std::vector<PathComponent> components;  // at most 15
  int Count() const { return int(components.size()); }
};

// The visitor operations of the tree walk.
enum DSFOperation : int {
  kOpFind = 0,
  kOpLoad = 1,
  kOpDetails = 2,
  kOpNames = 3,
  kOpTree = 4,
  kOpPathOf = 5,
  kOpReplace = 6,
  kOpSetX = 7,
  kOpErase = 9,
  kOpDeleteDSDir = 10,
  kOpSeriesCombo = 13,
  kOpDSDirCombo = 14,
};

class SeriesStore {
 public:
  SeriesStore();
  // Drops a held change; slots declared elsewhere that outlive the store
  // are left free.
  ~SeriesStore();
  SeriesStore(const SeriesStore&) = delete;
  SeriesStore& operator=(const SeriesStore&) = delete;

  // ---- State ----
  bool FailureFlag = false;        // result of the last operation
  bool MessagesOn = true;          // whether ReportError shows its text
  std::string AttachedDSFPath;     // without ".DSF"; empty = none attached
  // The row-use limits: the indices over which fills and calculations run.
  int16_t RowUseLow = 0, RowUseHigh = 400;
  // The arithmetic refuses a divisor or an inverse smaller than this.
  double TinyThreshold = 1.0 / double(MissingValue);
  int HighestColumn = kColumnCount - 1;  // the last column a load may fill
  // The worksheet's columns; a load without a table of its own fills them.
  std::array<ColumnSlot, kColumnCount> ColumnSlots;
  std::string CurrentDSDirPath;    // absolute; empty = the root
  // The current DSDir's entry: a bare name is made and saved in it.
  DSDirEntry CurrentDSDirEntry = RootEntry();
  DSFHeaderRecord DSFHeader;       // record 0 of the attached file
  bool DSDirExisted = false;       // the last MakeDSDir met an existing entry
  // The last damage or system error an operation of the attached file met,
  // as its message says it (also when messages are off); the caller clears it.
  std::string LastFault;
  SeriesLog Log;                        // the Log window's lines: the listings go here
  std::vector<std::string> PickerList;  // the series picker's drop-down list
  TreeNode Tree;                        // the tree picker's tree
  ColumnDisplay* Display = nullptr;     // null: no worksheet to redraw
  // The clock of GetDateStamp; tests fix it.
  std::function<std::time_t()> Now = [] { return std::time(nullptr); };

  // Start values of the state: every series freed, no file attached.
  void SeriesUnitInit();

  // ---- Messages ----
  // Shows `text` (cut to 87) in the message box, always.
  void ShowMessageStr(const std::string& text);
  // ShowMessageStr while MessagesOn.
  void ReportError(const std::string& text);

  // ---- Series in memory ----
  // Inside the range a value is one subtraction away; outside, a warning.
  float GetVal(ColumnSlot& slot, int16_t index) {
    if (slot.series_) {
      const SeriesHeader& h = slot.series_->header;
      int d = int(index) - h.base;
      if (index <= h.highest && d >= int(h.firstOffset)) [[likely]] {  // an empty series fails here
        FailureFlag = false;
        return slot.series_->cells[size_t(d)];
      }
    }
    return GetValOutside(slot);
  }
  // Stores `value` as a cell holds it (beyond a single's range or NaN the
  // missing value, below its smallest normal 0), growing the chain at
  // either end. The modified mark is set only when a cell changes, a
  // block is added or the series was empty, so storing a value again
  // leaves it. FailureFlag: the slot not open, or a new first block whose
  // cell 0 would have no 16-bit index.
  void PutVal(ColumnSlot& slot, int16_t index, double value);
  // values[k] at index first + k, as PutVal would store them one by one,
  // with the chain grown once; first + count - 1 must be a 16-bit index.
  void PutValues(ColumnSlot& slot, int16_t first, const double* values, int count);
  // The block and cell (0..30) that hold `index`. Outside the series'
  // range: FailureFlag, (0, 0) and "GETVPT beyond rnge" + its path; a
  // slot not open: FailureFlag and (0, 0).
  void LocateSeriesValue(ColumnSlot& slot, int16_t index, int& block, int& cell);
  // An empty series (one block of missing values) in `slot`, in place of
  // whatever it held in any store, at the end of the open list; not saved
  // unless `loaded`. FailureFlag cleared.
  void NewSeries(ColumnSlot& slot, bool loaded, const std::string& comment);
  // Frees the slot's series; the series whose X it was lose their X slot.
  // A slot not open in this store is left alone. FailureFlag cleared.
  void FreeSeries(ColumnSlot& slot);
  // `source`'s header and values in `target`, as a series never saved (its
  // stamp zero, the stored X link kept, no X slot), under the path
  // `target` had ("***noname***" when it had none), marked modified.
  // FailureFlag when `source` is not open.
  void CopySeries(ColumnSlot& target, ColumnSlot& source);
  // Hands `source`'s series, marks and X slot to `target` (freeing what it
  // held) and leaves `source` free; X slots and a change under way that
  // named `source` name `target` now. FailureFlag when `source` is not open.
  void MoveSeries(ColumnSlot& target, ColumnSlot& source);
  // The lowest and highest index holding a value; (0, -1) when empty or
  // not open, and FailureFlag when not open.
  void SeriesIndexRange(ColumnSlot& slot, int16_t& lowest, int16_t& highest);
  // NewSeries (not loaded) with `comment`, named `path` (cut to 87).
  void OpenSeriesInSlot(ColumnSlot& slot, const std::string& path, const std::string& comment);
  // Whether `slot` holds a series of this store: what every operation on a
  // slot asks first, since a slot may have been freed or moved meanwhile.
  bool SelectOpenSeries(const ColumnSlot& slot);
  void FindTwoSeries(const ColumnSlot& a, const ColumnSlot& b, bool& aOpen, bool& bOpen);
  // Deletes the lowest or the highest value, at `index`, once the user
  // confirms "Data value deletion---Are you sure?": the cell holds the
  // missing value, a block left empty at that end goes. False, nothing
  // changed, for any other index, a series of one value, the user's No,
  // or a slot not open. FailureFlag cleared.
  bool DeleteEndValue(ColumnSlot& slot, int16_t index);
  // Now, by the clock Now, to the minute: the form the file's stamps hold.
  DateStamp GetDateStamp() const;
  // Equal ignoring the case of a..z, each cut to 87 characters first.
  static bool SameNameNoCase(const std::string& a, const std::string& b);
  // Leading blanks dropped and the rest cut at its first blank, to at
  // most 87 characters: a typed path is its first word.
  static void TrimToFirstWord(std::string& s);
  // True, with FailureFlag and "No DSF attached", when no file is
  // attached: the guard of the operations that need one. FailureFlag is
  // cleared otherwise.
  bool CheckDSFAttachedGuide();
  // The open series in list order.
  const std::vector<ColumnSlot*>& OpenSeriesList() const { return open_; }

  // ---- Paths and the tree walk ----
  // Parses `path` (leading blanks skipped, a blank ends it; a relative
  // path is put behind CurrentDSDirPath). False, with `failure`,
  // FailureFlag and "Name syntax err", for an empty component, a second
  // "*" in a component that begins with one, or more than 15 components.
  bool ParseDSFPath(const std::string& path, ParsedPath& out, bool& failure);
  // One parsed component against an entry's name, case-blind: "?" and a
  // "*" inside stand for one character, a last "*" for any rest, and a
  // component that begins with "*" matches the end of the name.
  static bool MatchNameComponent(const PathComponent& component, const std::string& name);
  // Walks the DSDir tree for `path` and hands every matching entry to
  // `operation`: the exact walk, or the full walk for a path anchored by
  // "&" or ending in it. `resultEntry` brings in kOpPathOf's search entry
  // and kOpSetX's X record, and gets every entry visited (record -1 when
  // none). The operations that write (replace, set X, erase, delete a
  // DSDir) collect their matches and write once the walk is through, as
  // one change. `failure`: no file ("No DSF attached"), a parse error, an
  // anchored or "*"-led path for kOpFind, nothing found for kOpPathOf,
  // the root for kOpDeleteDSDir, damage or a file error (shown, and in
  // LastFault).
  void WalkDSFPath(const std::string& path, DSFOperation operation, bool& failure,
                   ColumnSlot* slotTable, std::string& resultPath, DSDirEntry& resultEntry,
                   int firstColumn = 0);
  // WalkDSFPath with result fields of its own.
  void RunDSFOperation(const std::string& path, DSFOperation operation, bool& failure,
                       ColumnSlot* slotTable);
  // The first entry `path` names, whatever its kind; record -1, and no
  // failure, when there is none. `failure` for a bad path, for "&" or a
  // component that begins with "*" (without a message: a search names one
  // entry), damage or a file error.
  void FindDSFEntry(const std::string& path, bool& failure, DSDirEntry& entry);
  // Loads every series `path` matches: one open under its path is read
  // again in its slot, any other into the next free column of `slotTable`
  // from `firstColumn` to HighestColumn; each column is redrawn through
  // Display. FailureFlag gains the walk's failure; a FailureFlag already
  // set stops the loads, and so does no free column ("LOAD ovflow"). A
  // series whose X is not open warns "Warning, x not avail for " + path.
  void LoadSeriesToColumns(ColumnSlot* slotTable, int firstColumn, const std::string& path);
  // The listings below go to the Log; FailureFlag is the walk's failure.
  // Each matching series' last save, index range, comment and X path.
  void ListSeriesDetails(const std::string& path);
  // A line per matching entry: "(dir)" or five blanks, then its path.
  void ListDSFNames(const std::string& path);
  // A line per DSDir that holds series (its path, once) or nothing; one
  // that holds only DSDirs is seen in their paths.
  void ListDSFTree();
  // Writes each open series back over the matching series of its path
  // (case-blind), reusing its records, as one change.
  void ReplaceSeriesInDSF(const std::string& path);
  // Frees the entries of the matching series, as one change; their records
  // stay in the file, nobody's.
  void EraseSeries(const std::string& path);
  // Frees the entries of the matching DSDirs that are empty, as one
  // change; any other stays, with "DSDir " + its path + " not empty". The
  // root is never removed (FailureFlag); a deleted current DSDir leaves
  // the root current.
  void DeleteDSDir(const std::string& path);
  // Appends the path of every matching series to PickerList.
  void FillSeriesCombo(const std::string& path);
  // ListDSFTree's lines for `path`, appended to PickerList instead.
  void FillDSDirCombo(const std::string& path);
  // Frees the first entry of `dsdir` with exactly `name` and `kind`, as a
  // change that writes record 0 too; none there, nothing changes. Without
  // a file attached it does nothing; FailureFlag on damage or a file error.
  void RemoveDSDirEntry(const DSDirEntry& dsdir, const std::string& name, uint8_t kind);
  // Whether no block of `dsdir` holds a used entry. False also without a
  // file attached; FailureFlag only on damage or a file error.
  bool IsDSDirEmpty(const DSDirEntry& dsdir);

  // ---- The store ----
  // How a change reaches the file, what a crash leaves and what the store
  // keeps between operations: the note atop dsf_store.cpp.
  //
  // `headerName`, when given, is the name record 0 keeps instead of the
  // one the name rule makes of `path`.
  void CreateDSF(const std::string& path, const std::string& headerName = "");
  // Attaches `path` + ".DSF" (found case-blind) for reading and writing,
  // after rolling back what a change cut short left. Refused with
  // FailureFlag, the file attached before staying attached: not there
  // (path + " not found"), or without the magic ("DSF file must be
  // converted to new format", always shown). A size other than next free
  // is mended in the file, after "DSF file has been damaged, fixing it:".
  // Damage or a file error leaves nothing attached.
  void AttachDSF(const std::string& path);
  // As AttachDSF, for reading only: a size other than next free shows
  // "DSF file has been damaged" (always) and is mended in memory only; a
  // change fails at its first write.
  void AttachDSFReadOnly(const std::string& path);
  // Drops a held change and detaches. Record 0 needs no writing: every
  // change writes it.
  void CloseDSF();
  // DSFHeader as record 0, its change count bumped. Outside a change it is
  // a change of its own that keeps what others added meanwhile (next free
  // never goes back); a file error then sets FailureFlag.
  void WriteDSFHeader();
  void SetRootDir();
  // An entry `name` of `kind` in the DSDir `parent`, as one change: true
  // with `out` the new entry, whose record (next free) the caller writes,
  // advancing next free and writing record 0 (this change does not). False
  // with `out` the entry there already (case-blind, either kind). "Name
  // syntax err" and FailureFlag for an empty name, one longer than an
  // entry holds, or one with "&", "*" or "?"; FailureFlag also on damage
  // or a file error.
  bool AddDSDirEntry(const DSDirEntry& parent, const std::string& name, uint8_t kind,
                     DSDirEntry& out);
  // The name after the last "." (cut to 27) and the DSDir that is to hold
  // it: the current one for a bare name, the root for "." + name. The
  // whole path must parse. `failure` also when the parent is missing or
  // not a DSDir ("Path does not exist").
  void SplitParentPath(const std::string& path, std::string& name, DSDirEntry& parent,
                       bool& failure);
  // With `existingFails` false an existing DSDir is no failure (a save
  // that offers to write over it); DSDirExisted tells either way.
  void MakeDSDir(const std::string& path, bool existingFails = true);
  // Saves the series of `slot` at `path` (its first word), as one change:
  // a new entry gets a head and data records at next free; an existing
  // series is written over, its records reused and more appended. The
  // slot then belongs to this file under the absolute path, unmodified;
  // the stored X link is cleared (SetXSeries sets it). FailureFlag: no
  // file, the slot not open, a bad path, a DSDir there (path + " is not a
  // series"), damage or a file error.
  void SaveSeries(ColumnSlot& slot, const std::string& path);
  // Writes the series of `slot` over the one whose head is `headRecord`
  // (`head` and `firstData` as read there), as SaveSeries writes over an
  // existing series, its records checked first. FailureFlag: no file, the
  // slot not open, damage or a file error.
  void StoreSeriesRecords(ColumnSlot& slot, int32_t headRecord, SeriesHeadRecord& head,
                          DataRecord& firstData);
  // Reads the series whose head is `headRecord` into `slot` as `path`;
  // loaded, it is neither unsaved nor modified. A stored X link to an
  // open series of this file becomes its X slot, else "Warning, x not
  // avail for " + path. FailureFlag: no file, the slot not open, damage
  // or a file error, the slot then keeping what it held.
  void LoadSeriesRecords(ColumnSlot& slot, int32_t headRecord, const std::string& path);
  // The series at `path` in `slot`, in place of what it held, under the
  // absolute path. FailureFlag: a bad path, nothing or a DSDir there (path
  // + " is not a series"), damage or a file error; the slot then keeps
  // its series.
  void OpenSeries(ColumnSlot& slot, const std::string& path);
  // Makes the DSDir at `path` current (blanks trimmed, one last "."
  // dropped, relative to the current one); an empty path, the root.
  // FailureFlag, the current DSDir kept, when it names no DSDir of the
  // file or holds a wildcard.
  void SetCurrentDSDir(const std::string& path);
  // Links every series the Y path matches to the series at `xPath` (an
  // empty X path removes the link), as one change. FailureFlag: no file,
  // no series at `xPath` ("X series missing"), a walk failure ("Y series
  // name error").
  void SetXSeries(const std::string& xPath, const std::string& yPath);
  // Tree gets the DSDir tree under a node "Root", series too with
  // `includeSeries`. FailureFlag: no file, damage or a file error; Tree
  // then holds "Root" alone.
  void ShowDSFTree(bool includeSeries);

  // Every change of the attached file is there whole or not at all (a
  // rollback journal beside it, NAME.DSF-journal). HoldChanges makes the
  // operations until CommitChanges one change: the file's lock is held
  // meanwhile (readers in other programs wait for it, so keep it short),
  // and nothing of them reaches the file before the commit.
  // CommitChanges is false (FailureFlag set, the system's reason shown)
  // when the change could not be made: none of it is in the file, and the
  // series it saved keep their unsaved marks. DropChanges, CloseDSF and
  // the store's end drop a held change.
  bool HoldChanges();
  bool CommitChanges();
  void DropChanges();

  bool IsAttached() const { return file_.IsOpen(); }
  // The attached file's path on disk ("" when none).
  const std::string& AttachedFile() const { return file_.Path(); }

 private:
  class RecordSet;
  struct WalkContext;
  struct SeriesImage;
  struct Fault;
  // The DSDir blocks that make a new entry part of the tree: a fresh block
  // to hold it when the DSDir's blocks are full, then the block that takes
  // it (or links the fresh one in).
  struct EntryWrites {
    int32_t freshRecord = 0;  // 0: no fresh block
    DSDirBlock fresh;
    int32_t record = 0;
    DSDirBlock block;
  };

  // Series in memory.
  // Kept out of line and cold, so that a caller's loop keeps its
  // registers across GetVal's in-range path.
  [[gnu::cold, gnu::noinline]] float GetValOutside(ColumnSlot& slot);
  void Unlink(ColumnSlot& slot);
  void Append(ColumnSlot& slot);
  int ColumnOf(const ColumnSlot* slot, const ColumnSlot* table) const;

  // Records of the attached file.
  void StartOperation(RecordBytes* record0);
  void BeginRead();
  void BeginChange();
  RecordBytes ReadRecord(int32_t n);
  void WriteRecords(int32_t first, const RecordBytes* records, int32_t count);
  void CheckWritable() const;
  void WriteFailed();
  // The message for a change cut short that could not be undone.
  Fault UndoFailed() const;
  // What the store keeps of the file after `count` records from `first`
  // went out.
  void NoteWritten(int32_t first, const RecordBytes* records, int32_t count);
  void WriteRecord(int32_t n, const RecordBytes& r) { WriteRecords(n, &r, 1); }
  bool LinkInFile(int32_t n) const { return n >= 2 && n < fileRecords_; }
  void CheckLink(int32_t n) const;
  // The block kept from an earlier read, or read into `scratch`; valid
  // until the next write.
  const DSDirBlock& ReadDirBlock(int32_t n, DSDirBlock& scratch);
  void WriteDirBlock(int32_t n, const DSDirBlock& b);
  void DropDirCache();
  void KeepDirCache();
  // The blocks of a DSDir in chain order, with their record numbers.
  void ReadDirChain(int32_t first, std::vector<int32_t>& records, std::vector<DSDirBlock>& blocks);
  // Without `withCells` only the head and the chain are read and checked,
  // or taken from the kept series.
  // Refused, naming `path`, when damaged, its records another's among
  // them.
  SeriesImage ReadSeries(int32_t headRecord, const std::string& path, bool withCells = true);
  SeriesImage ReadOwnSeries(int32_t headRecord, const std::string& path, bool withCells);
  // Refuses the series at `headRecord` when a record of its chain belongs
  // to another's (RecordOwners), building their owners where needed.
  void CheckOwnRecords(int32_t headRecord, const std::string& path);
  void BuildOwners();
  [[noreturn]] void DamagedSeries(const std::string& path);
  // The I/O buffer may hold `held` records from `heldFirst` on, read
  // already. `cells`, when given, may come with storage to reuse.
  std::vector<int32_t> ReadChainRecords(int32_t firstData, int32_t expected,
                                        std::vector<float>* cells, int64_t held = 0,
                                        int32_t heldFirst = 0);
  // Room for `records` records, reused from one operation to the next and
  // never cleared: whatever part of it is used is read or encoded first.
  RecordBytes* IoBuffer(int64_t records);
  void ApplyImage(ColumnSlot& slot, int32_t headRecord, const std::string& path,
                  SeriesImage& image);
  // `chain`: the records the series had, reused in their order. `entry`:
  // a new series' entry, written with its records.
  void StoreImage(ColumnSlot& slot, int32_t headRecord, SeriesHeadRecord& head,
                  std::vector<int32_t> chain, const EntryWrites* entry = nullptr);
  void FailWith(const Fault& f);
  void Damaged();
  std::string AbsolutePath(const std::string& path) const;
  bool AttachFile(const std::string& path, bool readOnly);

  // The tree walk.
  void ExactWalk(WalkContext& c, int32_t record);
  bool FullWalk(WalkContext& c, int32_t record);
  bool RootFilter(const WalkContext& c) const;
  bool EndFilter(const WalkContext& c) const;
  void Visit(WalkContext& c, const DSDirEntry& e);
  void ApplyChanges(WalkContext& c);
  void RemoveEntry(const DSDirEntry& dsdir, const std::string& name, uint8_t kind);
  bool DSDirEmpty(const DSDirEntry& dsdir);
  void SeriesDetails(WalkContext& c, const DSDirEntry& e);
  void TreeListLine(WalkContext& c, const DSDirEntry& e, bool toPicker);
  void LoadVisited(WalkContext& c, const DSDirEntry& e);
  std::string BuildEntryPath(const WalkContext& c) const;
  void FillTreeNodes(TreeNode& node, int32_t record, int depth, bool includeSeries,
                     RecordSet& seen);
  // With `deferred` the new entry's blocks are left there for the caller
  // to write with WriteEntry, in the same change as whatever it names.
  bool AddEntry(const DSDirEntry& parent, const std::string& name, uint8_t kind, DSDirEntry& out,
                EntryWrites* deferred = nullptr);
  void WriteEntry(const EntryWrites& w);

  // Holds the file's lock, a fresh record 0 and the file's change for a
  // change; nests. The outermost commits the change at its end, or
  // drops it when a fault is on its way out.
  class ChangeScope {
   public:
    explicit ChangeScope(SeriesStore& s);
    ~ChangeScope();
    ChangeScope(const ChangeScope&) = delete;
    ChangeScope& operator=(const ChangeScope&) = delete;
    // Ends the outermost change now: committed (false when that failed,
    // the message shown) or dropped. Nested ones end with the outermost.
    bool End(bool commit);

   private:
    SeriesStore& s_;
    int exceptions_;
    bool outermost_ = false;
    bool ended_ = false;
  };
  std::unique_ptr<ChangeScope> held_;  // HoldChanges'
  bool changeFailed_ = false;          // a write of this change failed: it is rolled back
  // The slots this change saved, as they were, for a change that does not
  // go through.
  struct Saved {
    ColumnSlot* slot;
    bool modified;
    DateStamp stamp;
    int32_t headRecord;
    std::string dsfName;
    DateStamp dsfStamp;
  };
  std::vector<Saved> savedInChange_;
  void RestoreSaved();
  // Holds the file's shared lock (no change can be half made meanwhile)
  // and looks at the file afresh, for an operation that only reads; nests,
  // also inside a change, whose exclusive lock it then leaves as it is.
  class ReadScope {
   public:
    explicit ReadScope(SeriesStore& s);
    ~ReadScope();
    ReadScope(const ReadScope&) = delete;
    ReadScope& operator=(const ReadScope&) = delete;

   private:
    SeriesStore& s_;
    bool locked_ = false;
  };
  int changeDepth_ = 0;
  int opDepth_ = 0;
  bool sharedLock_ = false;  // an outermost ReadScope holds the shared lock
  // The end of a change's lock: back to the shared lock where a read
  // around the change holds it, else none.
  void EndChangeLock();

  // The head and the run of records after it that held the series this
  // store last read or wrote: the size of the first read next time.
  struct Span {
    int32_t head = -1;
    int32_t records = 0;
  } lastSpan_;
  void NoteSpan(int32_t headRecord, const std::vector<int32_t>& chain);

  // The head and chain of the series this store last read or wrote, kept
  // on the same terms as the DSDir blocks below: saving over a series just
  // opened or saved need not read its links again. Any write other than
  // record 0's forgets it.
  struct KeptSeries {
    int32_t head = -1;  // -1: none
    SeriesHeadRecord record;
    std::vector<int32_t> chain;
    int32_t spanRecords = 0;  // its Span
  } keptSeries_;
  // Takes lastSpan_ as the series' span: set it for the same series first.
  void KeepSeries(int32_t headRecord, const SeriesHeadRecord& head, std::vector<int32_t> chain);
  std::unique_ptr<RecordBytes[]> ioBuf_;  // IoBuffer's
  int64_t ioCap_ = 0;
  // The values of the series an open or load last replaced in its slot:
  // the next read of a series fills them instead of fresh memory.
  std::vector<float> spareCells_;

  // DSDir blocks as last read or written, kept from one operation to the
  // next while the file stays as it was when they were (key_): the same
  // stamp and the same change count and next free in record 0. Every
  // change bumps the count, so another store's change empties it.
  struct CacheKey {
    platform::BlockFile::Stamp stamp;
    uint32_t changeCount = 0;
    int32_t nextFree = 0;
    bool operator==(const CacheKey&) const = default;
  };
  std::deque<DSDirBlock> dirBlocks_;  // grows only: what a walk holds stays put
  std::vector<int32_t> dirSlot_;      // by record number: index in dirBlocks_ + 1; 0 = not kept
  const DSDirBlock* KeptDirBlock(int32_t n) const {
    return size_t(n) < dirSlot_.size() && dirSlot_[size_t(n)] ? &dirBlocks_[size_t(dirSlot_[size_t(n)] - 1)]
                                                              : nullptr;
  }
  void KeepDirBlock(int32_t n, const DSDirBlock& b);

  // A DSDir's chain of kept blocks by name, so that a walk naming an entry
  // exactly goes to it instead of through every block of a wide DSDir.
  // Made only from kept blocks that form a proper chain of their own, and
  // forgotten when any of them is written.
  struct DirIndex {
    struct Hit {
      int32_t pos;  // the block's place in the chain
      DSDirEntry entry;
    };
    std::vector<int32_t> records;  // the chain, in order
    std::unordered_map<std::string, std::vector<Hit>> byName;  // upper case; in chain order
  };
  std::unordered_map<int32_t, DirIndex> dirIndex_;  // by the chain's first record
  std::vector<int32_t> dirOwner_;  // by record number: first record of its indexed chain; 0 = none
  const DirIndex* IndexOf(int32_t first);
  void ForgetIndexes(int64_t first, int64_t end);
  void ExactStep(WalkContext& c, const DSDirEntry& e);
  RecordOwners owners_;      // kept on the same terms as the DSDir blocks
  bool cacheValid_ = false;  // key_ is the file's state at the start of this operation
  CacheKey key_;

  std::vector<ColumnSlot*> open_;  // OpenSeriesList, in order
  platform::BlockFile file_{kRecordSize};
  int64_t fileRecords_ = 0;  // records on disk when the operation began, and since
};

}  // namespace krv::series
