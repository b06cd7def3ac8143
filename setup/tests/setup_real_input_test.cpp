// setup as a person runs it: its windows on a real display with a window
// manager, answered by keys (and a click where a person clicks), installing
// an unpacked package in a temporary directory; the result checked on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/file_query.h"
#include "setup/forms/Unit0.h"
#include "setup/forms/Unit1.h"
#include "setup/fpc_path_file.h"
#include "setup/install_list.h"
#include "testing/form_places.h"
#include "testing/temp_dir.h"
#include "testing/x_session.h"
#include "fake_package.h"

namespace fs = std::filesystem;
using namespace krv::testing;
using krv::setup::FakePackage;

namespace {

const char* const kMainTitle = "Kravenor Setup";
const char* const kReadmeTitle = "Setup for Kravenor";
const char* const kFpcTitle = "Telling Kravenor where Free Pascal is installed";
// Message boxes and questions carry the program's name.
const char* const kBoxTitle = "setup";

// Answers the message box or question in front with `keys` and waits until it has gone.
void Answer(XSession& x, const std::string& keys) {
  Window box = x.WaitForWindow(kBoxTitle);
  x.Key(box, keys);
  x.WaitUntilGone(box);
}

// The pixels of `area` of `w` once they stay the same from one look to the next.
std::string Settled(XSession& x, Window w, Rect area) {
  std::string last = x.Pixels(w, area);
  EXPECT_TRUE(WaitUntil(
      [&] {
        std::string now = x.Pixels(w, area);
        bool same = now == last;
        last = now;
        return same;
      },
      kWindowTimeout, "the window to settle"));
  return last;
}

// setup started in a fake package (every listed file a few bytes of its own)
// with the setup of this build.
class SetupWindows : public ::testing::Test {
 protected:
  void Start() {
    fs::copy_file(std::string(KRV_BIN_DIR) + "/setup", package_.main + "/setup");
    setup_ = StartProgram(package_.main + "/setup", {}, package_.main);
    main_ = x_.WaitForWindow(kMainTitle);
  }

  QApplication& app_ = OffscreenApplication();
  XSession x_;
  FakePackage package_;
  Program setup_;
  Window main_;
};

struct FirstKeys {
  const char* name;
  const char* keys;
  bool continues;  // on to the README window; otherwise setup ends, nothing moved
  friend void PrintTo(const FirstKeys& k, std::ostream* out) { *out << k.name; }
};

class SetupFirstKeys : public SetupWindows, public ::testing::WithParamInterface<FirstKeys> {};

}  // namespace

// Return presses the button that has the focus: "Continue with Installation"
// at first, "Cancel" after Tab.
TEST_P(SetupFirstKeys, ReturnPressesTheFocusedButtonOfTheMainWindow) {
  Start();
  const auto before = package_.Tree();
  x_.Key(main_, GetParam().keys);
  if (GetParam().continues) {
    x_.WaitForWindow(kReadmeTitle);
    EXPECT_EQ(package_.Read("PGM/Helmsman"), "bytes of Helmsman");
  } else {
    EXPECT_EQ(setup_.WaitForExit(kWindowTimeout), 0);
    EXPECT_EQ(package_.Tree(), before);
  }
}

INSTANTIATE_TEST_SUITE_P(Keys, SetupFirstKeys,
                         ::testing::Values(FirstKeys{"Continue", "Return", true},
                                           FirstKeys{"Cancel", "Tab Return", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// A line longer than the pane stays one line: the pane scrolls sideways,
// by keys once Tab has reached it.
TEST_F(SetupWindows, TheReadmeKeepsItsLinesAsWrittenAndScrollsSideways) {
  std::string longLine;
  for (int i = 0; i < 12; ++i) longLine += "a long line of the readme, ";
  package_.Write("README.txt", "Kravenor\n" + longLine + "END\nshort\n");
  Start();
  x_.Key(main_, "space");
  const Window readme = x_.WaitForWindow(kReadmeTitle);
  TForm1 form(package_.main);
  const Rect memo = PlaceOf(form, "Memo1");
  // The text, clear of the frame and the scroll bars.
  const Rect text{memo.x + 6, memo.y + 6, memo.width - 40, memo.height - 40};
  x_.Key(readme, "Tab Tab");  // past "Close" to the text
  const std::string before = Settled(x_, readme, text);
  x_.Key(readme, "Right Right Right Right Right");
  EXPECT_TRUE(WaitUntil([&] { return x_.Pixels(readme, text) != before; }, kWindowTimeout,
                        "the README to scroll sideways"));
}

// Escape in the Free Pascal window is its Cancel: the placeholder is written
// and the note says to edit Helmsman.txt.
TEST_F(SetupWindows, EscapeInTheFreePascalWindowIsCancel) {
  Start();
  x_.Key(main_, "space");
  const Window readme = x_.WaitForWindow(kReadmeTitle);
  x_.Key(readme, "Escape");  // Close: no desktop entry
  x_.WaitUntilGone(readme);
  const Window fpc = x_.WaitForWindow(kFpcTitle);
  x_.Key(fpc, "Escape");
  EXPECT_TRUE(WaitUntil(
      [&] { return package_.Read("PGM/Helmsman.TXT") == "xxxxxxxxxx\r\n-O2\r\n -vew\r\n"; }, kWindowTimeout,
      "the placeholder in PGM/Helmsman.TXT"));
  Answer(x_, "Return");  // the note
  Answer(x_, "alt+n");   // no examples
  Answer(x_, "Return");  // "Finished"
  EXPECT_EQ(setup_.WaitForExit(kWindowTimeout), 0);
  EXPECT_FALSE(fs::exists(x_.Home() + "/Desktop/Helmsman.desktop"));
  for (const auto& d : krv::setup::ExampleDirs()) EXPECT_FALSE(fs::exists(package_.main + "/" + d.dir));
}

#ifdef KRV_PACKAGE_DIR
// The built package, installed as its README says: Continue, Create Icon,
// Select the Free Pascal base directory, Yes to the examples.
TEST(SetupProgram, InstallsTheUnpackedPackageAsItsReadmeSays) {
  OffscreenApplication();
  XSession x;
  TempDir root;
  const std::string main = root.path() + "/Kra venor";
  fs::copy(KRV_PACKAGE_DIR, main, fs::copy_options::recursive);
  Program setup = StartProgram(main + "/setup", {}, main);

  const Window first = x.WaitForWindow(kMainTitle);
  TForm0 form0(main);
  x.Click(first, CenterOf(form0, "Button1"));  // "Continue with Installation"
  const Window readme = x.WaitForWindow(kReadmeTitle);
  x.Key(readme, "Return");  // "Create Icon" has the focus
  Answer(x, "Return");      // "Icon created"
  const Window fpc = x.WaitForWindow(kFpcTitle);
  x.Key(fpc, "Return");  // "Select", the default button
  const Window chooser = x.WaitForWindow("Find Directory");
  x.Type(chooser, KRV_FPC_DIR);  // /usr on Debian
  x.Key(chooser, "Return");
  Answer(x, "Return");  // "Free Pascal Found"
  Answer(x, "alt+y");   // "Install Example Problems?"
  Answer(x, "Return");  // "Finished"
  EXPECT_EQ(setup.WaitForExit(kWindowTimeout), 0);

  std::string options;
  {
    std::ifstream in(main + "/options.txt", std::ios::binary);
    options.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::ifstream config(main + "/PGM/Helmsman.TXT", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(config), {}),
            krv::setup::FpcPathFileText(KRV_FPC_DIR, options));
  for (const auto& f : krv::setup::ProgramFiles()) {
    EXPECT_TRUE(fs::exists(main + "/PGM/" + f)) << f;
    EXPECT_FALSE(fs::exists(main + "/" + f)) << f;
  }
  for (const auto& f : krv::setup::UnitFiles()) EXPECT_TRUE(fs::exists(main + "/PGM/units/" + f)) << f;
  for (const auto& d : krv::setup::ExampleDirs())
    for (const auto& f : d.files) EXPECT_TRUE(fs::exists(main + "/" + d.dir + "/" + f)) << d.dir << "/" << f;

  const std::string entry = x.Home() + "/Desktop/Helmsman.desktop";
  std::ifstream in(entry);
  const std::string text(std::istreambuf_iterator<char>(in), {});
  EXPECT_NE(text.find("Exec=\"" + main + "/PGM/Helmsman\""), std::string::npos) << text;
  Program validate =
      StartProgram(krv::platform::FindOnPath("desktop-file-validate"), {entry}, root.path());
  EXPECT_EQ(validate.WaitForExit(kWindowTimeout), 0);
}
#endif
