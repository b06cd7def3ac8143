// The search for a cycle that repairs a zero on the diagonal.
#pragma once

#include <functional>
#include <vector>

#include "sequencer/incidence_lists.h"

namespace krv::seq {

// Finds the first level L (1..N) at which the level-limited depth-first
// search from row d finds an entry in column d, and the path it finds
// there: the columns c1, c2, ..., d taken along the way. Returns 0 when no
// level finds one (the matrix is structurally singular).
//
// The depth-first search visits the entries of each row in list order and
// may descend into any column that is not on the path so far; taken
// literally it enumerates every simple path. This finder gives the same
// answer in linear time: the first level that succeeds is the length of
// the shortest cycle through d (a breadth-first search), and at that
// level the search never backtracks out of a column from which a shortest
// completion exists, so following the first such column at every step
// yields the literal search's path (the tests' SearchAugmentingPath).
class RepairPathFinder {
 public:
  int operator()(const IncidenceLists& lists, int d, std::vector<int>& path);

  // The entries looked at by every search so far: the measure of the
  // finder's work, linear in the entries per search.
  long long Steps() const { return steps_; }

 private:
  long long steps_ = 0;
  std::vector<int> layer_;    // BFS layer of each node, -1 = not reached
  std::vector<char> target_;  // row holds an entry in column d
  std::vector<char> good_;    // a shortest completion exists from here
  std::vector<int> visited_;
};

using RepairSearch = std::function<int(const IncidenceLists&, int, std::vector<int>&)>;

}  // namespace krv::seq
