// Which steps of a problem are stale, from the dates of its files alone.
#include "guide/step_status.h"

#include "guide/file_probe.h"

namespace krv::guide {

static std::optional<uint32_t> Probe(const std::string& name) {
  uint32_t stamp;
  if (GetFileDate(name, stamp)) return stamp;
  return std::nullopt;
}

FileProbes ProbeProblemFiles(const std::string& problemName) {
  FileProbes f;
  if (problemName.empty()) return f;
  f.qtl = Probe(problemName + ".QTL");
  f.vnm = Probe(problemName + ".VNM");
  f.prb = Probe(problemName + ".PRB");
  f.psy = Probe(problemName + ".PSY");
  f.exe = Probe(problemName);  // the solver has no suffix here
  f.so = Probe(problemName + ".SO");
  return f;
}

// Stamps compare unsigned, so dates from 2044 on still order correctly.
static bool Newer(const std::optional<uint32_t>& a, const std::optional<uint32_t>& b) {
  return *a > *b;
}

void ApplyStatusRules(const FileProbes& f, StepStatus& s) {
  if (f.qtl) {
    s.fileStatus = " ";
    s.prepEnabled = s.soEnabled = s.cvtSoEnabled = s.editEnabled = true;
    if (f.psy && f.vnm) {
      s.seqEnabled = true;
      s.prepStatus = Newer(f.qtl, f.vnm) || Newer(f.qtl, f.psy)
                         ? "Newer QTL, need to preprocess??"
                         : " ";
      s.seqStatus = !f.prb || Newer(f.vnm, f.prb) ? "Need to sequence" : " ";
    } else {
      s.prepStatus = "Preprocess";
      s.seqEnabled = false;
    }
    s.compStatus = f.psy && (!f.exe || Newer(f.psy, f.exe)) ? "Need to compile" : " ";
    s.solverEnabled = f.psy && f.exe && Newer(f.exe, f.psy);
    return;
  }
  if (f.so) {
    s.soEnabled = s.cvtSoEnabled = true;
  } else {
    s.fileStatus = "Select QTL file name.";
    s.soEnabled = s.cvtSoEnabled = false;
  }
  s.prepStatus = " ";
  s.prepEnabled = false;
  s.seqStatus = " ";
  s.seqEnabled = false;
  s.editEnabled = false;
}

void RefreshStatus(const std::string& problemName, StepStatus& status) {
  ApplyStatusRules(ProbeProblemFiles(problemName), status);
}

}  // namespace krv::guide
