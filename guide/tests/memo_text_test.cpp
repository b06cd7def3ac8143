// Tests of the memo text of a file: loading, saving and their round trip.
#include <gtest/gtest.h>

#include "guide/memo_text.h"
#include "platform/user_prompts.h"
#include "testing/temp_dir.h"

using namespace krv::guide;
using krv::testing::TempDir;

TEST(MemoText, LinesInAndOut) {
  struct Case {
    const char* what;
    std::string file, memo, saved;
  } cases[] = {
      {"CR LF lines", "a\r\nb\r\n", "a\nb", "a\r\nb\r\n"},
      {"an empty last line", "a\r\n\r\n", "a\n", "a\r\n\r\n"},
      {"empty file", "", "", ""},
      {"no final break", "a\r\nb", "a\nb", "a\r\nb\r\n"},
      {"bare LF lines", "a\nb\n", "a\nb", "a\r\nb\r\n"},
      {"a bare CR", "a\rb\r\n", "a\nb", "a\r\nb\r\n"},
      {"Ctrl-Z stays", "end.\r\n\x1a", "end.\n\x1a", "end.\r\n\x1a\r\n"},
      {"every byte kept", std::string("caf\xe9\t\xa0\0!\r\n", 10), std::string("caf\xe9\t\xa0\0!", 8),
       std::string("caf\xe9\t\xa0\0!\r\n", 10)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(MemoTextFromFile(c.file), c.memo);
    EXPECT_EQ(FileBytesFromMemo(c.memo), c.saved);
  }
}

TEST(MemoText, LoadAndSaveFiles) {
  TempDir d;
  d.Write("W.QTL", "x\r\ny\r\n");
  std::string error;
  EXPECT_EQ(LoadMemoFile(d.File("w.qtl"), &error), "x\ny");

  // A save keeps the name the file has on disk.
  EXPECT_EQ(SaveMemoFile(d.File("w.qtl"), "x\nz"), std::nullopt);
  EXPECT_EQ(d.Read("W.QTL"), "x\r\nz\r\n");
  EXPECT_FALSE(d.Has("w.qtl"));

  // Failures name the file and change nothing.
  EXPECT_EQ(LoadMemoFile(d.File("NONE.QTL"), &error), std::nullopt);
  EXPECT_NE(error.find(d.File("NONE.QTL")), std::string::npos) << error;
  std::filesystem::create_directory(d.File("DIR.QTL"));
  auto failed = SaveMemoFile(d.File("DIR.QTL"), "text");
  ASSERT_TRUE(failed.has_value());
  EXPECT_NE(failed->find(d.File("DIR.QTL")), std::string::npos) << *failed;
  EXPECT_TRUE(std::filesystem::is_directory(d.File("DIR.QTL")));
  EXPECT_EQ(LoadMemoFile(d.File("DIR.QTL"), &error), std::nullopt);
}
