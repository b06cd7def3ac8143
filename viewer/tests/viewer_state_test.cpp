// Attaching trajectories, the time table, the current step, the texts of
// the display lines and time labels, plot slots and captions, and the keys.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>

#include "platform/little_endian.h"
#include "platform/user_prompts.h"
#include "preprocessor/vnm_reader.h"
#include "testing/failing_calls.h"
#include "testing/temp_dir.h"
#include "viewer/tests/ttr_fixture.h"
#include "viewer/viewer_state.h"

namespace krv::view {

using platform::PutI16;
using platform::PutI32;

namespace {

using krv::testing::TempDir;
using testing::MakeTTRBytes;
using testing::MakeVNM;
using testing::TTRSpec;

const char* const kLabel = ">12-10-2026 10: 5:29 CASE1";

struct Fixture {
  TempDir dir;
  platform::ScriptedPrompts prompts;
  ViewerState viewer;

  void Files(const TTRSpec& desc, const std::string& ttrName = "CASE1.TTR") {
    dir.Write(ttrName, MakeTTRBytes(desc));
    dir.Write("CASE1.VNM", MakeVNM(desc.label, desc.d));
  }
  AttachStatus Attach(const std::string& name = "CASE1.TTR") {
    return viewer.Attach(dir.File(name));
  }
};

TEST(AttachTest, AttachesEveryMarkAndLoadsTheTimeTable) {
  for (int16_t mark : {kMarkPacked, kMarkSplit, kMarkSplit32}) {
    Fixture f;
    TTRSpec desc;
    desc.mark = mark;
    desc.d = 13;
    desc.jtmax = 4;
    f.Files(desc);
    ASSERT_EQ(f.Attach(), AttachStatus::Attached) << mark;
    EXPECT_TRUE(f.prompts.messages.empty());
    EXPECT_EQ(f.viewer.TTRPath(), f.dir.File("CASE1"));
    EXPECT_EQ(f.viewer.RootName(), "CASE1");
    EXPECT_EQ(f.viewer.VNMBase(), "CASE1");
    EXPECT_EQ(f.viewer.D(), 13);
    EXPECT_EQ(f.viewer.JTmax(), 4);
    EXPECT_EQ(f.viewer.Is30995(), mark == kMarkPacked);
    EXPECT_EQ(f.viewer.TimeTable(), (std::vector<double>{0, 0.5, 1, 1.5, 2}));
    EXPECT_EQ(f.viewer.Entries()[13].name, "_X.V13");
    EXPECT_EQ(f.viewer.CurrentJT(), 0);
    EXPECT_EQ(f.viewer.CurrentValues()[13], 13.0f);
    EXPECT_EQ(f.viewer.selectFirst, 0);
    EXPECT_EQ(f.viewer.selectLast, 13);
    EXPECT_EQ(f.viewer.Range().hi, 4);
  }
}

TEST(AttachTest, DisplayLinesShowCodeValueAndName) {
  Fixture f;
  TTRSpec desc;
  desc.d = 2;
  desc.jtmax = 3;
  desc.value = [](int32_t jt, int i) { return i == 0 ? 505.0f + float(jt) : -0.5f * float(i); };
  desc.time = [](int32_t jt) { return 1234.5 * jt; };
  f.dir.Write("CASE1.TTR", MakeTTRBytes(desc));
  f.dir.Write("CASE1.VNM", std::string(kLabel) +
                               "\r\n   0 IO  _X.A.B_C[2]\r\n   1 CO  _X.Q\r\n   2 *O  _X.R\r\n");
  ASSERT_EQ(f.Attach(), AttachStatus::Attached);
  for (int line = 0; line < kDisplayLines; ++line) {
    EXPECT_EQ(f.viewer.DisplayLineText(line), " ");
    EXPECT_EQ(f.viewer.ButtonText(line), " ");
  }
  f.viewer.AddToDisplayList(0);
  f.viewer.AddToDisplayList(2);
  f.viewer.AddToDisplayList(0);
  EXPECT_EQ(f.viewer.DisplayLineText(0), "   0 IO  5.050000E+02 _X.A.B[2]_C");
  EXPECT_EQ(f.viewer.DisplayLineText(1), "   2 *O -1.000000E+00 _X.R");
  EXPECT_EQ(f.viewer.DisplayLineText(3), " ");
  f.viewer.PlottedMarks()[2] = 1;
  EXPECT_EQ(f.viewer.ButtonText(1), "x");
  EXPECT_EQ(f.viewer.ButtonText(2), " ");

  ASSERT_TRUE(f.viewer.GoToTimeStep(3));
  EXPECT_EQ(f.viewer.DisplayLineText(2), "   0 IO  5.080000E+02 _X.A.B[2]_C");
  EXPECT_EQ(f.viewer.TimeLabelText(), "_T = 3703.500000");
  EXPECT_EQ(f.viewer.AtText(), "at _JT=3");
  EXPECT_EQ(f.viewer.LowTimeText(), "Low _T =    0.000000");
  EXPECT_EQ(f.viewer.LowAtText(), "at _JT=0");
  EXPECT_EQ(f.viewer.HighTimeText(), "Hi _T = 3703.500000");
  EXPECT_EQ(f.viewer.HighAtText(), "at _JT=3");
}

TEST(FixedTimeTextTest, WidthTwelveSixDecimalsCutToFifteen) {
  EXPECT_EQ(FixedTimeText(0), "    0.000000");
  EXPECT_EQ(FixedTimeText(-2.25), "   -2.250000");
  EXPECT_EQ(FixedTimeText(1e9), "1000000000.0000");
  EXPECT_EQ(FixedTimeText(1e300).size(), 15u);
}

TEST(AttachTest, ChosenNameAndExtensionSpelling) {
  Fixture f;
  TTRSpec desc;
  f.Files(desc, "CASE1.ttr");
  ASSERT_EQ(f.Attach("CASE1.ttr"), AttachStatus::Attached);
  EXPECT_EQ(f.viewer.TTRPath(), f.dir.File("CASE1"));

  // Another mix of letter cases stays in the path and fails.
  Fixture g;
  g.Files(desc, "CASE2.Ttr");
  EXPECT_EQ(g.Attach("CASE2.Ttr"), AttachStatus::Failed);
  EXPECT_EQ(g.prompts.messages, std::vector<std::string>{
                                    "No file\n" + g.dir.File("CASE2.Ttr.TTR") +
                                    ": No such file or directory"});
  EXPECT_FALSE(g.viewer.IsAttached());
}

TEST(AttachTest, TheChosenFileIsOpenedEvenBesideAnotherSpelling) {
  Fixture f;
  TTRSpec a, b;
  b.d = 5;
  f.Files(a, "X.TTR");
  f.dir.Write("X.ttr", MakeTTRBytes(b));
  f.dir.Write("CASE1.VNM", MakeVNM(a.label, 5));
  ASSERT_EQ(f.Attach("X.ttr"), AttachStatus::Attached);
  EXPECT_EQ(f.viewer.D(), 5);
}

TEST(AttachTest, RefusedFilesLeaveNothingAttached) {
  using Damage = std::function<void(std::string&)>;
  auto none = [](std::string&) {};
  struct Case {
    const char* what;
    int16_t mark;
    int32_t jtmax;
    Damage damage;
    AttachStatus status;
    const char* message;
  } cases[] = {
      {"old mark", 30000, 2, none, AttachStatus::EndProgram, "OLD TTR FILE FORMAT, MUST CONVERT"},
      {"negative JTmax", kMarkPacked, -1, none, AttachStatus::Failed, "File empty or damaged"},
      {"no records", kMarkSplit, 2, [](std::string& b) { b.resize(64); }, AttachStatus::Failed,
       "File empty or damaged"},
      {"short header", kMarkPacked, 2, [](std::string& b) { b.resize(40); },
       AttachStatus::Failed, "File empty or damaged"},
      {"empty file", kMarkPacked, 2, [](std::string& b) { b.clear(); }, AttachStatus::Failed,
       "File empty or damaged"},
      {"negative D", kMarkPacked, 2, [](std::string& b) { PutI16(b, 2, -1); },
       AttachStatus::Failed, "File empty or damaged"},
  };
  for (const Case& c : cases) {
    Fixture f;
    TTRSpec desc;
    desc.mark = c.mark;
    desc.jtmax = c.jtmax;
    std::string bytes = MakeTTRBytes(desc);
    c.damage(bytes);
    f.dir.Write("CASE1.TTR", bytes);
    f.dir.Write("CASE1.VNM", MakeVNM(desc.label, 3));
    EXPECT_EQ(f.Attach(), c.status) << c.what;
    EXPECT_EQ(f.prompts.messages, std::vector<std::string>{c.message}) << c.what;
    EXPECT_FALSE(f.viewer.IsAttached()) << c.what;
    EXPECT_FALSE(f.viewer.GoToTimeStep(0)) << c.what;
  }
}

TEST(AttachTest, TooManyVariablesAreRefused) {
  Fixture f;
  TTRSpec desc;
  desc.d = 11000;
  desc.jtmax = 0;
  f.Files(desc);
  EXPECT_EQ(f.Attach(), AttachStatus::Failed);
  ASSERT_EQ(f.prompts.messages.size(), 1u);
  EXPECT_NE(f.prompts.messages[0].find("Too many variables"), std::string::npos);
  EXPECT_FALSE(f.viewer.IsAttached());
}

TEST(AttachTest, MissingVNMIsRefused) {
  Fixture f;
  TTRSpec desc;
  f.dir.Write("CASE1.TTR", MakeTTRBytes(desc));
  EXPECT_EQ(f.Attach(), AttachStatus::Failed);
  EXPECT_EQ(f.prompts.messages,
            std::vector<std::string>{"Error -- No VNM file present\n" + f.dir.File("CASE1.VNM") +
                                     ": No such file or directory"});
  EXPECT_FALSE(f.viewer.IsAttached());
}

TEST(AttachTest, AMapLargerThanAMapCanBeIsRefusedUnread) {
  Fixture f;
  TTRSpec desc;
  f.Files(desc);
  f.dir.WriteSparse("CASE1.VNM", krv::pp::kMaxVariableMapBytes + 1);
  EXPECT_EQ(f.Attach(), AttachStatus::Failed);
  EXPECT_EQ(f.prompts.messages,
            std::vector<std::string>{krv::pp::MapTooLargeMessage(f.dir.File("CASE1.VNM"))});
  EXPECT_FALSE(f.viewer.IsAttached());
}

TEST(AttachTest, ShortLabelNamesTheFileDotVNM) {
  Fixture f;
  TTRSpec desc;
  desc.label = ">12-10-2026";
  f.dir.Write("CASE1.TTR", MakeTTRBytes(desc));
  f.dir.Write(".VNM", MakeVNM(desc.label, 3));
  ASSERT_EQ(f.Attach(), AttachStatus::Attached);
  EXPECT_EQ(f.viewer.VNMBase(), "");
}

TEST(AttachTest, MapIsFoundCaseBlindBesideTheTrajectory) {
  Fixture f;
  TTRSpec desc;
  f.dir.Write("CASE1.TTR", MakeTTRBytes(desc));
  f.dir.Write("case1.vnm", MakeVNM(desc.label, 3));
  ASSERT_EQ(f.Attach(), AttachStatus::Attached);
}

TEST(AttachTest, HeaderCountingMissingRecordsUsesTheCompleteOnes) {
  Fixture f;
  TTRSpec desc;
  desc.d = 20;
  desc.jtmax = 9;
  std::string bytes = MakeTTRBytes(desc);
  bytes.resize(64 + 2 * 64 * 4 + 70);  // four whole records, a piece of the fifth
  f.dir.Write("CASE1.TTR", bytes);
  f.dir.Write("CASE1.VNM", MakeVNM(desc.label, 20));
  ASSERT_EQ(f.Attach(), AttachStatus::Attached);
  EXPECT_EQ(f.viewer.JTmax(), 3);
  EXPECT_EQ(f.viewer.TimeTable().size(), 4u);
  ASSERT_EQ(f.prompts.messages.size(), 1u);
  EXPECT_NE(f.prompts.messages[0].find("_JT=3 of 9"), std::string::npos);
  EXPECT_TRUE(f.viewer.GoToTimeStep(3));
  EXPECT_EQ(f.viewer.CurrentValues()[20], 320.0f);
}

TEST(AttachTest, HugeJTmaxWithoutRecordsIsNotAllocated) {
  Fixture f;
  TTRSpec desc;
  desc.jtmax = 0;
  std::string bytes = MakeTTRBytes(desc);
  PutI32(bytes, 60, 0x7FFFFFFF);
  f.dir.Write("CASE1.TTR", bytes);
  f.dir.Write("CASE1.VNM", MakeVNM(desc.label, 3));
  ASSERT_EQ(f.Attach(), AttachStatus::Attached);
  EXPECT_EQ(f.viewer.JTmax(), 0);
}

TEST(AttachTest, ShortMapGivesEmptyEntries) {
  Fixture f;
  TTRSpec desc;
  f.dir.Write("CASE1.TTR", MakeTTRBytes(desc));
  f.dir.Write("CASE1.VNM", std::string(kLabel) + "\r\n   0 IO  _X.A\r\n");
  ASSERT_EQ(f.Attach(), AttachStatus::Attached);
  EXPECT_EQ(f.viewer.Entries()[3].code, "");
  EXPECT_EQ(f.viewer.Kinds()[3], 4);
}

TEST(ValueListTest, WritesEveryListedVariableAtTheCurrentStep) {
  Fixture f;
  TTRSpec desc;
  desc.d = 2;
  desc.jtmax = 3;
  desc.value = [](int32_t jt, int i) { return i == 0 ? 505.0f + float(jt) : -0.5f * float(i); };
  f.dir.Write("CASE1.TTR", MakeTTRBytes(desc));
  std::string longName = "_X." + std::string(90, 'N');
  f.dir.Write("CASE1.VNM", std::string(kLabel) + "\r\n   0 IO  _X.A\r\n   1 CO  " + longName +
                               "\r\n   2 *O  _X.R\r\n");
  ASSERT_EQ(f.Attach(), AttachStatus::Attached);
  ASSERT_TRUE(f.viewer.GoToTimeStep(2));
  for (int v : {0, 1, 0}) f.viewer.AddToDisplayList(v);
  // The code and its blank take 8 characters, the whole line at most 87.
  const std::string& stored = f.viewer.Entries()[1].name;  // as the map reader keeps it
  ASSERT_EQ(stored.rfind("_X.NNN", 0), 0u);
  std::string expect = "   0 IO _X.A\r\n 5.070000E+02\r\n   1 CO " + stored.substr(0, 79) +
                       "\r\n-5.000000E-01\r\n   0 IO _X.A\r\n 5.070000E+02\r\n";
  EXPECT_EQ(f.viewer.ValueListText(), expect);
  ASSERT_TRUE(f.viewer.SaveValueList(f.dir.File("VALUES.TXT")));
  EXPECT_EQ(f.dir.Read("VALUES.TXT"), expect);
  // A failure is reported with the file's name; nothing half-written.
  EXPECT_FALSE(f.viewer.SaveValueList(f.dir.File("NODIR/VALUES.TXT")));
  ASSERT_EQ(f.prompts.messages.size(), 1u);
  EXPECT_NE(f.prompts.messages[0].find("VALUES.TXT"), std::string::npos);
}

TEST(AttachTest, ASecondAttachEmptiesTheListAndAFailedOneDetaches) {
  Fixture f;
  TTRSpec desc;
  f.Files(desc);
  ASSERT_EQ(f.Attach(), AttachStatus::Attached);
  f.viewer.AddToDisplayList(1);
  ASSERT_EQ(f.Attach(), AttachStatus::Attached);
  EXPECT_EQ(f.viewer.Last(), -1);
  f.viewer.AddToDisplayList(1);
  EXPECT_EQ(f.Attach("NONE.TTR"), AttachStatus::Failed);
  EXPECT_FALSE(f.viewer.IsAttached());
  EXPECT_TRUE(f.viewer.TimeTable().empty());
  EXPECT_EQ(f.viewer.DisplayLineText(0), " ");
  EXPECT_FALSE(f.viewer.ReAttach());
  EXPECT_FALSE(f.viewer.CopyTruncated(f.dir.File("C.TTR")));
}

TEST(ReAttachTest, AGrownFileShowsItsNewStepsAndKeepsTheList) {
  Fixture f;
  TTRSpec desc;
  desc.jtmax = 2;
  f.Files(desc);
  ASSERT_EQ(f.Attach(), AttachStatus::Attached);
  f.viewer.AddToDisplayList(2);
  ASSERT_TRUE(f.viewer.GoToTimeStep(2));
  desc.jtmax = 7;
  f.dir.Write("CASE1.TTR", MakeTTRBytes(desc));  // rewritten in place
  ASSERT_TRUE(f.viewer.ReAttach());
  EXPECT_EQ(f.viewer.JTmax(), 7);
  EXPECT_EQ(f.viewer.TimeTable().size(), 8u);
  EXPECT_EQ(f.viewer.CurrentJT(), 0);
  EXPECT_EQ(f.viewer.Last(), 0);
  EXPECT_TRUE(f.prompts.messages.empty());
}

TEST(ReAttachTest, AFileWrittenAnewUnderTheNameIsReadAndAGoneOneDetaches) {
  Fixture f;
  TTRSpec desc;
  desc.jtmax = 2;
  f.Files(desc);
  ASSERT_EQ(f.Attach(), AttachStatus::Attached);
  // The solver's next run: the old file deleted, a longer one written.
  ASSERT_EQ(::unlink(f.dir.File("CASE1.TTR").c_str()), 0);
  desc.jtmax = 5;
  desc.time = [](int32_t jt) { return 10.0 + jt; };
  f.dir.Write("CASE1.TTR", MakeTTRBytes(desc));
  ASSERT_TRUE(f.viewer.ReAttach());
  EXPECT_EQ(f.viewer.JTmax(), 5);
  EXPECT_DOUBLE_EQ(f.viewer.TimeTable()[3], 13.0);
  EXPECT_DOUBLE_EQ(f.viewer.CurrentT(), 10.0);
  EXPECT_TRUE(f.prompts.messages.empty());

  ASSERT_EQ(::unlink(f.dir.File("CASE1.TTR").c_str()), 0);
  EXPECT_FALSE(f.viewer.ReAttach());
  EXPECT_FALSE(f.viewer.IsAttached());
  EXPECT_EQ(f.prompts.messages, (std::vector<std::string>{"No file " + f.dir.File("CASE1.TTR") +
                                                          ": No such file or directory"}));
}

// A trajectory that cannot be read while it is attached, or read again,
// is named with the reason, whatever the step that finds it.
TEST(ReadFailureTest, TheMessageNamesTheFileAndWhy) {
  using Step = std::function<bool(Fixture&)>;
  // Cuts the file to `bytes` in place: the viewer's descriptor sees it.
  auto cutTo = [](int64_t bytes) {
    return [bytes](Fixture& f) { std::filesystem::resize_file(f.dir.File("CASE1.TTR"), uintmax_t(bytes)); };
  };
  Step step5 = [](Fixture& f) { return f.viewer.GoToTimeStep(5); };
  Step copy = [](Fixture& f) {
    f.viewer.TrackTimeStep(5);  // the copy runs to the step shown
    return f.viewer.CopyTruncated(f.dir.File("C.TTR"));
  };
  Step reAttach = [](Fixture& f) { return f.viewer.ReAttach(); };
  // Packed, d = 3: one block per record after the header block.
  struct Case {
    const char* what;
    std::function<void(Fixture&)> damage;
    Step step;
    std::string message;  // the file's path goes in before its " : "
    bool needsNonRoot = false;
  } cases[] = {
      {"cut inside the last record", cutTo(64 * 6 + 8), step5, "I/O error reading : the file ends inside record 5"},
      {"cut after a record", cutTo(64 * 4), step5, "I/O error reading : the file ends after record 2"},
      {"cut after its header", cutTo(64), step5, "I/O error reading : the file ends after its header"},
      {"cut inside a record, copied", cutTo(64 * 3 + 20), copy, "I/O error reading : the file ends inside record 2"},
      {"a failing disk",
       [](Fixture&) {},
       [](Fixture& f) {
         krv::testing::FailingCalls disk;
         disk.only = "ReadAt";
         disk.failAt = 0;
         return f.viewer.GoToTimeStep(5);
       },
       "I/O error reading : Input/output error"},
      {"a directory in its place",
       [](Fixture& f) {
         ASSERT_EQ(::unlink(f.dir.File("CASE1.TTR").c_str()), 0);
         std::filesystem::create_directory(f.dir.File("CASE1.TTR"));
       },
       reAttach, "No file : not a regular file"},
      {"no read permission",
       [](Fixture& f) {
         ASSERT_EQ(::unlink(f.dir.File("CASE1.TTR").c_str()), 0);
         TTRSpec next;
         next.jtmax = 5;
         f.dir.Write("CASE1.TTR", MakeTTRBytes(next));
         ASSERT_EQ(::chmod(f.dir.File("CASE1.TTR").c_str(), 0200), 0);
       },
       reAttach, "No file : Permission denied", true},
  };
  for (const Case& c : cases) {
    // Root reads a file whatever its permissions.
    if (c.needsNonRoot && ::geteuid() == 0) continue;
    Fixture f;
    TTRSpec desc;
    desc.jtmax = 5;
    f.Files(desc);
    ASSERT_EQ(f.Attach(), AttachStatus::Attached) << c.what;
    c.damage(f);
    EXPECT_FALSE(c.step(f)) << c.what;
    std::string message = c.message;
    message.insert(message.find(" : ") + 1, f.dir.File("CASE1.TTR"));
    EXPECT_EQ(f.prompts.messages, std::vector<std::string>{message}) << c.what;
  }
}

TEST(ReAttachTest, AChangedOrDamagedFileIsDetached) {
  struct Case {
    const char* what;
    std::function<void(TTRSpec&)> change;
  } cases[] = {
      {"other D", [](TTRSpec& s) { s.d = 4; }},
      {"other mark", [](TTRSpec& s) { s.mark = kMarkSplit; }},
      {"emptied", [](TTRSpec& s) { s.jtmax = -1; }},
      {"unknown mark", [](TTRSpec& s) { s.mark = 1; }},
  };
  for (const Case& c : cases) {
    Fixture f;
    TTRSpec desc;
    f.Files(desc);
    ASSERT_EQ(f.Attach(), AttachStatus::Attached);
    c.change(desc);
    f.dir.Write("CASE1.TTR", MakeTTRBytes(desc));
    EXPECT_FALSE(f.viewer.ReAttach()) << c.what;
    EXPECT_FALSE(f.viewer.IsAttached()) << c.what;
    EXPECT_EQ(f.prompts.messages.size(), 1u) << c.what;
  }
}

TEST(CopyTruncatedTest, TheAttachedFileIsNeverTheTarget) {
  Fixture f;
  TTRSpec desc;
  desc.jtmax = 5;
  f.Files(desc);
  ASSERT_EQ(f.Attach(), AttachStatus::Attached);
  std::string original = f.dir.Read("CASE1.TTR");
  ASSERT_EQ(::symlink(f.dir.File("CASE1.TTR").c_str(), f.dir.File("LINK.TTR").c_str()), 0);
  ASSERT_EQ(::link(f.dir.File("CASE1.TTR").c_str(), f.dir.File("HARD.TTR").c_str()), 0);
  std::string sub = f.dir.File("sub");
  std::filesystem::create_directory(sub);
  for (std::string target : {f.dir.File("CASE1.TTR"), f.dir.File("case1.ttr"),
                             f.dir.File("./CASE1.TTR"), sub + "/../CASE1.TTR",
                             f.dir.File("LINK.TTR"), f.dir.File("HARD.TTR")}) {
    f.prompts.messages.clear();
    EXPECT_FALSE(f.viewer.CopyTruncated(target)) << target;
    EXPECT_EQ(f.prompts.messages, std::vector<std::string>{"Cannot change original file!"})
        << target;
  }
  EXPECT_EQ(f.dir.Read("CASE1.TTR"), original);

  ASSERT_TRUE(f.viewer.GoToTimeStep(3));
  f.prompts.messages.clear();
  ASSERT_TRUE(f.viewer.CopyTruncated(f.dir.File("SHORT.TTR")));
  EXPECT_TRUE(f.prompts.messages.empty());
  EXPECT_EQ(f.dir.Read("SHORT.TTR").size(), size_t(64 * 5));
}

TEST(DisplayListTest, HoldsAtMost22000EntriesAndScrollsToTheEnd) {
  ViewerState v;
  for (int i = 0; i < kDisplayListSize; ++i) ASSERT_TRUE(v.AddToDisplayList(i % 7));
  EXPECT_FALSE(v.AddToDisplayList(1));
  EXPECT_EQ(v.Last(), kDisplayListSize - 1);
  v.ScrollListToEnd();
  EXPECT_EQ(v.Top(), kDisplayListSize - 14);
  v.ClearDisplayList();
  v.ScrollListToEnd();
  EXPECT_EQ(v.Top(), 0);
  EXPECT_EQ(v.Last(), -1);
}

TEST(PlotSlotTest, TheFirstWindowNotInUseIsTaken) {
  struct Case {
    std::vector<bool> inUse;
    int slot;
  };
  const Case cases[] = {
      {{}, -1},
      {{false, false, false, false, false, false}, 0},
      {{true, true, false, false, false, false}, 2},
      {{true, true, true, true, true, true}, -1},
      // A window closed between open ones is taken before the later free one.
      {{true, true, false, true, false, false}, 2},
      {{true, true, true, true, true, false}, 5},
  };
  for (const Case& c : cases) {
    std::array<bool, 8> flags{};
    std::copy(c.inUse.begin(), c.inUse.end(), flags.begin());
    std::span<const bool> used(flags.data(), c.inUse.size());
    EXPECT_EQ(FreePlotSlot(used), c.slot) << ::testing::PrintToString(c.inUse);
  }
}

TEST(PlotSlotTest, CaptionIsTheCodeCutToEightThenTheNameCutTo87) {
  const std::string name79(79, 'n');
  struct Case {
    VNMEntry entry;
    std::string caption;
  };
  const Case cases[] = {
      {{"   5 IO", "_X.A"}, "   5 IO _X.A"},
      // A five-digit code fills the eight and loses its blank.
      {{"12345 IO", "_X.B"}, "12345 IO_X.B"},
      {{"123456 CO", "_X.C"}, "123456 C_X.C"},
      {{"   7 IO", name79}, "   7 IO " + name79},
      {{"   7 IO", name79 + "xy"}, "   7 IO " + name79},
      {{"", ""}, " "},
  };
  for (const Case& c : cases) {
    std::string caption = PlotCaption(c.entry);
    EXPECT_EQ(caption, c.caption) << c.entry.code << "|" << c.entry.name;
    EXPECT_LE(caption.size(), 87u);
  }
}

TEST(NavKeyTest, StepKeysMoveOneStepWithinTheRange) {
  // A restricted range: its bounds, not the file's, stop the step.
  TimeRange r;
  r.lo = 2;
  r.hi = 6;
  struct Case {
    NavKey key;
    int32_t jt;
    std::optional<int32_t> next;
  };
  const Case cases[] = {
      {NavKey::StepBack, 2, std::nullopt},   {NavKey::StepBack, 4, 3},
      {NavKey::StepBack, 6, 5},              {NavKey::StepForward, 2, 3},
      {NavKey::StepForward, 4, 5},           {NavKey::StepForward, 6, std::nullopt},
      {NavKey::PageUp, 4, std::nullopt},     {NavKey::End, 4, std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(StepAfterKey(c.key, c.jt, r), c.next) << int(c.key) << " at " << c.jt;

  TimeRange one;
  one.lo = one.hi = 3;
  EXPECT_EQ(StepAfterKey(NavKey::StepBack, 3, one), std::nullopt);
  EXPECT_EQ(StepAfterKey(NavKey::StepForward, 3, one), std::nullopt);
}

TEST(NavKeyTest, ListKeysMoveTheTopWithinTheList) {
  struct Case {
    NavKey key;
    int top;
    int last;
    int next;
  };
  const Case cases[] = {
      {NavKey::PageUp, 0, 30, 0},      {NavKey::PageUp, 10, 30, 0},
      {NavKey::PageUp, 30, 30, 16},    {NavKey::PageDown, 0, 30, 14},
      {NavKey::PageDown, 20, 30, 30},  {NavKey::PageDown, 30, 30, 30},
      {NavKey::Home, 17, 30, 0},       {NavKey::End, 0, 30, 30},
      {NavKey::LineUp, 0, 30, 0},      {NavKey::LineUp, 15, 30, 14},
      {NavKey::LineDown, 15, 30, 16},  {NavKey::LineDown, 30, 30, 30},
      {NavKey::PageDown, 0, 0, 0},     {NavKey::End, 0, 0, 0},
      {NavKey::StepBack, 12, 30, 12},  {NavKey::StepForward, 12, 30, 12},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ListTopAfterKey(c.key, c.top, c.last), c.next)
        << int(c.key) << " top " << c.top << " last " << c.last;
}

}  // namespace
}  // namespace krv::view
