// Turns parsed SOSI tables into model source, and the "Cvt SOSI" command.
#include "guide/sosi_generator.h"

#include "platform/byte_io.h"
#include "platform/file_resolver.h"
#include "platform/user_prompts.h"

namespace krv::guide {

namespace pf = krv::platform;

void AddSystemVarName(SosiSystemNames& list, const std::string& name) {
  if (list.seen.insert(name).second) list.names.push_back(name);
}

std::vector<std::string> WrapNameList(const std::vector<std::string>& names,
                                      const std::string& closing) {
  std::string text;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i) text += ',';
    text += names[i];
  }
  std::vector<std::string> lines;
  // Each piece breaks at its first comma past its 60th character; the
  // next piece begins with that comma.
  size_t start = 0;
  for (size_t p = text.find(',', start + 60); p != std::string::npos && p + 1 < text.size();
       p = text.find(',', start + 60)) {
    lines.push_back("   " + text.substr(start, p - start));
    start = p;
  }
  lines.push_back("   " + text.substr(start) + closing);
  return lines;
}

namespace {

void Line(std::string& out, const std::string& text) { out += text + "\r\n"; }

void Lines(std::string& out, const std::vector<std::string>& lines) {
  for (const auto& l : lines) Line(out, l);
}

// The equation's own output: x, or y of FIX(x, y).
const std::string& Output(const SosiEquation& eq) {
  return eq.kind == SosiEquationKind::kFix ? eq.inputs[0] : eq.variable;
}

// The inputs the procedure reads: for FIX those after y.
std::vector<std::string> ProcedureInputs(const SosiEquation& eq) {
  size_t first = eq.kind == SosiEquationKind::kFix ? 1 : 0;
  return std::vector<std::string>(eq.inputs.begin() + long(std::min(first, eq.inputs.size())),
                                  eq.inputs.end());
}

}  // namespace

std::string WriteModelSource(const SosiTables& t) {
  std::string out;
  if (!t.SosiParams.empty()) {
    Line(out, "VAR");
    std::vector<std::string> names;
    for (const auto& p : t.SosiParams) names.push_back(p.name);
    Lines(out, WrapNameList(names, ":SINGLE;"));
    Line(out, "");
  }
  Line(out, "procedure PARSET;");
  Line(out, "begin");
  for (const auto& p : t.SosiParams)
    Line(out, "   _PARS(5,'','','" + p.name + "'," + p.name + "," + p.value + ");");
  Line(out, "end;");
  Line(out, "");
  Lines(out, {"function AXB(A,B:DOUBLE):DOUBLE;", "begin", "   AXB:=AEXP(B*ALOG(A));", "end;", ""});
  Lines(out, {"procedure SETUP;", "begin", " ", "end;", ""});
  Lines(out, {"procedure TIMESET;", "begin", " ", "end;", ""});
  Lines(out, {"procedure REPORT;", "begin", "end;"});
  Lines(out, {"procedure ADDSET;", "begin", "end;"});
  Lines(out, {"procedure USERBPR;", "begin", "end;", ""});

  for (size_t i = 0; i < t.SosiEquations.size(); ++i) {
    const SosiEquation& eq = t.SosiEquations[i];
    const bool deriv = eq.kind == SosiEquationKind::kDerivative;
    const std::vector<std::string> inputs = ProcedureInputs(eq);
    std::string heading = "XPROC " + Output(eq) + (deriv ? "_RTcalc(VAROT OTVdot:XVR" : "_calc(VAROT OTV:XVR");
    // Without inputs the heading closes on its first line.
    if (inputs.empty()) {
      Line(out, heading + ");");
    } else {
      Line(out, heading + ";");
      std::string list;
      for (size_t k = 0; k < inputs.size(); ++k) list += (k ? "," : "") + inputs[k];
      Line(out, "           VARIN " + list + ":XVR);");
    }
    Line(out, "begin");
    Line(out, deriv ? "  OTVdot:=" : "  OTV:=");
    Line(out, "    " + t.SosiExprText[i]);
    Line(out, "end;");
    Line(out, " ");
  }

  SosiSystemNames system;
  for (const auto& eq : t.SosiEquations) {
    AddSystemVarName(system, eq.variable);
    if (eq.kind == SosiEquationKind::kDerivative) AddSystemVarName(system, eq.variable + "dot");
    for (const auto& in : eq.inputs) AddSystemVarName(system, in);
  }
  Line(out, "MPROC SYSTEM;");
  Line(out, "VAR");
  Lines(out, WrapNameList(system.names, ":XVR;"));
  Line(out, "begin");
  for (const auto& eq : t.SosiEquations) {
    switch (eq.kind) {
      case SosiEquationKind::kDerivative:
        Line(out, " " + eq.variable + "_RTcalc(" + eq.variable + "dot");
        break;
      default:
        Line(out, " " + Output(eq) + "_calc(" + Output(eq));
        break;
    }
    std::string args = "    ";
    for (const auto& in : ProcedureInputs(eq)) args += "," + in;
    Line(out, args + ");");
    if (eq.kind == SosiEquationKind::kDerivative)
      Line(out, " qtlInteg(" + eq.variable + "," + eq.variable + "dot);");
    else if (eq.kind == SosiEquationKind::kFix)
      Line(out, " qtlFix(" + eq.variable + "," + Output(eq) + ");");
  }
  Line(out, "end;");
  return out;
}

SosiConversionResult ConvertSosi(const std::string& problemName) {
  SosiConversionResult result;
  const std::string qtl = problemName + ".QTL";
  std::string existing;
  if (pf::ReadFileBytes(qtl, existing) &&
      !pf::Prompts().ConfirmOk("Delete existing QTL source file?")) {
    result.outcome = SosiConversion::kCancelled;
    return result;
  }
  const std::string so = problemName + ".SO";
  if (!pf::ReadFileBytes(so, result.text)) {
    pf::Prompts().ShowMessage("The SOSI file " + so + " cannot be read.");
    result.outcome = SosiConversion::kNoSource;
    return result;
  }
  SosiTables tables;
  if (!ParseSosiFile(result.text, tables)) {
    result.outcome = SosiConversion::kParseError;
    result.errorAt = tables.errorAt;
    return result;
  }
  if (!pf::WriteFileAtomic(qtl, WriteModelSource(tables))) {
    pf::Prompts().ShowMessage("The model source " + pf::ResolvePath(qtl) +
                              " could not be written; the old file is kept.");
    result.outcome = SosiConversion::kWriteFailed;
    return result;
  }
  pf::Prompts().ShowMessage("Finished");
  result.outcome = SosiConversion::kDone;
  return result;
}

}  // namespace krv::guide
