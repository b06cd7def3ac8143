// The diagonal repair search taken literally, to check the fast one.
#include "sequencer/tests/literal_search.h"

#include <algorithm>

namespace krv::seq::testing {

// `nodes` holds the indexes from the root down to the current node.
static bool SearchAugmentingPath(const IncidenceLists& lists, int d, int level,
                                 std::vector<int>& nodes, std::vector<int>& path) {
  const int depth = int(nodes.size());
  for (int e = lists.RowHead(nodes.back()); e; e = lists.NextInRow(e)) {
    int c = lists.Col(e);
    if (c == d) {
      path.assign(nodes.begin() + 1, nodes.end());
      path.push_back(d);
      return true;
    }
    if (depth < level && std::find(nodes.begin(), nodes.end(), c) == nodes.end()) {
      nodes.push_back(c);
      if (SearchAugmentingPath(lists, d, level, nodes, path)) return true;
      nodes.pop_back();
    }
  }
  return false;
}

int LiteralRepairSearch(const IncidenceLists& lists, int d, std::vector<int>& path) {
  for (int level = 1; level <= lists.N(); ++level) {
    std::vector<int> nodes{d};
    if (SearchAugmentingPath(lists, d, level, nodes, path)) return level;
  }
  path.clear();
  return 0;
}

}  // namespace krv::seq::testing
