// Casewright as a modeller runs it: its windows on a real display with a
// window manager, driven by real keys and clicks; what it writes read back
// through the problem-file library, what it says copied out of its boxes.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <string>
#include <vector>

#include "problem_editor/forms/TForm1.h"
#include "sequencer/prb_format.h"
#include "testing/form_places.h"
#include "testing/read_only_dir.h"
#include "testing/temp_dir.h"
#include "testing/x_clipboard.h"
#include "testing/x_session.h"

using namespace krv::testing;

namespace {

constexpr int kVariables = 12;  // more than a page of the grid
const char* const kBoxTitle = "Edit PRB";  // every message box

// Twelve IO variables TANK.L1 .. TANK.L12, each its own equation, as Sequist
// writes them: every value block empty.
std::string Problem() {
  krv::seq::PrbProblem p;
  p.header = krv::seq::MakeHeaderLine(">12-10-2026  9:30:16 P");
  for (int k = 0; k < kVariables; ++k) {
    krv::seq::PrbVariable v;
    v.kind = "IO";
    v.name = "TANK.L" + std::to_string(k + 1);
    p.variables.push_back(v);
    p.ordering.rowNames.push_back(uint16_t(k));
    p.ordering.columnNames.push_back(uint16_t(k));
    p.ordering.nonzeros.push_back({uint16_t(k + 1), uint16_t(k + 1)});
  }
  std::string bytes, error;
  krv::seq::WritePrb(p, bytes, error);
  return bytes;
}

class CasewrightWindows : public ::testing::Test {
 protected:
  void SetUp() override { dir_.Write("P.PRB", Problem()); }

  // Casewright started on P as Helmsman starts it: the problem path on its
  // command line, in the problem's directory.
  Window Start(bool unprivileged = false) {
    const std::string casewright = std::string(KRV_BIN_DIR) + "/Casewright";
    std::vector<std::string> args =
        unprivileged ? Unprivileged(casewright, {"P"}) : std::vector<std::string>{casewright, "P"};
    const std::string program = args.front();
    args.erase(args.begin());
    casewright_ = StartProgram(program, args, dir_.path());
    return x_.WaitForWindow("Casewright--P");
  }

  // "DisplayAdd(F4)" with the dialog's own range and mask: every variable,
  // then Home for the first page.
  void DisplayAll(Window main) {
    x_.Key(main, "F4");
    const Window select = x_.WaitForWindow("Variable Selection: (max 11)");
    x_.Key(select, "Return");
    x_.WaitUntilGone(select);
    x_.Key(main, "Home");
  }

  // Types `value` over the text of grid row `row`'s X in or Range edit,
  // then leaves it with Tab, as the modeller does.
  void TypeInto(Window main, const char* edit, int row, const std::string& value) {
    x_.Click(main, CenterOf(form_, edit + QString::number(row)));
    x_.Key(main, "ctrl+a");
    x_.Type(main, value);
    x_.Key(main, "Tab");
  }

  // Saves under the name the dialog offers (the problem's own).
  void SaveInPlace(Window main) {
    x_.Key(main, "alt+f");
    x_.Key(main, "s");
    const Window save = x_.WaitForWindow("Save as:");
    x_.Key(save, "Return");
    x_.WaitUntilGone(save);
  }

  // The message box in front: its text as a person copies it (a click
  // into the text, Ctrl+A, Ctrl+C), then answered with Return.
  std::string CopyMessage(const std::string& expected) {
    const Window box = x_.WaitForWindow(kBoxTitle);
    // Where the text starts: the same box offscreen.
    QMessageBox same(QMessageBox::Information, kBoxTitle, QString::fromStdString(expected));
    const Rect text = PlaceOf(same, "qt_msgbox_label");
    x_.Click(box, {text.x + 4, text.y + 6});
    x_.Key(box, "ctrl+a ctrl+c");
    const std::string said = ClipboardText(x_);
    x_.Key(box, "Return");
    x_.WaitUntilGone(box);
    return said;
  }

  QApplication& app_ = OffscreenApplication();  // before any form
  TempDir dir_;
  XSession x_;
  krv::pe::TForm1 form_;  // the same main window, offscreen: where its controls lie
  Program casewright_;
};

// Load, type values into the grid's cells (on the first page and after
// Page Down, one typed and taken back with Esc), mark two rows and set their
// X in at once, save: the file on disk holds exactly those values, and the
// previous version stays as the backup.
TEST_F(CasewrightWindows, LoadEditAndSave) {
  const Window main = Start();
  DisplayAll(main);
  TypeInto(main, "XINedit", 0, "2.5");  // TANK.L1
  TypeInto(main, "RangeEdit", 0, "4");
  x_.Key(main, "Page_Down");            // rows 9, 10, 11
  TypeInto(main, "XINedit", 1, "-3");   // TANK.L11
  x_.Click(main, CenterOf(form_, "XINedit2"));
  x_.Key(main, "ctrl+a");
  x_.Type(main, "999");
  x_.Key(main, "Escape Tab");           // TANK.L12 keeps its value

  x_.Key(main, "Home");
  x_.Key(main, "alt+e");
  x_.Key(main, "n");                    // Unmark All
  for (const char* mark : {"Mark1", "Mark3"}) x_.Click(main, CenterOf(form_, mark));
  x_.Key(main, "alt+e");
  x_.Key(main, "x");                    // Xin of the marked rows
  const Window value = x_.WaitForWindow("Enter/edit value");
  x_.Key(value, "ctrl+a");
  x_.Type(value, "7");
  x_.Key(value, "Return");
  x_.WaitUntilGone(value);

  SaveInPlace(main);
  ASSERT_TRUE(WaitUntil([&] { return dir_.Has("P.PBK") && dir_.Read("P.PRB") != Problem(); },
                        kWindowTimeout, "the saved P.PRB"));
  EXPECT_EQ(dir_.Read("P.PBK"), Problem());
  krv::seq::PrbProblem saved;
  krv::seq::PrbReadOptions solver;
  solver.rules = krv::seq::PrbRules::Solver;
  krv::seq::PrbReadResult read = krv::seq::ReadPrb(dir_.Read("P.PRB"), saved, solver);
  ASSERT_TRUE(read.ok) << read.error;
  krv::seq::PrbProblem original;
  krv::seq::ReadPrb(Problem(), original);
  EXPECT_EQ(saved.ordering, original.ordering);
  ASSERT_EQ(saved.variables.size(), size_t(kVariables));
  for (int k = 0; k < kVariables; ++k) {
    SCOPED_TRACE(saved.variables[size_t(k)].name);
    EXPECT_EQ(saved.variables[size_t(k)].name, original.variables[size_t(k)].name);
    const double xin = k == 0 ? 2.5 : k == 1 || k == 3 ? 7 : k == 10 ? -3 : 0;
    EXPECT_EQ(saved.variables[size_t(k)].block.XIn(), xin);
    EXPECT_EQ(saved.variables[size_t(k)].block.Range(), k == 0 ? 4.0f : 0.0f);
  }

  // Saved, it closes without a question.
  x_.Key(main, "alt+f");
  x_.Key(main, "q");
  EXPECT_EQ(casewright_.WaitForExit(kWindowTimeout), 0);
}

// "Open PRB transfer window": the transfer window's frame, title bar and
// all, at the top of the screen and the main window's right below it, no
// frame over another; closed, the main window goes back to its place.
TEST_F(CasewrightWindows, TheTransferWindowOpensAboveTheMainWindowWithItsTitleBarShown) {
  const Window main = Start();
  const Rect before = x_.Frame(main);
  EXPECT_EQ(before.y, 0);
  x_.Key(main, "alt+m");
  x_.Key(main, "o");
  const Window merge = x_.WaitForWindow("Merge");
  Rect top, below;
  ASSERT_TRUE(WaitUntil(
      [&] {
        top = x_.Frame(merge);
        below = x_.Frame(main);
        return top.y == 0 && below.y == top.y + top.height;
      },
      kWindowTimeout, "the transfer window's frame at the top, the main window's below it"));
  EXPECT_GT(x_.ClientArea(merge).y, top.y);  // the title bar lies on the screen
  x_.Activate(merge);
  x_.Key(merge, "alt+F4");
  x_.WaitUntilGone(merge);
  EXPECT_TRUE(WaitUntil([&] { return x_.Frame(main) == before; }, kWindowTimeout,
                        "the main window back in its place"));
}

// A save into a directory that cannot be written says so in one box naming
// the problem file, the file that could not be written and the system's
// reason, and leaves the problem file as it was; so does a save under
// another name into a directory nobody may write.
TEST_F(CasewrightWindows, ASaveThatCannotBeWrittenSaysWhichFileAndWhy) {
  ReadOnlyDir readOnly(dir_.path());
  ASSERT_TRUE(readOnly.Works());
  const Window main = Start(true);
  DisplayAll(main);
  TypeInto(main, "XINedit", 0, "5");
  SaveInPlace(main);
  const std::string inPlace = "Cannot save P.PRB: its new version P.PNW could not be written: Permission denied";
  EXPECT_EQ(CopyMessage(inPlace), inPlace);

  x_.Key(main, "alt+f");
  x_.Key(main, "s");
  const Window save = x_.WaitForWindow("Save as:");
  x_.Key(save, "ctrl+a");
  x_.Type(save, "/sys/Q.PRB");
  x_.Key(save, "Return");
  const std::string elsewhere = "Cannot save /sys/Q.PRB: Permission denied";
  EXPECT_EQ(CopyMessage(elsewhere), elsewhere);

  EXPECT_EQ(dir_.Read("P.PRB"), Problem());
  EXPECT_EQ(dir_.Names(), std::vector<std::string>{"P.PRB"});
  EXPECT_TRUE(casewright_.Running());  // nothing lost: the values are still there to save
}

}  // namespace
