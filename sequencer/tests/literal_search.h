// The diagonal repair search taken literally: a depth-first search over
// every simple path, one level limit after the other.
#pragma once

#include <vector>

#include "sequencer/incidence_lists.h"

namespace krv::seq::testing {

// Same contract as RepairPathFinder: the first level that finds a path,
// the path found there, or 0.
int LiteralRepairSearch(const IncidenceLists& lists, int d, std::vector<int>& path);

}  // namespace krv::seq::testing
