// Tests of the type part: golden .GTY files and every error message.
#include <gtest/gtest.h>

#include "platform/byte_io.h"
#include "preprocessor/tests/run_fixture.h"
#include "testing/case_name.h"

namespace krv::pp::test {
namespace {

std::string Golden(const std::string& name) {
  std::string bytes;
  EXPECT_TRUE(platform::ReadFileBytes(std::string(KRV_SOURCE_DIR) + "/preprocessor/tests/golden/" + name, bytes))
      << name;
  return bytes;
}

std::string WithLabel(std::string text, const std::string& label) {
  auto at = text.find("@LABEL@");
  if (at != std::string::npos) text.replace(at, 7, label);
  return text;
}

class GoldenTypes : public ::testing::TestWithParam<const char*> {};

TEST_P(GoldenTypes, GtyMatchesByteForByte) {
  std::string name = GetParam();
  RunFixture f;
  f.Run(Golden(name + ".QTL"));
  EXPECT_TRUE(f.Finished()) << f.LastLine();
  EXPECT_EQ(f.dir.Read("m.GTY"), WithLabel(Golden(name + ".GTY"), f.pp.Label()));
}

INSTANTIATE_TEST_SUITE_P(Models, GoldenTypes,
                         ::testing::Values("records", "sections", "groupsec", "vminus"),
                         [](const auto& info) { return std::string(info.param); });

TEST(XvtypePart, ChainHoldsDimensionsAndGroupLinks) {
  RunFixture f;
  f.Run(Golden("groupsec.QTL"));
  const TextBuffer& text = f.pp.Text();
  struct Want {
    const char* name;
    int dimension;
    bool varLength, section;
    const char* varMember;
  } want[] = {{"XVR", 1, false, true, nullptr},   {"CELL", 1, false, true, nullptr},
              {"VAR1", 0, true, true, "VAR1"},    {"FIX3", 3, false, true, "VAR1"},
              {"GA", 1, false, true, nullptr},    {"GB", 1, false, true, nullptr},
              {"HOLDER", 2, true, false, nullptr}};
  const TypeRecord* t = f.pp.Types().Head();
  for (const Want& w : want) {
    ASSERT_TRUE(t) << w.name;
    EXPECT_EQ(text.View(t->name), w.name);
    EXPECT_EQ(t->dimension, w.dimension) << w.name;
    EXPECT_EQ(t->VarLength, w.varLength) << w.name;
    EXPECT_EQ(t->section, w.section) << w.name;
    EXPECT_EQ(t->GroupVarMember ? std::string(text.View(t->GroupVarMember->name)) : std::string(),
              w.varMember ? w.varMember : "")
        << w.name;
    t = t->next;
  }
  EXPECT_EQ(t, nullptr);
}

TEST(XvtypePart, WithoutTypePartTheChainIsXvrAndTheTextIsCopied) {
  RunFixture f;
  const std::string head = "{ no types }\r\nUSES MATH;\r\nCONST K = 2;\r\n";
  f.Run(head + "XPROC Q(VAROT B: XVR);\r\nBEGIN\r\n  B := 1\r\nEND;\r\n" + kEmptySystem);
  EXPECT_TRUE(f.Finished()) << f.LastLine();
  EXPECT_EQ(f.pp.Types().Head()->next, nullptr);
  EXPECT_EQ(f.dir.Read("TMPQTL.TMP").substr(0, head.size()), head);
  EXPECT_EQ(f.dir.Read("m.GTY"), "CONST _UCMPLABEL='" + f.pp.Label() + "';\r\n\x1a");
}

struct ErrorCase {
  const char* name;
  std::string types;
  std::vector<std::string> messages;
  std::string last = "Err Halt";
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.types; }

class XvtypeErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(XvtypeErrors, ReportsTheMessage) {
  RunFixture f;
  f.Run("XVTYPE " + GetParam().types + "\r\n" + kTinyXproc);
  EXPECT_EQ(f.Messages(), GetParam().messages) << GetParam().types;
  EXPECT_EQ(f.LastLine(), GetParam().last) << GetParam().types;
}

const std::string kSyntax = "1 SYNTAX ERR IN XVTYPE PART";
const std::string kStopped = "Stopped";

INSTANTIATE_TEST_SUITE_P(
    Table, XvtypeErrors,
    ::testing::Values(
        ErrorCase{"DuplicateType", "A = RECORD X: XVR END; a = RECORD Y: XVR END;", {"1 DUPLICATE TYPE IN XVTYPE PART"}},
        ErrorCase{"MisspeltRecord", "A = REC X: XVR END;", {kSyntax}},
        ErrorCase{"EmptyRange", "A = RECORD X: ARRAY[5..1] OF XVR END;", {kSyntax}},
        ErrorCase{"OfMissing", "A = RECORD X: ARRAY[1..3] XVR END;", {kSyntax}},
        ErrorCase{"UndefinedType", "A = RECORD X: FOO END;", {"1 UNDEFINED XVR TYPE"}},
        ErrorCase{"UnderscoreInName", "A = RECORD MY_X: XVR END;", {"MY_X", "1 '_' NOT ALLOWED IN NAME"}},
        ErrorCase{"OneRecordGroup", "(G) = GROUPSEC V: (ARRAY[1..2] OF) XVR;", {"1 SHOULD BE MORE THAN 1 RECORD IN GROUP"}},
        ErrorCase{"NumberInGroup", "(G1, 5) = GROUPSEC V: (ARRAY[1..2] OF) XVR;",
                  {kSyntax, "1 SHOULD BE MORE THAN 1 RECORD IN GROUP"}},
        ErrorCase{"TwoVariableFields", "(G1, G2) = GROUPSEC V, W: (ARRAY[1..2] OF, ARRAY[1..3] OF) XVR;",
                  {"1 ONLY ONE VARIABLE FIELD ALLOWED"}},
        ErrorCase{"GrouprecNotGroupsec", "S1 = SECTION V: XVR; (G1, G2) = GROUPREC V: (ARRAY[1..2] OF, S1);",
                  {"1 MUST BE GROUPSEC"}},
        ErrorCase{"NumericVarraySize", "(G1, G2) = GROUPSEC V: (VARRAY[5] OF, ARRAY[1..3] OF) XVR;",
                  {"1 VARIABLE LENGTH ARRAY SIZE MUST BE AN ALPHA IDENT."}},
        ErrorCase{"TwoVarlengthRecords", "(G1, G2) = GROUPSEC V: (VARRAY[N] OF, VARRAY[M] OF) XVR;",
                  {"1 MORE THAN 1 VARLENGTH REC IN GROUP"}},
        ErrorCase{"MultiSectionRecord", "R = RECORD X: XVR END; (G1, G2) = GROUPSEC V: (R, ARRAY[1..3] OF) XVR;",
                  {"1 MULTIPLE-SEC RECTYPE IN VARLENG FLD"}},
        ErrorCase{"UndefinedInGroup", "(G1, G2) = GROUPSEC V: (NOSUCH, ARRAY[1..3] OF) XVR;", {"1 UNDEFINED XVR TYPE"}},
        ErrorCase{"FieldCountMismatch", "(G1, G2) = GROUPSEC V: (ARRAY[1..3] OF) XVR;", {kSyntax}},
        ErrorCase{"TwoSections", "S = SECTION X: XVR Y: XVR;",
                  {kSyntax, "1 ONLY ONE SECTION ALLOWED IN \"SECTION\" TYPE"}},
        // Counts and dimensions above 32767 are refused, not wrapped.
        ErrorCase{"DimensionTooLarge", "A = RECORD X: ARRAY[1..40000] OF XVR END;", {kSyntax}},
        ErrorCase{"CountTooLarge", "A = RECORD X, Y: ARRAY[1..20000] OF XVR END;", {kSyntax}},
        ErrorCase{"HugeBound", "A = RECORD X: ARRAY[1..40000000000000000000] OF XVR END;", {kSyntax}},
        ErrorCase{"HexBounds", "A = RECORD X: ARRAY[$1..$3] OF XVR END;", {kSyntax}},
        // Only types declared before are defined: not the type itself.
        ErrorCase{"SelfReference", "A = RECORD X: A END;", {"1 UNDEFINED XVR TYPE"}},
        ErrorCase{"SectionSelfReference", "S = SECTION X: S;", {"1 UNDEFINED XVR TYPE"}},
        ErrorCase{"GroupOfItself", "S = SECTION X: XVR; (G1, G2) = GROUPREC V: (S, G1);", {"1 UNDEFINED XVR TYPE"}},
        ErrorCase{"GroupSelfField", "(G1, G2) = GROUPSEC V: (ARRAY[1..2] OF, ARRAY[1..3] OF) G1;", {"1 UNDEFINED XVR TYPE"}},
        ErrorCase{"NamelessField", "A = RECORD : XVR; END;", {kSyntax}},
        ErrorCase{"NamelessSecondField", "A = RECORD X: XVR; : XVR END;", {kSyntax}},
        // A missing ':' stops the run; so does the end of the file.
        ErrorCase{"ColonMissing", "A = RECORD X Y END;", {"1  FATAL SYNTAX ERR"}, kStopped},
        ErrorCase{"FourUndefined", "A = RECORD X: C END; B = RECORD X: D END; E = RECORD X: F END; G = RECORD X: H END;",
                  {"1 UNDEFINED XVR TYPE", "1 UNDEFINED XVR TYPE", "1 UNDEFINED XVR TYPE",
                   "1 UNDEFINED XVR TYPE"},
                  kStopped}),
    krv::testing::CaseName{});

TEST(XvtypePart, LargeBoundsWithASmallCountAreLegal) {
  RunFixture f;
  f.Run("XVTYPE A = RECORD X: ARRAY[40000..40002] OF XVR END;\r\n"
        "MPROC SYSTEM;\r\nVAR Q: A;\r\nBEGIN\r\nEND;\r\n");
  ASSERT_TRUE(f.Finished()) << f.LastLine();
  EXPECT_NE(f.dir.Read("m.GTY").find("     X:ARRAY[40000..40002]OF XVR;\r\n"), std::string::npos);
  EXPECT_NE(f.dir.Read("m.VNM").find("_X.Q.X[40002]"), std::string::npos) << f.dir.Read("m.VNM");
}

TEST(GeneratedTypes, APieceTooLongForAnyLineFirstWritesTheFourBlanks) {
  const std::string n76(76, 'N'), n75(75, 'M');
  RunFixture f;
  f.Run("XVTYPE B = RECORD Y: XVR END; A = RECORD " + n76 + ": XVR; " + n75 + ": B END;\r\n" + kTinyXproc);
  ASSERT_TRUE(f.Finished()) << f.log.Text();
  EXPECT_EQ(f.dir.Read("m.GTY"), "  B=RECORD\r\n     Y:XVR;\r\n  END;\r\n  A=RECORD\r\n    \r\n     " + n76 + "\r\n    :XVR;\r\n     " + n75 +
                                     "\r\n    :B;\r\n  END;\r\n" + f.dir.Read("m.GTY").substr(
                                     f.dir.Read("m.GTY").find("  _SYSTEM")));
}

TEST(XvtypePart, EndOfFileInsideTheTypePartStopsInsteadOfHanging) {
  for (const char* src : {"XVTYPE A = RECORD X: XVR", "XVTYPE A = RECORD X: XVR END;", "XVTYPE (A, B"}) {
    RunFixture f;
    f.Run(src);
    EXPECT_EQ(f.Messages(), (std::vector<std::string>{"1  FATAL SYNTAX ERR"})) << src;
    EXPECT_EQ(f.LastLine(), kStopped) << src;
  }
}

}  // namespace
}  // namespace krv::pp::test
