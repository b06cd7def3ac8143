// Which chain of a data-series file each record belongs to, so that a
// series whose chain runs into records of another (one flipped bit in a
// link is enough) is refused before it is read or written over: read, it
// would show the other's values; saved, it would overwrite them. Both
// layouts of the file are walked the same way (the solver's runtime,
// runtime/KRVDSF.pas, walks it so too):
//
//  - record 0 is the header's; record 1 the root DSDir's first block;
//  - from the root, depth first: each DSDir's blocks in chain order, each
//    block's used entries in order, a DSDir entry walked into where it
//    lies above the deepest level a path reaches (15), a series entry
//    claiming its head and then its data records in chain order;
//  - a record met again, or a link outside the file (a data link to
//    record 0 or 1 included), ends that chain there; a series whose head
//    or chain meets a record already claimed is damaged, and so is the
//    series that claimed it; a series' chain that leaves the file is
//    damaged; a DSDir block that cannot be read ends its DSDir's chain.
//
// Records nothing reaches (a shorter save's cut-off tail, an erased
// series) belong to nobody.
#pragma once

#include <cstdint>
#include <functional>
#include <unordered_set>
#include <vector>

namespace krv::series {

class RecordOwners {
 public:
  struct Entry {
    int32_t record;
    bool dsdir;
  };
  // The used entries of the DSDir block at `record` in order, and its
  // link; false when the block cannot be read as one.
  using DirBlock = std::function<bool(int32_t record, std::vector<Entry>& entries, int32_t& link)>;

  // Walks the file: `links[r]` is the link that begins record r (a data
  // record's next, a head's first data record).
  void Build(const std::vector<int32_t>& links, const DirBlock& dirBlock);
  bool Valid() const { return valid_; }
  void Forget() {
    valid_ = false;
    owner_.clear();
    damaged_.clear();
  }
  bool Damaged(int32_t head) const { return damaged_.count(head) != 0; }

  // What a change by this store makes of them, while they are valid: the
  // series at `head` now holds `chain` (and what it held before that is
  // not in it, nobody's); a new record of the DSDir whose block `sibling`
  // is, or of a DSDir of its own.
  void TakeSeries(int32_t head, const std::vector<int32_t>& before, const std::vector<int32_t>& chain);
  void TakeDirBlock(int32_t record, int32_t sibling);
  void NewDSDir(int32_t record);

 private:
  static constexpr int32_t kHeader = INT32_MIN;  // owners: > 0 a series' head; < 0 a DSDir's first block, negated
  void Dir(int32_t first, int depth, const std::vector<int32_t>& links, const DirBlock& dirBlock);
  void Series(int32_t head, const std::vector<int32_t>& links);
  void Claim(int32_t record, int32_t owner);
  bool InFile(int64_t record) const { return record >= 0 && record < int64_t(owner_.size()); }

  bool valid_ = false;
  std::vector<int32_t> owner_;  // by record; 0 = nobody's
  std::unordered_set<int32_t> damaged_;
};

}  // namespace krv::series
