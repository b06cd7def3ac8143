// Which chain of a data-series file each record belongs to.
#include "series/record_owners.h"

#include <climits>

#include "series/series_types.h"

namespace krv::series {

void RecordOwners::Build(const std::vector<int32_t>& links, const DirBlock& dirBlock) {
  valid_ = false;  // until the walk is through: a read may fail in it
  owner_.assign(links.size(), 0);
  damaged_.clear();
  if (!owner_.empty()) {
    owner_[0] = kHeader;
    Dir(1, 1, links, dirBlock);
  }
  valid_ = true;
}

void RecordOwners::Dir(int32_t first, int depth, const std::vector<int32_t>& links, const DirBlock& dirBlock) {
  std::vector<Entry> entries;
  for (int32_t rec = first; rec != 0;) {
    if (rec < 1 || !InFile(rec)) return;
    if (int32_t o = owner_[size_t(rec)]; o != 0) {
      if (o > 0) damaged_.insert(o);
      return;
    }
    owner_[size_t(rec)] = -first;
    int32_t link;
    if (!dirBlock(rec, entries, link)) return;
    for (const Entry& e : entries) {
      if (!e.dsdir)
        Series(e.record, links);
      else if (depth < kMaxDepth)
        Dir(e.record, depth + 1, links, dirBlock);
    }
    rec = link;
  }
}

void RecordOwners::Series(int32_t head, const std::vector<int32_t>& links) {
  // The series that claimed a record first is damaged with the one that
  // meets it: either's link may be the one that is wrong.
  auto met = [&](int32_t rec) {
    int32_t o = owner_[size_t(rec)];
    if (o == 0) return false;
    damaged_.insert(head);
    if (o > 0) damaged_.insert(o);
    return true;
  };
  if (head < 2 || !InFile(head)) {
    damaged_.insert(head);
    return;
  }
  if (met(head)) return;
  owner_[size_t(head)] = head;
  for (int32_t rec = links[size_t(head)];;) {
    if (rec < 2 || !InFile(rec)) {  // a head without data records included
      damaged_.insert(head);
      return;
    }
    if (met(rec)) return;
    owner_[size_t(rec)] = head;
    rec = links[size_t(rec)];
    if (rec == 0) return;
  }
}

void RecordOwners::Claim(int32_t record, int32_t owner) {
  if (record < 0) return;
  if (size_t(record) >= owner_.size()) owner_.resize(size_t(record) + 1, 0);
  owner_[size_t(record)] = owner;
}

void RecordOwners::TakeSeries(int32_t head, const std::vector<int32_t>& before, const std::vector<int32_t>& chain) {
  if (!valid_) return;
  for (int32_t r : before)
    if (InFile(r) && owner_[size_t(r)] == head) owner_[size_t(r)] = 0;
  Claim(head, head);
  for (int32_t r : chain) Claim(r, head);
}

void RecordOwners::TakeDirBlock(int32_t record, int32_t sibling) {
  if (valid_ && InFile(sibling)) Claim(record, owner_[size_t(sibling)]);
}

void RecordOwners::NewDSDir(int32_t record) {
  if (valid_) Claim(record, -record);
}

}  // namespace krv::series
