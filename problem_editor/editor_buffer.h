// One loaded problem: its records, display list and the file image to save.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "problem_editor/variable_record.h"

namespace krv::pe {

constexpr int kDisplayMax = 22000;
// Record indexes are 16-bit signed: at most 32768 records.
constexpr int kRecordMax = 32768;

// The parts of the loaded file that a save writes back unchanged.
struct PrbImage {
  bool v4 = false;                     // header began with "*": a writable file
  std::string header;                  // raw header line
  uint8_t countWord[2] = {0xFF, 0xFF}; // highest name index, as stored
  std::vector<std::string> nameLines;  // raw name line of each record
  std::string hashLine;                // the "#" line ending the names
  std::string ordering;                // the ordering section, as stored
  bool orderingComplete = false;       // the section was all there
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

  int N() const { return int(records.size()) - 1; }
  VariableRecord& AtRow(int displayRow) { return records[size_t(display[size_t(displayRow)])]; }
  const VariableRecord& AtRow(int displayRow) const {
    return records[size_t(display[size_t(displayRow)])];
  }
};

}  // namespace krv::pe
