// The editor's file commands: start-up load, extension removal, labels.
#include <gtest/gtest.h>

#include "platform/user_prompts.h"
#include "problem_editor/EPROCS.h"
#include "problem_editor/LDSAVE.h"
#include "problem_editor/tests/prb_fixture.h"
#include "testing/temp_dir.h"

namespace krv::pe {
namespace {

using namespace krv::pe::testing;
using krv::testing::TempDir;

TEST(EditorSession, RemovePrbExtension) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"/d/TRY1.PRB", "/d/TRY1"}, {"/d/try1.prb", "/d/try1"}, {"/d/try1.Prb", "/d/try1.Prb"},
      {"/d/A.PRB.prb", "/d/A"},   {"/d/A.prbX.PRB", "/d/A"},  {"/d/NOEXT", "/d/NOEXT"},
  };
  for (const auto& c : cases) EXPECT_EQ(RemovePrbExtension(c.in), c.out) << c.in;
  // Paths are never cut to a short-string length.
  std::string deep = "/" + std::string(120, 'd') + "/P.PRB";
  EXPECT_EQ(RemovePrbExtension(deep), deep.substr(0, deep.size() - 4));
}

TEST(EditorSession, StartsEmpty) {
  EditorSession s;
  EXPECT_EQ(s.caption, "Casewright for v. 6 :");
  EXPECT_FALSE(s.loaded);
  EXPECT_EQ(s.main.lastDisplayed, -1);
  EXPECT_EQ(s.ViewLabelText(), "Label=");
}

TEST(EditorSession, CommandLineLoadIsValidated) {
  TempDir dir;
  dir.Write("OLD.PRB", "OLD\r\nIOA\r\n" + Block('U', 0, 0, 0, 0) + "#\r\n");
  dir.Write("GOOD.PRB", FixturePrb());
  platform::ScriptedPrompts prompts;
  EditorSession s;
  EXPECT_FALSE(s.LoadFromCommandLine(dir.File("MISSING")));
  EXPECT_FALSE(s.LoadFromCommandLine(dir.File("OLD")));
  EXPECT_FALSE(s.loaded);
  EXPECT_EQ(s.caption, kStartCaption);
  EXPECT_EQ(prompts.messages,
            (std::vector<std::string>{std::string(kNoFile) + " " + dir.File("MISSING.PRB") +
                                          ": No such file or directory",
                                      std::string(kNotV4) + " " + dir.File("OLD.PRB")}));

  ASSERT_TRUE(s.LoadFromCommandLine(dir.File("GOOD")));
  EXPECT_EQ(s.caption, "Casewright--" + dir.File("GOOD"));
  EXPECT_EQ(s.ViewLabelText(), "Label=" + FixtureHeader().substr(1));
}

TEST(EditorSession, LabelIsCutAndSaveAsFollowsTheName) {
  TempDir dir;
  std::string header = "*" + std::string(100, 'L') + "#0000";
  dir.Write("P.PRB", header + "\r\n" + U16(0xFFFF) + "#\r\n" + U16(0) + U16(0) + U16(0) + U16(0));
  EditorSession s;
  ASSERT_TRUE(s.Validate(dir.File("P")));
  ASSERT_TRUE(s.LoadProblem(dir.File("P")));
  EXPECT_EQ(s.label, std::string(59, 'L'));
  EXPECT_EQ(s.ViewLabelText().size(), 65u);
  s.modified = true;
  ASSERT_TRUE(s.SaveAs(dir.File("NEW")));
  EXPECT_FALSE(s.modified);
  EXPECT_EQ(s.caption, "Casewright--" + dir.File("NEW"));
  EXPECT_TRUE(dir.Has("NEW.PRB"));
}

}  // namespace
}  // namespace krv::pe
