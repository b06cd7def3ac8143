// The search for a cycle that repairs a zero on the diagonal.
#include "sequencer/repair_search.h"

#include <cassert>

namespace krv::seq {

int RepairPathFinder::operator()(const IncidenceLists& lists, int d, std::vector<int>& path) {
  const int n = lists.N();
  path.clear();
  if (int(layer_.size()) < n + 1) {
    layer_.assign(size_t(n) + 1, -1);
    target_.assign(size_t(n) + 1, 0);
    good_.assign(size_t(n) + 1, 0);
  }
  for (int e = lists.ColHead(d); e; e = lists.NextInCol(e)) {
    target_[lists.Row(e)] = 1;
    ++steps_;
  }

  // Breadth-first from d over row -> column steps until a layer holds a
  // row with an entry in column d.
  visited_.assign(1, d);
  layer_[d] = 0;
  size_t layerBegin = 0;
  int depth = 0;  // layers of `visited_` are contiguous
  bool reached = false;
  while (layerBegin < visited_.size()) {
    size_t layerEnd = visited_.size();
    for (size_t i = layerBegin; i < layerEnd && !reached; ++i) reached = target_[visited_[i]];
    if (reached) break;
    for (size_t i = layerBegin; i < layerEnd; ++i)
      for (int e = lists.RowHead(visited_[i]); e; e = lists.NextInRow(e)) {
        ++steps_;
        int c = lists.Col(e);
        if (layer_[c] < 0) {
          layer_[c] = depth + 1;
          visited_.push_back(c);
        }
      }
    layerBegin = layerEnd;
    ++depth;
  }

  int level = 0;
  if (reached) {
    level = depth + 1;
    // Mark the nodes from which a target lies exactly as many layers on
    // as the last layer is away, from the last layer back to d.
    for (size_t i = visited_.size(); i-- > 0;) {
      int v = visited_[i];
      if (layer_[v] == depth) {
        good_[v] = target_[v];
        continue;
      }
      for (int e = lists.RowHead(v); e && !good_[v]; e = lists.NextInRow(e)) {
        ++steps_;
        int c = lists.Col(e);
        good_[v] = layer_[c] == layer_[v] + 1 && good_[c];
      }
    }
    assert(good_[d]);
    int v = d;
    for (int k = 0; k < depth; ++k) {
      int next = 0;
      for (int e = lists.RowHead(v); e && !next; e = lists.NextInRow(e)) {
        ++steps_;
        int c = lists.Col(e);
        if (layer_[c] == k + 1 && good_[c]) next = c;
      }
      assert(next);
      path.push_back(next);
      v = next;
    }
    path.push_back(d);
  }

  for (int v : visited_) {
    layer_[v] = -1;
    good_[v] = 0;
  }
  for (int e = lists.ColHead(d); e; e = lists.NextInCol(e)) target_[lists.Row(e)] = 0;
  return level;
}

}  // namespace krv::seq
