// Block lower-triangular ordering of the incidence matrix, with tearing.
#pragma once

#include <utility>
#include <vector>

#include "preprocessor/log_writer.h"
#include "sequencer/prb_format.h"
#include "sequencer/repair_search.h"

namespace krv::seq {

struct JacobianOrder {
  bool singular = false;
  // Indexed 1..n (element 0 unused): the final position of equation r,
  // and the row each solved variable c is matched with.
  std::vector<int> RowPosition;
  std::vector<int> MatchedRow;
  // The nonzeros as final (row position, column position), by column
  // position, then row position.
  std::vector<PrbNonzero> entries;

  // What the first stage found, for checks: its sub-blocks as position
  // ranges, and the row standing at each position after it.
  std::vector<std::pair<int, int>> firstStageBlocks;
  std::vector<int> firstStageRowAt;
  // Entries the incidence lists stepped over while merging, the measure
  // of the ordering's list work.
  long long listSteps = 0;
};

struct OrderingOptions {
  // The diagonal repair search; the linear-time finder when empty.
  RepairSearch search;
  // Run every sweep over the block row by row as written down, instead of
  // tracking which rows have become solvable, and merge entry by entry.
  // Both give the same result; the literal form serves to check the
  // faster one.
  bool literalSweeps = false;
};

// Orders the n x n matrix whose nonzeros are (rows[i], cols[i]), 1-based:
// makes the diagonal zero-free by exchanging columns, orders the strongly
// coupled groups into lower block-triangular form and tears one spike
// column out of every group of three or more, stage after stage. Logs its
// progress and statistics to `log`.
JacobianOrder OrderJacobian(int n, const std::vector<int>& rows, const std::vector<int>& cols,
                            pp::LogWriter& log, const OrderingOptions& options = {});

}  // namespace krv::seq
