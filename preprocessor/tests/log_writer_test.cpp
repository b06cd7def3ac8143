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

// A window that mirrors the log from its events alone.
class Mirror : public krv::pp::LogView {
 public:
  std::vector<std::string> lines{"LogMemo"};
  void LineAdded(const std::string& text) override { lines.push_back(text); }
  void LineReplaced(size_t index, const std::string& text) override { lines.at(index) = text; }
  void FirstLineRemoved() override { lines.erase(lines.begin()); }
};

// Long passes: the window, its open line and its mirror stay right however
// many lines have gone, whether the lines are read often or only at the end.
TEST(LogWriter, WindowStaysExactThroughLongPasses) {
  for (int readEvery : {1, 97, 0}) {
    LogWriter log;
    Mirror mirror;
    log.SetView(&mirror);
    std::vector<std::string> all{"LogMemo"};
    for (int i = 1; i <= 3000; ++i) {
      std::string s = "L" + std::to_string(i);
      if (i % 7 == 0) {
        log.LogAppend(s);
        log.LogLine("+");
        s += "+";
      } else {
        log.LogLine(s);
      }
      all.push_back(s);
      const std::vector<std::string> window(all.end() - std::ptrdiff_t(std::min<size_t>(all.size(), 322)),
                                            all.end());
      ASSERT_EQ(log.LineCount(), window.size()) << i;
      if (readEvery != 0 && i % readEvery == 0) {
        ASSERT_EQ(log.Lines(), window) << i;
        ASSERT_EQ(mirror.lines, window) << i;
      }
      if (i == 3000) {
        EXPECT_EQ(log.Lines(), window);
        EXPECT_EQ(mirror.lines, window);
        EXPECT_EQ(log.Text().substr(0, 6), "L2679\n");
      }
    }
    log.SetView(nullptr);
  }
}

// A window that reads the whole log while it is told of a change, as a
// window showing it at once does: what it was told stays what was written.
TEST(LogWriter, AViewReadingTheLogWhileToldKeepsTheLineItWasTold) {
  struct Reader : krv::pp::LogView {
    LogWriter* log = nullptr;
    std::vector<std::string> told;
    void LineAdded(const std::string& text) override {
      EXPECT_EQ(log->Lines().back(), text);
      told.push_back(text);
    }
    void LineReplaced(size_t index, const std::string& text) override {
      EXPECT_EQ(log->Lines().at(index), text);
      told.back() = text;
    }
    void FirstLineRemoved() override {}
  } reader;
  LogWriter log;
  reader.log = &log;
  log.SetView(&reader);
  for (int i = 1; i <= 1200; ++i) {
    log.LogAppend("line " + std::to_string(i));
    log.LogLine(" done");
    ASSERT_EQ(reader.told.back(), "line " + std::to_string(i) + " done");
  }
  log.SetView(nullptr);
}
