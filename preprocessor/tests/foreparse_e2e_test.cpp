// End to end: the Foreparse program in batch mode, offscreen, in a
// temporary directory. Its window stays open, so the test waits for the
// output files and then ends the program.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "testing/program.h"
#include "testing/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using krv::testing::WaitUntil;

TEST(ForeparseProgram, BatchRunWritesEveryOutputAndKeepsRunning) {
  krv::testing::TempDir dir;
  dir.Write("TANKS.QTL",
            "{ two tanks }\r\nXVTYPE\r\n  TANK = RECORD LEVEL, FLOW: XVR END;\r\n"
            "XPROC OUT(VARIN T: TANK; VAROT F: XVR);\r\nBEGIN\r\n  F := T.LEVEL;\r\nEND;\r\n"
            "MPROC SYSTEM;\r\nVAR T: TANK; F: XVR;\r\nBEGIN\r\n  OUT(T, F);\r\nEND;\r\n");
  krv::testing::Program p = krv::testing::StartProgram("Foreparse", {"TANKS", "/E"}, dir.path());
  // The map is the last output; it ends with the byte 26.
  bool written = WaitUntil(
      [&] {
        if (!dir.Has("TANKS.VNM")) return false;
        std::string m = dir.Read("TANKS.VNM");
        return !m.empty() && m.back() == '\x1a';
      },
      30s, "TANKS.VNM ending with byte 26");
  EXPECT_TRUE(written);
  EXPECT_TRUE(WaitUntil([&] { return dir.Has("DMPTABLE.txt"); }, 30s, "DMPTABLE.txt"));
  // The window stays open after the batch run.
  EXPECT_TRUE(p.Running());
  p.Kill();
  std::string gty = dir.Read("TANKS.GTY");
  EXPECT_EQ(gty.substr(0, 45), "  TANK=RECORD\r\n     LEVEL,FLOW:XVR;\r\n  END;\r\n");
  EXPECT_NE(gty.find(" TANKS';\r\n\x1a"), std::string::npos);
  EXPECT_TRUE(dir.Has("TMPQTL.TMP"));
  EXPECT_NE(dir.Read("TANKS.PSY").find("PROCEDURE SYSTEMMC(VAR _X:_SYSTEM);"), std::string::npos);
  std::string map = dir.Read("TANKS.VNM");
  EXPECT_NE(map.find("\r\n   0 I*  _X.T.LEVEL\r\n   1 I*  _X.T.FLOW\r\n   2 *O  _X.F\r\n     #\r\n"
                     "    2    0 0 0\r\n    2    1 0 0\r\n\x1a"),
            std::string::npos)
      << map;
}

}  // namespace
