// Tests of the directive comments D, S, N, V and P.
#include <gtest/gtest.h>

#include "preprocessor/tests/scanner_fixture.h"
#include "testing/case_name.h"

namespace krv::pp::test {
namespace {

struct DirectiveCase {
  const char* name;
  const char* text;
  bool vSwitch, nSwitch;
  std::vector<std::string> log;
};

class DirectiveSwitches : public ::testing::TestWithParam<DirectiveCase> {};

TEST_P(DirectiveSwitches, SetSwitchesOrReport) {
  const DirectiveCase& c = GetParam();
  ScannerFixture f("");
  int slot = 0;
  EXPECT_FALSE(f.directives.HandleDirective(c.text, true, f.errors, slot));
  EXPECT_EQ(f.directives.VSwitch(), c.vSwitch) << c.text;
  EXPECT_EQ(f.directives.NSwitch(), c.nSwitch) << c.text;
  EXPECT_EQ(f.LogAfterStart(), c.log) << c.text;
}

const std::vector<std::string> kErr{"1 Error in PP directive"};

INSTANTIATE_TEST_SUITE_P(
    Table, DirectiveSwitches,
    ::testing::Values(
        DirectiveCase{"VOff", "V-", false, false, {}},
        DirectiveCase{"VOffTrailingBlanks", "v-   ", false, false, {}},
        DirectiveCase{"VOn", "V+", true, false, {}},
        DirectiveCase{"NOn", "N+", true, true, {}},
        DirectiveCase{"NOnLowerCase", "n+x", true, true, {}},
        DirectiveCase{"VAlone", "V", true, false, {}},
        DirectiveCase{"VBlankPlus", "V +", true, false, kErr},
        DirectiveCase{"NStar", "N*", true, false, kErr},
        DirectiveCase{"PIgnored", "P anything", true, false, {}},
        DirectiveCase{"UnknownLetter", "Q+", true, false, kErr},
        DirectiveCase{"LeadingBlank", " V-", true, false, kErr},
        DirectiveCase{"SAlone", "S", true, false, {}}),
    krv::testing::CaseName{});

// Runs D and S texts through the scanner and returns the substituted tokens.
static std::vector<Tok> Substituted(ScannerFixture& f) { return f.All(); }

TEST(Directives, DefineForms) {
  ScannerFixture f("{%D PI=3.14}{%D E 2.7}{%D G = 9 = nine}{%D V=" + std::string(60, 's') +
                   "}{%D LN" + std::string(30, 'X') + "=1}{%S PI}{%S e}{%S G}{%S V}{%S ln" +
                   std::string(30, 'x') + "}");
  auto t = Substituted(f);
  ASSERT_EQ(t.size(), 5u);
  EXPECT_EQ(t[0], (Tok{"3.14", 2, ' '}));
  EXPECT_EQ(t[1], (Tok{"2.7", 2, ' '}));
  EXPECT_EQ(t[2], (Tok{"9 = nine", 2, ' '}));
  EXPECT_EQ(t[3], (Tok{std::string(49, 's'), 1, ' '}));  // value cut to 49
  EXPECT_EQ(t[4], (Tok{"1", 2, ' '}));                   // name cut to 31
  EXPECT_EQ(f.directives.Slot(5).name, "LN" + std::string(29, 'X'));
  EXPECT_EQ(f.errors.Count(), 0u);
}

TEST(Directives, FirstDefinitionWinsAndDefinesActOnlyInPass1) {
  ScannerFixture f("{%D A=1}{%D A=2}{%S A}");
  EXPECT_EQ(f.All(), (std::vector<Tok>{{"1", 2, ' '}}));
  int slot = 0;
  f.directives.HandleDirective("D B=3", false, f.errors, slot);
  EXPECT_EQ(f.directives.ConstantCount(), 2);
}

TEST(Directives, ErrorsAndTheirLogLines) {
  struct Case {
    std::string source;
    std::vector<std::string> log;
  } cases[] = {
      {"{%S NONE}", {"NO FIND", "1 Error in PP directive"}},
      {"{%D =5}", {"1 Error in PP directive"}},
      {"{%D K}", {"1 Error in PP directive"}},
      {"{%S  }", {}},  // one character once trailing blanks go
      {"{%X1}", {"1 Error in PP directive"}},
  };
  for (const Case& c : cases) {
    ScannerFixture f(c.source);
    f.All();
    EXPECT_EQ(f.LogAfterStart(), c.log) << c.source;
  }
}

TEST(Directives, TwentySlotsAndTheTwentyFirstIsRefused) {
  std::string src;
  for (int i = 1; i <= 21; ++i) src += "{%D C" + std::to_string(i) + "=" + std::to_string(i) + "}";
  src += "{%S C20}{%S C21}";
  ScannerFixture f(src);
  try {
    f.All();
  } catch (const EMyExc&) {
  }
  EXPECT_EQ(f.directives.ConstantCount(), 20);
  EXPECT_EQ(f.LogAfterStart(), (std::vector<std::string>{"More than 20 PP Consts",
                                                         "1 Error in PP directive", "NO FIND",
                                                         "1 Error in PP directive"}));
}

TEST(Directives, AFailedDefinitionStillUsesItsSlot) {
  std::string src = "{%D ONLY}";
  for (int i = 1; i <= 20; ++i) src += "{%D C" + std::to_string(i) + "=1}";
  ScannerFixture f(src);
  f.All();
  EXPECT_EQ(f.directives.ConstantCount(), 20);
  EXPECT_EQ(f.errors.Count(), 2u);  // the empty one and the 21st
}

TEST(Directives, ResetClearsTableAndSwitches) {
  ScannerFixture f("{%D A=1}{%V-}{%N+}");
  f.All();
  f.directives.ResetDirectives();
  EXPECT_EQ(f.directives.ConstantCount(), 0);
  EXPECT_TRUE(f.directives.VSwitch());
  EXPECT_FALSE(f.directives.NSwitch());
}

}  // namespace
}  // namespace krv::pp::test
