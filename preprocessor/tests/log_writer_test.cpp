// Tests of the run log: modes, and the 322-line window.
#include <gtest/gtest.h>

#include "preprocessor/log_writer.h"

using krv::pp::LogWriter;

TEST(LogWriter, ModeIsTheOneLeftByThePreviousCall) {
  LogWriter log;
  log.LogAppend("a");  // the start mode is new-line
  log.LogAppend("b");
  log.LogLine("c");
  log.LogLine("d");
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"LogMemo", "abc", "d"}));
}

TEST(LogWriter, KeepsAtMost322LinesDroppingTheOldest) {
  LogWriter log;
  for (int i = 1; i <= 321; ++i) log.LogLine("L" + std::to_string(i));
  ASSERT_EQ(log.Lines().size(), 322u);
  EXPECT_EQ(log.Lines().front(), "LogMemo");
  log.LogLine("L322");
  EXPECT_EQ(log.Lines().size(), 322u);
  EXPECT_EQ(log.Lines().front(), "L1");
  EXPECT_EQ(log.Lines().back(), "L322");
  // Appending to the open line never drops one.
  log.LogAppend("x");
  log.LogAppend("y");
  log.LogLine("z");
  EXPECT_EQ(log.Lines().size(), 322u);
  EXPECT_EQ(log.Lines().front(), "L2");
  EXPECT_EQ(log.Lines().back(), "xyz");
}
