// End to end: the Sequist program in batch mode, offscreen, in a temporary
// directory. Its window stays open, so the test waits for the problem file
// and then ends the program.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include "sequencer/prb_format.h"
#include "testing/program.h"
#include "testing/temp_dir.h"

namespace {

using namespace std::chrono_literals;

TEST(SequistProgram, BatchRunWritesTheProblemAndKeepsRunning) {
  krv::testing::TempDir dir;
  dir.Write("cyc.vnm",
            "CYC\r\n   0 IO  _X.X\r\n   1 IO  _X.Y\r\n   2 IO  _X.Z\r\n     #\r\n"
            "    0    1 0 0\r\n    1    2 0 0\r\n    2    0 0 1\r\n\x1a");
  krv::testing::Program p = krv::testing::StartProgram("Sequist", {"CYC"}, dir.path());
  EXPECT_TRUE(krv::testing::WaitUntil([&] { return dir.Has("CYC.PRB"); }, 30s, "CYC.PRB"));
  // The window stays open after the batch run: the program has not ended a
  // while after it wrote the problem.
  EXPECT_EQ(p.WaitForExit(200ms), std::nullopt);
  p.Kill();

  krv::seq::PrbProblem prb;
  auto r = krv::seq::ReadPrb(dir.Read("CYC.PRB"), prb);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(prb.header, "*CYC#0000");
  EXPECT_EQ(prb.ordering.rowNames, (std::vector<uint16_t>{2, 1, 0}));
  EXPECT_EQ(prb.ordering.nonzeros.size(), 6u);
}

}  // namespace
