// Saving while the solver or another editor has written the same problem file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "platform/user_prompts.h"
#include "problem_editor/EPROCS.h"
#include "problem_editor/LDSAVE.h"
#include "problem_editor/file_on_disk.h"
#include "problem_editor/tests/prb_fixture.h"
#include "testing/temp_dir.h"

namespace krv::pe {
namespace {

using namespace krv::pe::testing;
using krv::platform::Answer;
using krv::platform::ScriptedPrompts;
using krv::testing::TempDir;

class FileOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("FIX.PRB", FixturePrb());
    ASSERT_TRUE(s.LoadFromCommandLine(dir.File("FIX")));
  }
  // What the file holds now, read as the editor reads it.
  EditorBuffer OnDisk() {
    EditorBuffer b;
    EXPECT_TRUE(ParsePrb(dir.Read("FIX.PRB"), false, b));
    return b;
  }

  TempDir dir;
  ScriptedPrompts prompts;
  EditorSession s;
};

// The solver left X out (and a fourth value) while the problem was open;
// the modeller then edits a Range and saves.
TEST_F(FileOnDisk, SaveKeepsTheSolversXOut) {
  dir.Write("FIX.PRB", FixturePrbWith({{0, Block('P', 1.5, 2.0f, 0.5f, 42.0)},
                                    {1, Block('U', -0.37003730, 10000.0f, 2.36e-16f, -7.25)}}));
  s.main.records[0].SetRange(8.0f);
  s.modified = true;
  ASSERT_TRUE(s.SaveAs(dir.File("FIX")));
  EXPECT_TRUE(prompts.questions.empty());
  EXPECT_TRUE(prompts.messages.empty());
  EditorBuffer saved = OnDisk();
  EXPECT_EQ(saved.records[0].XOut(), 42.0);
  EXPECT_EQ(saved.records[0].Fourth(), 0.5f);
  EXPECT_EQ(saved.records[0].Range(), 8.0f);
  EXPECT_EQ(saved.records[0].XIn(), 1.5);
  EXPECT_EQ(saved.records[1].XOut(), -7.25);
  EXPECT_EQ(s.main.records[1].XOut(), -7.25);  // shown from now on

  // The saved file is the new reference: a second save asks nothing.
  s.main.records[2].SetXIn(3.0);
  ASSERT_TRUE(s.SaveAs(""));
  EXPECT_TRUE(prompts.questions.empty());
  EXPECT_EQ(OnDisk().records[0].XOut(), 42.0);
}

TEST_F(FileOnDisk, TakesXOutWithoutSavingWhenAskedToShowIt) {
  EXPECT_FALSE(s.TakeSolverResults());  // nothing changed yet
  const std::string run = FixturePrbWith({{6, Block('U', 1.0, 0.0f, 0.0f, 6.5)}});
  dir.Write("FIX.PRB", run);
  EXPECT_TRUE(s.TakeSolverResults());
  EXPECT_EQ(s.main.records[6].XOut(), 6.5);
  EXPECT_FALSE(s.TakeSolverResults());
  EXPECT_FALSE(s.modified);
  EXPECT_EQ(dir.Read("FIX.PRB"), run);
}

// A file sequenced again (other names or ordering) or damaged is not saved
// over; saving under another name still keeps the modeller's values.
TEST_F(FileOnDisk, OtherLayoutRefusesTheSaveUnderThatName) {
  std::string other = FixturePrb();
  other.replace(other.find("FLOW.IN"), 7, "FLOW.XX");
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"another name", other},
      {"another ordering", FixturePrb().substr(0, FixturePrb().size() - 2) + U16(1)},
      {"a cut file", FixturePrb().substr(0, 60)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    dir.Write("FIX.PRB", c.bytes);
    prompts.messages.clear();
    s.main.records[0].SetXIn(11.0);
    s.modified = true;
    EXPECT_FALSE(s.SaveAs(dir.File("FIX")));
    EXPECT_EQ(prompts.messages,
              std::vector<std::string>{dir.File("FIX") +
                                       ".PRB has been rewritten with other variables or another "
                                       "ordering since it was loaded: nothing was saved under that "
                                       "name."});
    EXPECT_EQ(dir.Read("FIX.PRB"), c.bytes);
    EXPECT_FALSE(dir.Has("FIX.PBK"));
    EXPECT_TRUE(s.modified);
  }
  // Nor can a file larger than any problem file be this one: it is not read.
  dir.WriteSparse("FIX.PRB", seq::kMaxPrbFileBytes + 1);
  prompts.messages.clear();
  EXPECT_FALSE(s.SaveAs(dir.File("FIX")));
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_NE(prompts.messages[0].find("has been rewritten with other variables"), std::string::npos);
  EXPECT_EQ(std::filesystem::file_size(dir.File("FIX.PRB")), seq::kMaxPrbFileBytes + 1);

  ASSERT_TRUE(s.SaveAs(dir.File("MINE")));
  EditorBuffer mine;
  ASSERT_TRUE(ParsePrb(dir.Read("MINE.PRB"), false, mine));
  EXPECT_EQ(mine.records[0].XIn(), 11.0);
}

// A second editor saved other X in, Range or constraints: the save asks
// before replacing them, and writes nothing when told not to.
TEST_F(FileOnDisk, AsksBeforeReplacingAnotherEditorsValues) {
  struct Case {
    const char* what;
    std::string block;  // record 2 as the other editor saved it
  } cases[] = {
      {"X in", Block('p', 9.0, 0.0f, 0.0f, 7.0)},
      {"Range", Block('p', 0.0, 3.0f, 0.0f, 7.0)},
      {"constraint", Block('U', 0.0, 0.0f, 0.0f, 7.0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string theirs = FixturePrbWith({{2, c.block}, {1, Block('U', -0.37003730, 10000.0f,
                                                                    2.36e-16f, 1.25)}});
    dir.Write("FIX.PRB", theirs);
    s.main.records[5].SetXIn(-4.0);
    prompts.questions.clear();
    prompts.answers = {Answer::No};
    EXPECT_FALSE(s.SaveAs(""));
    ASSERT_EQ(prompts.questions.size(), 1u);
    EXPECT_EQ(prompts.questions[0],
              dir.File("FIX") + ".PRB was saved by another program since it was loaded: X in, "
                                "Range or constraint of 1 variable(s) differ there. Replace them "
                                "with the values shown here?");
    EXPECT_EQ(dir.Read("FIX.PRB"), theirs);
    EXPECT_EQ(s.main.records[1].XOut(), 1.25);  // the solver's part is taken all the same
  }
  prompts.answers = {Answer::Yes};
  ASSERT_TRUE(s.SaveAs(""));
  EditorBuffer saved = OnDisk();
  EXPECT_EQ(saved.records[2].XIn(), 0.0);
  EXPECT_EQ(saved.records[2].TypeCode, 3);
  EXPECT_EQ(saved.records[5].XIn(), -4.0);
  EXPECT_EQ(saved.records[1].XOut(), 1.25);
}

// Nothing on disk any more: the save writes the file again.
TEST_F(FileOnDisk, MissingFileIsWrittenAgain) {
  std::remove(dir.File("FIX.PRB").c_str());
  s.main.records[0].SetXIn(2.0);
  ASSERT_TRUE(s.SaveAs(""));
  EXPECT_EQ(OnDisk().records[0].XIn(), 2.0);
  EXPECT_TRUE(prompts.messages.empty());
}

}  // namespace
}  // namespace krv::pe
