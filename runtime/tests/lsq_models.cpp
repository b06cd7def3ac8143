// Test helpers for least-squares fits: models, stores, data and independent fits.
#include "runtime/tests/lsq_models.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "platform/little_endian.h"
#include "platform/user_prompts.h"
#include "series/series_store.h"

namespace krv::rt {

// ---- Problem series ----

namespace {

LsqSeries* Find(LsqProblemSeries& p, const std::string& path) {
  for (LsqSeries& s : p)
    if (s.path == path) return &s;
  return nullptr;
}

std::string Proc(const std::string& name, const std::string& body, const std::string& vars = "") {
  return "procedure " + name + ";\r\n" + vars + "begin\r\n" + body + "end;\r\n";
}

std::string Xproc(const std::string& name, const std::string& out,
                  const std::vector<std::string>& ins, const std::string& body) {
  std::string list, guard = "IF _BS";
  for (const std::string& in : ins) {
    list += (list.empty() ? "" : ",") + in;
    guard += " OR " + in + ".D";
  }
  return CrLf({"PROCEDURE " + name + "(VAR " + out + ":XVR;", "           VAR " + list + ":XVR);",
               "begin", guard + " THEN BEGIN", body, "end;", "END;"});
}

LsqProblemSeries Layout(const std::vector<std::string>& betas, const std::vector<double>& start,
                        const std::string& dep, bool timed, const std::string& input) {
  LsqProblemSeries p;
  LsqSeries controls{".PR1.Controls", {}};
  for (int k = 0; k <= 20; ++k) controls.values.push_back({k, k == 0 || k >= 6 ? 1.0 : 0.0});
  p.push_back(controls);
  for (size_t b = 0; b < betas.size(); ++b) {
    const std::string base = ".PR1." + betas[b];
    p.push_back({base + ".Start", {{0, start[b]}}});
    for (const char* s : {".Value", ".RangeLo", ".RangeUp", ".Delta"}) p.push_back({base + s, {}});
  }
  p.push_back({".PR1." + dep + ".Value", {}});
  p.push_back({".PR1." + dep + ".Weight", {}});
  if (timed) p.push_back({".PR1.Time.Value", {}});
  p.push_back({".PR1." + input + ".Value", {}});
  return p;
}

}  // namespace

void SetSeries(LsqProblemSeries& p, const std::string& path,
               std::vector<std::pair<int, double>> values) {
  if (LsqSeries* s = Find(p, path))
    s->values = std::move(values);
  else
    p.push_back({path, std::move(values)});
}

void SetValue(LsqProblemSeries& p, const std::string& path, int index, double value) {
  LsqSeries* s = Find(p, path);
  if (!s) return SetSeries(p, path, {{index, value}});
  EraseValue(p, path, index);
  s->values.push_back({index, value});
}

void EraseValue(LsqProblemSeries& p, const std::string& path, int index) {
  if (LsqSeries* s = Find(p, path))
    std::erase_if(s->values, [&](const auto& v) { return v.first == index; });
}

void SetControl(LsqProblemSeries& p, int index, double value) {
  SetValue(p, ".PR1.Controls", index, value);
}

void RemoveSeries(LsqProblemSeries& p, const std::string& path) {
  std::erase_if(p, [&](const LsqSeries& s) { return s.path == path; });
}

void RenameProblem(LsqProblemSeries& p, const std::string& name) {
  for (LsqSeries& s : p) s.path = "." + name + s.path.substr(4);
}

// ---- Models ----

TestModel StaticModel() {
  TestModel m;
  m.name = "LSQS";
  m.label = ">12-10-2026 11: 0: 0 LSQS";
  m.type_lines = {"  _SYSTEM=RECORD", "     U,Y,W,Z:XVR;", "  END;"};
  m.psy = "VAR K1:DOUBLE; K2:SINGLE;\r\n" +
          Proc("PARSET",
               "  K1:=1; K2:=1;\r\n"
               "  LSQSETUP('FIT','PR1');\r\n"
               "  _LSQBETA('K1',K1);\r\n"
               "  _LSQBETA('K2',K2);\r\n"
               "  LSQDEP('Y',_X.Y);\r\n"
               "  _LSQINDEP('U',_X.U);\r\n") +
          Proc("SETUP", "") + Proc("TIMESET", "  TSTART:=0; TEND:=1; TSTEP:=1;\r\n") +
          Proc("REPORT",
               "  {$I-} ASSIGN(F,'VANISH'); RESET(F,1); {$I+}\r\n"
               "  IF IORESULT=0 THEN BEGIN\r\n"
               "    CLOSE(F); {$I-} ASSIGN(F,'FIT.DSF'); ERASE(F); {$I+} IF IORESULT<>0 THEN;\r\n"
               "  END;\r\n",
               "VAR F:FILE;\r\n") +
          Proc("ADDSET", "") + Proc("USERBPR", "") +
          Xproc("CURVE", "Y", {"U"}, "  Y.O:=K1*EXP(-K2*U.I);") +
          Xproc("SQ", "Z", {"W"}, "  Z.O:=W.I*W.I;") +
          CrLf({"PROCEDURE  SYSTEMMC(VAR _X:_SYSTEM);", "begin", "  CURVE(_X.Y,_X.U);",
                "  SQ(_X.Z,_X.W);", "  {QTLFIX(_X.W,_X.Z)};", "end;"});
  m.vars = {{"I*", "U"}, {"IO", "Y"}, {"IC", "W", 1.0}, {"CO", "Z", 4.0}};
  m.incidences = {{1, 0}, {3, 2}, {2, 3, 1}};
  return m;
}

TestModel TimedModel() {
  TestModel m;
  m.name = "LSQD";
  m.label = ">12-10-2026 11: 1: 0 LSQD";
  m.type_lines = {"  _SYSTEM=RECORD", "     U,Q,NET,LEVEL:XVR;", "  END;"};
  m.psy = "VAR K1,K2:DOUBLE;\r\n" +
          Proc("PARSET",
               "  K1:=1; K2:=1;\r\n"
               "  DLSQSETUP('FIT','PR1');\r\n"
               "  _LSQBETA('K1',K1);\r\n"
               "  _LSQBETA('K2',K2);\r\n"
               "  LSQDEP('LEVEL',_X.LEVEL);\r\n"
               "  _LSQINDEP('U',_X.U);\r\n"
               "  _DLSQRUN('R1');\r\n"
               "  _DLSQRUN('R2');\r\n") +
          Proc("SETUP", "") + Proc("TIMESET", "  TSTART:=0; TEND:=5; TSTEP:=0.25;\r\n") +
          Proc("REPORT", "") + Proc("ADDSET", "") + Proc("USERBPR", "") +
          Xproc("OUTQ", "Q", {"L"}, "  Q.O:=K2*L.I;") +
          Xproc("NETF", "NET", {"U", "Q"}, "  NET.O:=K1*U.I-Q.I;") +
          CrLf({"PROCEDURE  SYSTEMMC(VAR _X:_SYSTEM);", "begin", "  OUTQ(_X.Q,_X.LEVEL);",
                "  NETF(_X.NET,_X.U,_X.Q);", "  QTLINTEG(_X.LEVEL,_X.NET);", "end;"});
  m.vars = {{"I*", "U"}, {"IO", "Q"}, {"IO", "NET"}, {"IO", "LEVEL", 1.0}};
  m.incidences = {{1, 3}, {2, 0}, {2, 1}, {3, 2, 0, 1}};
  return m;
}

TestModel FormulaModel(const std::string& name, const std::vector<FormulaCase>& cases,
                       const std::string& functions) {
  TestModel m;
  m.name = name;
  m.label = ">12-10-2026 11: 5: 0 " + name;
  m.type_lines = {"  _SYSTEM=RECORD", "     X,Y,SEL:XVR;", "  END;"};
  std::string marks = "  CASE ROUND(_X.SEL.I) OF\r\n", body = "  CASE ROUND(SEL.I) OF\r\n";
  for (size_t c = 0; c < cases.size(); ++c) {
    const std::string k = std::to_string(c + 1);
    marks += "    " + k + ": BEGIN";
    for (int b = 1; b <= cases[c].parameters; ++b)
      marks += " _LSQBETA('B" + std::to_string(b) + "',B" + std::to_string(b) + ");";
    marks += " END;\r\n";
    body += "    " + k + ": Y.O:=" + cases[c].formula + ";\r\n";
  }
  marks += "  END;\r\n";
  body += "  END;";
  m.psy = "VAR B1,B2,B3,B4,B5,B6,B7,B8: DOUBLE;\r\n" + functions +
          Proc("PARSET", "  LSQSETUP('FIT','PR1');\r\n" + marks + "  LSQDEP('Y',_X.Y);\r\n"
                         "  _LSQINDEP('X',_X.X);\r\n") +
          Proc("SETUP", "") + Proc("TIMESET", "  TSTART:=0; TEND:=0; TSTEP:=1;\r\n") +
          Proc("REPORT", "") + Proc("ADDSET", "") + Proc("USERBPR", "") +
          Xproc("FORMULA", "Y", {"X", "SEL"}, body) +
          CrLf({"PROCEDURE  SYSTEMMC(VAR _X:_SYSTEM);", "begin", "  FORMULA(_X.Y,_X.X,_X.SEL);", "end;"});
  m.vars = {{"I*", "X"}, {"IO", "Y"}, {"I*", "SEL", 1.0}};
  m.incidences = {{1, 0}, {1, 2}};
  return m;
}

std::vector<std::string> ParameterNames(int p) {
  std::vector<std::string> names;
  for (int b = 1; b <= p; ++b) names.push_back("B" + std::to_string(b));
  return names;
}

LsqProblemSeries FormulaProblem(const std::vector<double>& start, const std::vector<double>& x,
                                const std::vector<double>& y) {
  LsqProblemSeries p = Layout(ParameterNames(int(start.size())), start, "Y", false, "X");
  for (size_t i = 0; i < x.size(); ++i) {
    SetValue(p, ".PR1.Y.Value", int(i), y[i]);
    SetValue(p, ".PR1.Y.Weight", int(i), 1.0);
    SetValue(p, ".PR1.X.Value", int(i), x[i]);
  }
  return p;
}

void LsqDir::SelectCase(const TestModel& m, int k) const {
  std::vector<PrbVar> vars = m.vars;
  vars.back().xin = k;
  dir.Write(name_ + ".PRB", ProblemFile(m, vars, Ordering::kHelper));
}

// ---- Data ----

StaticData NoisyStaticData(unsigned seed, int n, double du) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> noise(0.0, 0.02);
  StaticData d;
  for (int i = 0; i < n; ++i) {
    double u = float(du * i);  // as the store keeps it
    d.u.push_back(u);
    // Through a single, as the store keeps it.
    d.y.push_back(float(kStaticTruth[0] * std::exp(-kStaticTruth[1] * u) + noise(gen)));
    d.weight.push_back(1.0);
  }
  return d;
}

double StaticSum(const StaticData& d, double k1, double k2) {
  double s = 0;
  for (size_t i = 0; i < d.u.size(); ++i)
    s += d.weight[i] * std::pow(k1 * std::exp(-k2 * d.u[i]) - d.y[i], 2);
  return s;
}

LsqProblemSeries StaticProblem(const StaticData& d, std::array<double, 2> start) {
  LsqProblemSeries p = Layout({"K1", "K2"}, {start[0], start[1]}, "Y", false, "U");
  for (size_t i = 0; i < d.u.size(); ++i) {
    const int k = int(i);
    SetValue(p, ".PR1.Y.Value", k, d.y[i]);
    SetValue(p, ".PR1.Y.Weight", k, d.weight[i]);
    SetValue(p, ".PR1.U.Value", k, d.u[i]);
  }
  return p;
}

namespace {

double Interp(const std::vector<double>& t, const std::vector<double>& v, double x) {
  if (x <= t.front()) return v.front();
  if (x >= t.back()) return v.back();
  size_t j = size_t(std::upper_bound(t.begin(), t.end(), x) - t.begin());
  return v[j - 1] + (v[j] - v[j - 1]) * (x - t[j - 1]) / (t[j] - t[j - 1]);
}

constexpr double kDt = 0.25;
constexpr int kSteps = 20;

}  // namespace

std::vector<double> SimulateLevel(const TimedData& d, double k1, double k2) {
  std::vector<double> level(kSteps + 1);
  level[0] = 1.0;
  for (int j = 1; j <= kSteps; ++j)
    level[size_t(j)] = (level[size_t(j) - 1] + kDt * k1 * Interp(d.t, d.u, j * kDt)) / (1 + kDt * k2);
  return level;
}

namespace {

std::vector<double> TimedModelAt(const TimedData& d, double k1, double k2) {
  std::vector<double> level = SimulateLevel(d, k1, k2), out;
  for (double t : d.t) {
    double u = t / kDt;
    size_t j = std::min(size_t(u), size_t(kSteps - 1));
    out.push_back(level[j] + (u - double(j)) * (level[j + 1] - level[j]));
  }
  return out;
}

}  // namespace

TimedData NoisyTimedData(unsigned seed, int n) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> noise(0.0, 0.01);
  TimedData d;
  for (int i = 0; i < n; ++i) {
    double t = float(0.13 + 0.31 * i);
    d.t.push_back(t);
    d.u.push_back(float(1 + 0.5 * std::sin(1.3 * t)));
    d.weight.push_back(1.0);
  }
  std::vector<double> clean = TimedModelAt(d, kTimedTruth[0], kTimedTruth[1]);
  for (double v : clean) d.level.push_back(float(v + noise(gen)));
  return d;
}

LsqProblemSeries TimedProblem(const TimedData& d, std::array<double, 2> start) {
  LsqProblemSeries p = Layout({"K1", "K2"}, {start[0], start[1]}, "LEVEL", true, "U");
  for (size_t i = 0; i < d.t.size(); ++i) {
    const int k = int(i);
    SetValue(p, ".PR1.LEVEL.Value", k, d.level[i]);
    SetValue(p, ".PR1.LEVEL.Weight", k, d.weight[i]);
    SetValue(p, ".PR1.Time.Value", k, d.t[i]);
    SetValue(p, ".PR1.U.Value", k, d.u[i]);
  }
  return p;
}

// ---- Independent fits ----

namespace {

// Gauss-Newton on residuals r(b) with central-difference sensitivities.
Fit2 GaussNewton(const std::function<std::vector<double>(double, double)>& residuals,
                 std::array<double, 2> b, bool fix_first) {
  auto sum = [&](double a, double c) {
    double s = 0;
    for (double r : residuals(a, c)) s += r * r;
    return s;
  };
  for (int it = 0; it < 100; ++it) {
    std::vector<double> r = residuals(b[0], b[1]);
    std::vector<double> j0(r.size(), 0.0), j1(r.size());
    const double h0 = 1e-6 * std::max(1.0, std::fabs(b[0])), h1 = 1e-6 * std::max(1.0, std::fabs(b[1]));
    std::vector<double> p1 = residuals(b[0], b[1] + h1), m1 = residuals(b[0], b[1] - h1);
    for (size_t i = 0; i < r.size(); ++i) j1[i] = (p1[i] - m1[i]) / (2 * h1);
    if (!fix_first) {
      std::vector<double> p0 = residuals(b[0] + h0, b[1]), m0 = residuals(b[0] - h0, b[1]);
      for (size_t i = 0; i < r.size(); ++i) j0[i] = (p0[i] - m0[i]) / (2 * h0);
    }
    double a00 = 0, a01 = 0, a11 = 0, g0 = 0, g1 = 0;
    for (size_t i = 0; i < r.size(); ++i) {
      a00 += j0[i] * j0[i], a01 += j0[i] * j1[i], a11 += j1[i] * j1[i];
      g0 += j0[i] * r[i], g1 += j1[i] * r[i];
    }
    double d0 = 0, d1;
    if (fix_first) {
      d1 = -g1 / a11;
    } else {
      double det = a00 * a11 - a01 * a01;
      d0 = -(a11 * g0 - a01 * g1) / det;
      d1 = -(a00 * g1 - a01 * g0) / det;
    }
    // Halve a step that does not lower the sum.
    double s = sum(b[0], b[1]), lambda = 1;
    while (lambda > 1e-6 && sum(b[0] + lambda * d0, b[1] + lambda * d1) > s) lambda /= 2;
    b[0] += lambda * d0;
    b[1] += lambda * d1;
    if (std::fabs(d0) < 1e-13 * std::fabs(b[0]) + 1e-15 && std::fabs(d1) < 1e-13 * std::fabs(b[1]) + 1e-15)
      break;
  }
  return Fit2{b, sum(b[0], b[1])};
}

}  // namespace

Fit2 IndependentStaticFit(const StaticData& d, std::array<double, 2> start, bool fix_k1) {
  return GaussNewton(
      [&](double k1, double k2) {
        std::vector<double> r;
        for (size_t i = 0; i < d.u.size(); ++i)
          r.push_back(std::sqrt(d.weight[i]) * (k1 * std::exp(-k2 * d.u[i]) - d.y[i]));
        return r;
      },
      start, fix_k1);
}

Fit2 IndependentTimedFit(const TimedData& d, std::array<double, 2> start) {
  return GaussNewton(
      [&](double k1, double k2) {
        std::vector<double> m = TimedModelAt(d, k1, k2), r;
        for (size_t i = 0; i < m.size(); ++i) r.push_back(std::sqrt(d.weight[i]) * (m[i] - d.level[i]));
        return r;
      },
      start, false);
}

// ---- Files ----

std::string TtrFile(int mark, const std::vector<std::vector<float>>& records) {
  const int d = int(records.front().size()) - 1;
  const int r = mark == 30995 ? (d + 3) / 16 + 1 : (d + 4) / 16 + 1;
  std::string out(size_t(64 * (1 + r * int(records.size()))), '\0');
  platform::PutI16(out, 0, int16_t(mark));
  platform::PutI16(out, 2, int16_t(d));
  platform::PutI32(out, mark == 32000 ? 52 : 60, int32_t(records.size()) - 1);
  for (size_t jt = 0; jt < records.size(); ++jt) {
    size_t at = 64 * (1 + jt * size_t(r));
    platform::PutI32(out, at, int32_t(jt));
    platform::PutF64(out, at + 4, double(jt));
    for (int k = 0; k <= d; ++k)
      platform::PutF32(out, at + (mark == 30995 || k < 12 ? 12 : 16) + 4 * size_t(k), records[jt][size_t(k)]);
  }
  return out;
}

double ReportNumber(const std::string& text, const std::string& key) {
  size_t at = text.find(key);
  if (at == std::string::npos) return NAN;
  return std::strtod(text.c_str() + at + key.size(), nullptr);
}

// ---- The directory ----

LsqDir::LsqDir(const TestModel& m) : dir(Compiled(m)), name_(m.name) {
  for (const char* f : {"FIT.DSF", "STARTING.TTR", "VANISH"}) std::remove(dir.dir().File(f).c_str());
  for (const char* ext : {".LSQ", ".TTR"}) std::remove(dir.dir().File(name_ + ext).c_str());
  dir.Write(name_ + ".PRB", ProblemFile(m, m.vars, Ordering::kHelper));
}

void LsqDir::WriteStore(const LsqProblemSeries& p) const {
  std::remove(dir.dir().File("FIT.DSF").c_str());
  platform::ScriptedPrompts prompts;
  series::SeriesStore store;
  store.CreateDSF(dir.dir().File("FIT"));
  series::ColumnSlot& slot = store.ColumnSlots[0];
  for (const LsqSeries& s : p) {
    // Its DSDirs first, as "New LSQ problem" makes them.
    for (size_t dot = s.path.find('.', 1); dot != std::string::npos; dot = s.path.find('.', dot + 1))
      store.MakeDSDir(s.path.substr(0, dot), false);
    store.NewSeries(slot, false, "");
    for (const auto& [index, value] : s.values) store.PutVal(slot, int16_t(index), value);
    store.SaveSeries(slot, s.path);
    if (store.FailureFlag) std::fprintf(stderr, "saving %s failed\n", s.path.c_str());
    store.FreeSeries(slot);
  }
  store.CloseDSF();
}

LsqRun LsqDir::Run() const {
  RunResult r = dir.Run();
  return LsqRun{r.status, r.output};
}

void LsqDir::Poke(size_t at, std::initializer_list<uint8_t> bytes) const {
  std::string b = Store();
  for (uint8_t x : bytes) b[at++] = char(x);
  dir.Write("FIT.DSF", b);
}

void LsqDir::Truncate(size_t records) const {
  dir.Write("FIT.DSF", Store().substr(0, 128 * records));
}

void LsqDir::RemoveStore() const { std::remove(dir.dir().File("FIT.DSF").c_str()); }

namespace {

int32_t EntryRecord(const ProblemDir& dir, const std::string& path) {
  platform::ScriptedPrompts prompts;
  series::SeriesStore store;
  store.AttachDSFReadOnly(dir.dir().File("FIT"));
  bool failure;
  series::DSDirEntry e;
  store.FindDSFEntry(path, failure, e);
  return failure ? -1 : e.record;
}

}  // namespace

void LsqDir::LoopDSDir(const std::string& path) const {
  int32_t rec = EntryRecord(dir, path);
  std::string b = Store();
  platform::PutI32(b, size_t(rec) * 128, rec);
  dir.Write("FIT.DSF", b);
}

void LsqDir::BreakSeries(const std::string& path) const {
  int32_t rec = EntryRecord(dir, path);
  std::string b = Store();
  platform::PutI32(b, size_t(rec) * 128, 99999);
  dir.Write("FIT.DSF", b);
}

}  // namespace krv::rt
