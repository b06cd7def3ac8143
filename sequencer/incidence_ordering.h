// From the map's kind letters and incidences to the problem's ordering
// section: numbering of equations and solved variables, the nonzeros, the
// block ordering and the row and column names per position.
#pragma once

#include "preprocessor/log_writer.h"
#include "sequencer/order_jacobian.h"
#include "sequencer/prb_format.h"
#include "sequencer/vnm_map.h"

namespace krv::seq {

// The most equations (solved variables) the tables take.
inline constexpr int kMaxEquations = 10000;

// Fills `out` (integration pairs, row and column names, nonzeros) from
// the map and logs the pass. False after a logged failure ("FIXPTR Err",
// "JAC MTX SIZE TOO BIG", "Singularity Err", too many equations); `out`
// is then incomplete and must not be written.
bool ReadIncidenceAndWriteOrdering(const VnmMap& map, PrbOrdering& out, pp::LogWriter& log,
                                   const OrderingOptions& options = {});

}  // namespace krv::seq
