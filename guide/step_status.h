// Which steps of a problem are stale, from the dates of its files alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace krv::guide {

// The stamps of the current problem's files; nothing where a file is absent.
struct FileProbes {
  std::optional<uint32_t> qtl, vnm, prb, psy, exe, so;
};

// What the main window shows: the four status labels and the buttons that
// the status decides.
struct StepStatus {
  std::string fileStatus = "Select QTL file name";
  std::string prepStatus = "Preprocess";
  std::string seqStatus = "SeqMsg";
  std::string compStatus;
  bool prepEnabled = false;     // "Preprocess"
  bool seqEnabled = false;      // "Sequence"
  bool editEnabled = false;     // "Edit"
  bool soEnabled = false;       // "Edit SOSI"
  bool cvtSoEnabled = false;    // "Cvt SOSI"
  bool solverEnabled = false;   // "Start Solver"
};

// Probes NAME.QTL, .VNM, .PRB, .PSY, .SO and the solver NAME in the current
// directory; all absent when no problem is chosen.
FileProbes ProbeProblemFiles(const std::string& problemName);

// Applies the status rules to `status`; some texts keep their earlier value.
void ApplyStatusRules(const FileProbes& files, StepStatus& status);

// Probes and applies in one go.
void RefreshStatus(const std::string& problemName, StepStatus& status);

}  // namespace krv::guide
