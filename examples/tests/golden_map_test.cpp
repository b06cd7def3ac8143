// Checks the shipped example models and their hand-written variable maps for slips.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/byte_io.h"
#include "platform/text.h"

namespace {

const char* const kModels[] = {"TANKS", "FIXLOOP", "LAGBANKS", "PLANTS", "CELLS", "OXYFIT", "TANKFIT"};

std::string ExampleFile(const std::string& name) {
  std::string bytes;
  EXPECT_TRUE(krv::platform::ReadFileBytes(std::string(KRV_SOURCE_DIR) + "/examples/" + name, bytes)) << name;
  return bytes;
}

struct Incidence {
  int output, input, fix, mode;
};

struct VariableMap {
  std::vector<std::string> names;  // whole variable lines
  std::vector<Incidence> incidences;
};

int Field(const std::string& line, size_t at, size_t width) {
  std::string text = line.substr(at, width);
  size_t first = text.find_first_not_of(' ');
  EXPECT_NE(first, std::string::npos) << line;
  if (first == std::string::npos) return -1;
  std::optional<long long> value = krv::platform::ParseInt(text.substr(first));
  EXPECT_TRUE(value.has_value()) << line;
  return value ? static_cast<int>(*value) : -1;
}

// Splits a map into its parts, failing the test on any line that breaks the layout.
VariableMap ParseMap(const std::string& bytes) {
  VariableMap map;
  EXPECT_GE(bytes.size(), 3u);
  EXPECT_EQ(bytes.substr(bytes.size() - 3), std::string("\r\n\x1a")) << "CR LF and the byte 26 end the map";
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos + 1 < bytes.size()) {
    size_t end = bytes.find("\r\n", pos);
    if (end == std::string::npos) break;
    lines.push_back(bytes.substr(pos, end - pos));
    pos = end + 2;
  }
  EXPECT_EQ(pos, bytes.size() - 1) << "only the byte 26 follows the last line";
  EXPECT_FALSE(lines.empty());
  if (lines.empty()) return map;
  EXPECT_EQ(lines[0], "@LABEL@");
  size_t k = 1;
  for (; k < lines.size() && lines[k] != "     #"; ++k) {
    const std::string& line = lines[k];
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    EXPECT_GE(line.size(), 13u) << line;
    if (line.size() < 13) continue;
    EXPECT_EQ(Field(line, 0, 4), static_cast<int>(map.names.size())) << line;
    EXPECT_EQ(line[4], ' ') << line;
    EXPECT_NE(std::string("IC*").find(line[5]), std::string::npos) << line;
    EXPECT_NE(std::string("OC*").find(line[6]), std::string::npos) << line;
    EXPECT_EQ(line.substr(7, 5), "  _X.") << line;
    map.names.push_back(line);
  }
  EXPECT_LT(k, lines.size()) << "terminator line missing";
  for (++k; k < lines.size(); ++k) {
    const std::string& line = lines[k];
    EXPECT_EQ(line.size(), 14u) << line;
    if (line.size() != 14) continue;
    Incidence in{Field(line, 0, 5), Field(line, 5, 5), Field(line, 10, 2), Field(line, 12, 2)};
    EXPECT_TRUE(in.fix == 0 || in.fix == 1) << line;
    EXPECT_TRUE(in.mode >= 0 && in.mode <= 2) << line;
    EXPECT_TRUE(in.fix == 0 || in.mode == 0) << line;
    map.incidences.push_back(in);
  }
  return map;
}

class ExampleModel : public ::testing::TestWithParam<const char*> {};

TEST_P(ExampleModel, SourceIsCrLfTextWithNote) {
  std::string name = GetParam();
  std::string source = ExampleFile(name + ".QTL");
  ASSERT_FALSE(source.empty());
  for (size_t i = 0; i < source.size(); ++i) {
    if (source[i] == '\n') {
      EXPECT_TRUE(i > 0 && source[i - 1] == '\r') << "bare LF at byte " << i;
    }
    EXPECT_NE(source[i], '\x1a') << "byte 26 inside the source at " << i;
  }
  EXPECT_NE(source.find("MPROC SYSTEM;"), std::string::npos);
  for (const char* proc : {"PARSET", "SETUP", "TIMESET", "REPORT", "ADDSET", "USERBPR"})
    EXPECT_NE(source.find(std::string("procedure ") + proc + ";"), std::string::npos) << proc;
  EXPECT_FALSE(ExampleFile(name + ".txt").empty());
}

// Every role letter must follow from the incidences: input role from the last
// record reading the variable, output role from a record writing it from
// another variable, C for a fixing record.
TEST_P(ExampleModel, GoldenMapRolesFollowFromIncidences) {
  VariableMap map = ParseMap(ExampleFile(std::string("golden/") + GetParam() + ".VNM"));
  const int count = static_cast<int>(map.names.size());
  ASSERT_GT(count, 0);
  for (const Incidence& in : map.incidences) {
    EXPECT_TRUE(in.output >= 0 && in.output < count) << in.output;
    EXPECT_TRUE(in.input >= 0 && in.input < count) << in.input;
  }
  for (int n = 0; n < count; ++n) {
    char inRole = '*', outRole = '*';
    int readers = 0, fixedReads = 0, fixWrites = 0;
    for (const Incidence& in : map.incidences) {
      if (in.input == n) {
        inRole = in.fix ? 'C' : 'I';
        ++readers;
        fixedReads += in.fix;
      }
      if (in.output == n && in.input != n) outRole = in.fix ? 'C' : 'O';
      if (in.output == n) fixWrites += in.fix;
    }
    const std::string roles{inRole, outRole};
    EXPECT_EQ(map.names[n].substr(5, 2), roles) << map.names[n];
    if (fixedReads > 0) {
      EXPECT_EQ(readers, 1) << "a fixed variable feeds nothing else: " << map.names[n];
    }
    EXPECT_LE(fixWrites, 1) << map.names[n];
  }
}

// The types file ends with the label line and the byte 26, the state type last.
TEST_P(ExampleModel, GoldenTypesEndWithStateTypeAndLabel) {
  std::string types = ExampleFile(std::string("golden/") + GetParam() + ".GTY");
  const std::string tail = "  END;\r\nCONST _UCMPLABEL='@LABEL@';\r\n\x1a";
  ASSERT_GE(types.size(), tail.size());
  EXPECT_EQ(types.substr(types.size() - tail.size()), tail);
  size_t state = types.rfind("  _SYSTEM=RECORD\r\n");
  ASSERT_NE(state, std::string::npos);
  EXPECT_EQ(types.find("=RECORD", state + 16), std::string::npos) << "_SYSTEM is the last type";
  for (size_t i = 0; i < types.size(); ++i) {
    if (types[i] == '\n') {
      EXPECT_TRUE(i > 0 && types[i - 1] == '\r') << "bare LF at byte " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shipped, ExampleModel, ::testing::ValuesIn(kModels),
                         [](const auto& info) { return std::string(info.param); });

// The shipped chain has NT tanks and 3*NT+1 variables; a changed NT needs a new map.
TEST(ExampleTanks, GoldenMapMatchesTheSizeConstant) {
  std::string source = ExampleFile("TANKS.QTL");
  const std::string directive = "{%D NT=";
  size_t at = source.find(directive);
  ASSERT_NE(at, std::string::npos);
  size_t end = source.find('}', at);
  ASSERT_NE(end, std::string::npos);
  std::optional<long long> parsed =
      krv::platform::ParseInt(source.substr(at + directive.size(), end - at - directive.size()));
  ASSERT_TRUE(parsed.has_value());
  const int tanks = static_cast<int>(*parsed);
  VariableMap map = ParseMap(ExampleFile("golden/TANKS.VNM"));
  EXPECT_EQ(static_cast<int>(map.names.size()), 3 * tanks + 1);
  EXPECT_EQ(static_cast<int>(map.incidences.size()), 4 * tanks);
}

}  // namespace
