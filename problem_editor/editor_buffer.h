// One loaded problem: its records, display list and the file image to save.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "problem_editor/variable_record.h"
#include "sequencer/prb_format.h"

namespace krv::pe {

constexpr int kDisplayMax = 22000;
// Record indexes are 16-bit signed: at most 32768 records.
constexpr int kRecordMax = 32768;

// The parts of the loaded file that a save writes back unchanged: the
// header, each record's name line as stored (its value block comes from
// the record) and the ordering section, copied unread.
struct PrbImage {
  bool v4 = false;                // header began with "*": a writable file
  seq::PrbProblem file;           // as read, value blocks aside
  bool orderingComplete = false;  // the ordering section was all there
};

struct EditorBuffer {
  std::vector<VariableRecord> records;
  int lastDisplayed = -1;
  int cursor = 0;
  int top = 0;
  int beginNumber = 0;
  int endNumber = -1;
  std::vector<int16_t> display = std::vector<int16_t>(kDisplayMax, 0);
  std::vector<uint8_t> marks = std::vector<uint8_t>(kDisplayMax, 0);
  std::string problemName;  // the file's path without ".PRB"
  PrbImage image;
  std::string loadedBytes;  // the file as loaded or last saved

  // The index of the last record, -1 when there are none.
  int HighestIndex() const { return int(records.size()) - 1; }
  VariableRecord& AtRow(int displayRow) { return records[size_t(display[size_t(displayRow)])]; }
  const VariableRecord& AtRow(int displayRow) const {
    return records[size_t(display[size_t(displayRow)])];
  }
};

}  // namespace krv::pe
