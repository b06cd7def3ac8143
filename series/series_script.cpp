// series_script: drives the series store one command a line, from the file
// named by its argument or from standard input, and prints what each
// command showed and did. Blank lines and lines starting with "#" are
// skipped; the last argument of a command takes the rest of its line.
//
// Each command clears FailureFlag, runs, and prints "MSG text" for each
// message and "ASK text" for each question (answered from the queue that
// "answer yes|no" fills, No when it is empty), then its own lines, then
// "FLAG 0|1"; output is flushed after every command. The environment
// variable KRV_SERIES_NOW ("YYYY-MM-DD HH:MM") fixes the clock. After
// "display on" the worksheet's hooks print as they are called (CLEAR c,
// SHOW c, HEADERS, "ROWUSE shown"); "sel FIRST LAST" selects the columns
// that the text tables read into and write.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/user_prompts.h"
#include "series/series_arithmetic.h"
#include "series/series_store.h"
#include "series/worksheet_io.h"

using namespace krv;
using series::ColumnSlot;
using series::SeriesStore;

namespace {

std::vector<std::string> g_out;  // lines of the current command, in order

class ScriptPrompts : public platform::UserPrompts {
 public:
  void ShowMessage(const std::string& text) override { g_out.push_back("MSG " + text); }
  platform::Answer Ask(const std::string& text, bool withCancel) override {
    g_out.push_back("ASK " + text);
    if (answers.empty()) return withCancel ? platform::Answer::Cancel : platform::Answer::No;
    platform::Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  std::optional<std::string> OpenFileName(const platform::FileDialogSpec&) override { return {}; }
  std::optional<std::string> SaveFileName(const platform::FileDialogSpec&) override { return {}; }
  std::optional<std::string> ChooseDirectory(const std::string&, const std::string&) override {
    return {};
  }
  void Beep() override {}
  std::deque<platform::Answer> answers;
};

// Prints the worksheet's hooks as they are called, once "display on".
class ScriptDisplay : public series::ColumnDisplay {
 public:
  void ClearColumnDisplay(int column) override {
    g_out.push_back("CLEAR " + platform::IntToString(column));
  }
  void ShowColumn(int column) override { g_out.push_back("SHOW " + platform::IntToString(column)); }
  void RefreshColumnHeaders() override { g_out.push_back("HEADERS"); }
  void ShowRowUseLimits() override { g_out.push_back("ROWUSE shown"); }
};

std::string Value(float v) {
  if (series::IsMissing(v)) return "missing";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.9g", double(v));
  return buf;
}

// The words of a line: `fixed` words split at blanks, then the rest of the
// line (after one blank) as the last.
struct Args {
  std::vector<std::string> words;
  std::string rest;
  bool hasRest = false;
};

Args Split(const std::string& line, int fixed) {
  Args a;
  size_t i = 0;
  for (int k = 0; k < fixed; ++k) {
    i = line.find_first_not_of(' ', i);
    if (i == std::string::npos) return a;
    size_t e = line.find(' ', i);
    a.words.push_back(line.substr(i, e == std::string::npos ? std::string::npos : e - i));
    i = e;
    if (i == std::string::npos) return a;
  }
  if (i < line.size()) {
    a.rest = line.substr(i + 1);
    a.hasRest = true;
  }
  return a;
}

class Driver {
 public:
  Driver() { platform::SetPrompts(&prompts_); }
  ~Driver() { platform::SetPrompts(nullptr); }

  void Run(const std::string& line);
  SeriesStore store;

 private:
  bool Slot(const std::string& word, ColumnSlot*& slot);
  bool Index(const std::string& word, int16_t& index);
  bool Real(const std::string& word, double& v);
  bool Op(const std::string& word, char& op);
  void Dump(ColumnSlot& slot);
  void Error(const std::string& text) { g_out.push_back("ERROR " + text); }
  int ColumnOf(const ColumnSlot* s) const {
    if (!s) return -1;
    const ColumnSlot* t = store.ColumnSlots.data();
    return s >= t && s < t + series::kColumnCount ? int(s - t) : -1;
  }
  void PrintTree(const series::TreeNode& n, int depth) {
    g_out.push_back("NODE " + platform::IntToString(depth) + " " + n.caption);
    for (const series::TreeNode& c : n.children) PrintTree(c, depth + 1);
  }

  ScriptPrompts prompts_;
  ScriptDisplay display_;
  int firstSelCol_ = 0, lastSelCol_ = 0;  // the worksheet's selected columns
};

bool Driver::Slot(const std::string& word, ColumnSlot*& slot) {
  auto n = platform::ParseInt(word);
  if (!n || *n < 0 || *n >= series::kColumnCount) {
    Error("no column " + word);
    return false;
  }
  slot = &store.ColumnSlots[size_t(*n)];
  return true;
}

bool Driver::Index(const std::string& word, int16_t& index) {
  auto n = platform::ParseInt(word);
  if (!n || *n < INT16_MIN || *n > INT16_MAX) {
    Error("no index " + word);
    return false;
  }
  index = int16_t(*n);
  return true;
}

bool Driver::Real(const std::string& word, double& v) {
  if (word == "missing") {
    v = double(series::MissingValue);
    return true;
  }
  char* end = nullptr;
  v = std::strtod(word.c_str(), &end);
  if (word.empty() || *end != '\0') {
    Error("not a number " + word);
    return false;
  }
  return true;
}

bool Driver::Op(const std::string& word, char& op) {
  if (word.size() != 1) {
    Error("not an operation letter " + word);
    return false;
  }
  op = word[0];
  return true;
}

void Driver::Dump(ColumnSlot& slot) {
  if (!slot.IsOpen()) {
    g_out.push_back("SERIES free");
    return;
  }
  const series::SeriesHeader& h = slot.Header();
  int lo = h.Empty() ? 0 : h.base + h.firstOffset;
  int hi = h.Empty() ? -1 : h.highest;
  using platform::IntToString;
  g_out.push_back("SERIES lo=" + IntToString(lo) + " hi=" + IntToString(hi) +
                  " base=" + IntToString(h.base) + " off=" + IntToString(h.firstOffset) +
                  " blocks=" + IntToString(slot.BlockCount()) +
                  " head=" + IntToString(slot.Descriptor().headRecord) +
                  " x=" + IntToString(ColumnOf(slot.xSlot)) +
                  " modified=" + IntToString(slot.modified) +
                  " notsaved=" + IntToString(slot.notSaved) + " path=" + slot.Descriptor().path);
  g_out.push_back("COMMENT " + h.comment);
  for (int i = lo; i <= hi; ++i)
    g_out.push_back("V " + IntToString(i) + " " + Value(slot.Cells()[size_t(i - h.base)]));
}

void Driver::Run(const std::string& line) {
  store.FailureFlag = false;
  std::string cmd = Split(line, 1).words.at(0);
  auto one = [&] { return Split(line, 1).rest; };
  auto two = [&](std::string& a, std::string& b) {
    Args x = Split(line, 2);
    if (x.words.size() < 2) {
      Error("missing argument");
      return false;
    }
    a = x.words[1];
    b = x.rest;
    return true;
  };
  auto three = [&](std::string& a, std::string& b, std::string& c) {
    Args x = Split(line, 3);
    if (x.words.size() < 3) {
      Error("missing argument");
      return false;
    }
    a = x.words[1];
    b = x.words[2];
    c = x.rest;
    return true;
  };
  std::string a, b, c;
  ColumnSlot* s = nullptr;
  ColumnSlot* t = nullptr;
  int16_t i = 0;

  if (cmd == "create") {
    store.CreateDSF(one());
  } else if (cmd == "attach") {
    store.AttachDSF(one());
  } else if (cmd == "attachro") {
    store.AttachDSFReadOnly(one());
  } else if (cmd == "close") {
    store.CloseDSF();
  } else if (cmd == "mkdir") {
    store.MakeDSDir(one());
  } else if (cmd == "cd") {
    store.SetCurrentDSDir(one());
  } else if (cmd == "save" || cmd == "open" || cmd == "load") {
    if (!two(a, b) || !Slot(a, s)) return;
    if (cmd == "save")
      store.SaveSeries(*s, b);
    else if (cmd == "open")
      store.OpenSeries(*s, b);
    else
      store.LoadSeriesToColumns(store.ColumnSlots.data(), int(s - store.ColumnSlots.data()), b);
  } else if (cmd == "replace") {
    store.ReplaceSeriesInDSF(one());
  } else if (cmd == "erase") {
    store.EraseSeries(one());
  } else if (cmd == "rmdir") {
    store.DeleteDSDir(one());
  } else if (cmd == "setx") {
    if (two(a, b)) store.SetXSeries(a, b);
  } else if (cmd == "unsetx") {
    store.SetXSeries("", one());
  } else if (cmd == "details") {
    store.ListSeriesDetails(one());
  } else if (cmd == "names") {
    store.ListDSFNames(one());
  } else if (cmd == "tree") {
    store.ListDSFTree();
  } else if (cmd == "combo" || cmd == "dircombo") {
    store.PickerList.clear();
    if (cmd == "combo")
      store.FillSeriesCombo(one());
    else
      store.FillDSDirCombo(one());
    for (const std::string& item : store.PickerList) g_out.push_back("ITEM " + item);
  } else if (cmd == "find") {
    bool failure;
    series::DSDirEntry e;
    store.FindDSFEntry(one(), failure, e);
    store.FailureFlag = store.FailureFlag || failure;
    if (e.Used())
      g_out.push_back("ENTRY " + platform::IntToString(e.record) + " " +
                      platform::IntToString(e.kind) + " " + e.name);
    else
      g_out.push_back("ENTRY -1");
  } else if (cmd == "treeview") {
    store.ShowDSFTree(one() == "1");
    if (!store.FailureFlag) PrintTree(store.Tree, 0);
  } else if (cmd == "log") {
    for (const std::string& l : store.Log.Lines()) g_out.push_back("LOG " + l);
    store.Log.Reset();
  } else if (cmd == "get") {
    if (!two(a, b) || !Slot(a, s) || !Index(b, i)) return;
    g_out.push_back("VAL " + Value(store.GetVal(*s, i)));
  } else if (cmd == "delend") {
    if (!two(a, b) || !Slot(a, s) || !Index(b, i)) return;
    g_out.push_back(std::string("RESULT ") + (store.DeleteEndValue(*s, i) ? "1" : "0"));
  } else if (cmd == "rowuse") {
    Args x = Split(line, 3);
    if (x.words.size() == 1) {
      g_out.push_back("ROWUSE " + platform::IntToString(store.RowUseLow) + " " +
                      platform::IntToString(store.RowUseHigh));
    } else if (x.words.size() == 3 && Index(x.words[1], i)) {
      int16_t hi;
      if (!Index(x.words[2], hi)) return;
      store.RowUseLow = i;
      store.RowUseHigh = hi;
    } else if (x.words.size() != 3) {
      Error("rowuse takes none or two indices");
    }
  } else if (cmd == "dump") {
    if (Slot(one(), s)) Dump(*s);
  } else if (cmd == "new") {
    Args x = Split(line, 2);
    if (x.words.size() < 2 || !Slot(x.words[1], s)) return;
    store.FreeSeries(*s);
    store.NewSeries(*s, false, x.rest);
  } else if (cmd == "put") {
    double v;
    if (!three(a, b, c) || !Slot(a, s) || !Index(b, i) || !Real(c, v)) return;
    if (!s->IsOpen()) store.NewSeries(*s, false, "");
    store.PutVal(*s, i, v);
  } else if (cmd == "free") {
    if (Slot(one(), s)) store.FreeSeries(*s);
  } else if (cmd == "name") {
    if (!two(a, b) || !Slot(a, s)) return;
    if (!s->IsOpen()) {
      Error("column " + a + " is free");
      return;
    }
    s->Descriptor().path = b;
  } else if (cmd == "copy" || cmd == "move") {
    if (!two(a, b) || !Slot(a, t) || !Slot(b, s)) return;
    if (cmd == "copy")
      store.CopySeries(*t, *s);
    else
      store.MoveSeries(*t, *s);
  } else if (cmd == "unary" || cmd == "const" || cmd == "binary" || cmd == "modbin" ||
             cmd == "modun") {
    // L T S [K|B]: the letter, the target column, then the sources.
    int words = cmd == "modun" ? 3 : cmd == "unary" || cmd == "modbin" ? 4 : 5;
    Args x = Split(line, words - 1);
    std::vector<std::string> w = x.words;
    if (x.hasRest) w.push_back(x.rest);
    char op;
    if (int(w.size()) != words) {
      Error("missing argument");
      return;
    }
    if (!Op(w[1], op) || !Slot(w[2], t)) return;
    if (cmd == "modun") {
      series::ModifyUnary(store, op, *t);
      return;
    }
    if (!Slot(w[3], s)) return;
    if (cmd == "unary") {
      series::UnaryCalcs(store, op, *t, *s);
    } else if (cmd == "modbin") {
      series::ModifyBinary(store, op, *t, *s);
    } else if (cmd == "const") {
      double k;
      if (Real(w[4], k)) series::ConstCalcs(store, op, *t, *s, k);
    } else {
      ColumnSlot* s2 = nullptr;
      if (Slot(w[4], s2)) series::BinaryCalcs(store, op, *t, *s, *s2);
    }
  } else if (cmd == "index") {
    if (Slot(one(), s)) series::MakeIndexSeries(store, *s);
  } else if (cmd == "diff") {
    double start, step;
    if (three(a, b, c) && Slot(a, s) && Real(b, start) && Real(c, step))
      series::MakeDifferenceSeries(store, *s, start, step);
  } else if (cmd == "fill") {
    double v;
    if (two(a, b) && Slot(a, s) && Real(b, v)) series::FillSeriesConstant(store, *s, v);
  } else if (cmd == "sel") {
    if (!two(a, b) || !Slot(a, s) || !Slot(b, t)) return;
    firstSelCol_ = ColumnOf(s);
    lastSelCol_ = ColumnOf(t);
  } else if (cmd == "readwks") {
    series::ReadWKSFile(store, one());
  } else if (cmd == "writewks") {
    series::WriteWKSFile(store, one());
  } else if (cmd == "readtxt") {
    series::ReadTXTTable(store, one(), firstSelCol_);
  } else if (cmd == "writetxt") {
    if (!two(a, b)) return;
    if (b != "0" && b != "1") {
      Error("names 0 or 1, not " + b);
      return;
    }
    series::WriteTXTTable(store, a, b == "1", firstSelCol_, lastSelCol_);
  } else if (cmd == "inuse") {
    if (Slot(one(), s)) g_out.push_back(std::string("INUSE ") + (series::ColumnInUse(store, ColumnOf(s)) ? "1" : "0"));
  } else if (cmd == "display") {
    store.Display = one() == "on" ? &display_ : nullptr;
  } else if (cmd == "messages") {
    store.MessagesOn = one() == "on";
  } else if (cmd == "answer") {
    prompts_.answers.push_back(one() == "yes" ? platform::Answer::Yes : platform::Answer::No);
  } else {
    Error("unknown command " + cmd);
  }
}

std::time_t FixedNow(const char* text) {
  std::tm tm{};
  if (std::sscanf(text, "%d-%d-%d %d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                  &tm.tm_min) != 5)
    return std::time(nullptr);
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

}  // namespace

int main(int argc, char** argv) {
  std::ifstream file;
  if (argc > 1) {
    file.open(argv[1], std::ios::binary);
    if (!file) {
      std::fprintf(stderr, "series_script: cannot read %s\n", argv[1]);
      return 2;
    }
  }
  std::istream& in = argc > 1 ? static_cast<std::istream&>(file) : std::cin;
  Driver driver;
  if (const char* now = std::getenv("KRV_SERIES_NOW")) {
    std::time_t t = FixedNow(now);
    driver.store.Now = [t] { return t; };
  }
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(' ') == std::string::npos || line[0] == '#') continue;
    g_out.clear();
    driver.Run(line);
    for (const std::string& l : g_out) std::cout << l << '\n';
    std::cout << "FLAG " << (driver.store.FailureFlag ? 1 : 0) << '\n' << std::flush;
  }
  return 0;
}
