// Series arithmetic: whole series computed at a time over the row-use
// limits (RowUseLow..RowUseHigh). A missing operand or a result that a
// single cannot hold gives MissingValue and sets the missing mark, which
// becomes FailureFlag at the end of each routine. Operation letters are
// taken in either case.
#pragma once

#include "series/series_store.h"

namespace krv::series {

// "C" cumulative sum, "E" exponential, "I" inverse, "L" natural log,
// "N" negation of `source` into `target` (created when not open).
void UnaryCalcs(SeriesStore& store, char op, ColumnSlot& target, ColumnSlot& source);

// "*", "+", "/", "X" (power) with the constant, or "S": shift the index by
// the constant rounded half to even.
void ConstCalcs(SeriesStore& store, char op, ColumnSlot& target, ColumnSlot& source,
                double constant);

// "+", "-", "*", "/" of two series over the intersection of their ranges.
void BinaryCalcs(SeriesStore& store, char op, ColumnSlot& target, ColumnSlot& source1,
                 ColumnSlot& source2);

// target := target op source in place ("*", "+", "-", "/"); the source
// must cover the row-use range.
void ModifyBinary(SeriesStore& store, char op, ColumnSlot& target, ColumnSlot& source);

// "E", "I", "L", "N" of the target in place.
void ModifyUnary(SeriesStore& store, char op, ColumnSlot& target);

// The series "ixLtoH" holding i at each index i of the row-use range.
void MakeIndexSeries(SeriesStore& store, ColumnSlot& slot);

// start, start + step, ... over the row-use range, summed in double.
void MakeDifferenceSeries(SeriesStore& store, ColumnSlot& slot, double start, double step);

// `value` at every index of the row-use range; values outside it stay.
void FillSeriesConstant(SeriesStore& store, ColumnSlot& slot, double value);

}  // namespace krv::series
