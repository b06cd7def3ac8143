// Tests of the desktop entry (checked by desktop-file-validate) and of the README's loading.
#include <gtest/gtest.h>

#include <stdio.h>
#include <sys/stat.h>

#include <map>

#include "platform/user_prompts.h"
#include "setup/desktop_entry.h"
#include "testing/temp_dir.h"

using namespace krv::setup;
using krv::platform::ScriptedPrompts;
using krv::testing::TempDir;

namespace {

// The entry's keys, values unescaped as strings.
std::map<std::string, std::string> Keys(const std::string& text) {
  std::map<std::string, std::string> keys;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    std::string line = text.substr(at, end - at);
    at = end == std::string::npos ? text.size() : end + 1;
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string value;
    for (size_t i = eq + 1; i < line.size(); ++i) {
      if (line[i] != '\\' || i + 1 == line.size()) {
        value += line[i];
        continue;
      }
      char c = line[++i];
      value += c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
    }
    keys[line.substr(0, eq)] = value;
  }
  return keys;
}

// Exec's arguments as a launcher takes them: unquoted, then "%%" as "%".
std::vector<std::string> ExecArguments(const std::string& exec) {
  std::vector<std::string> args;
  size_t i = 0;
  while (i < exec.size()) {
    while (i < exec.size() && exec[i] == ' ') ++i;
    if (i == exec.size()) break;
    std::string arg;
    if (exec[i] == '"') {
      for (++i; i < exec.size() && exec[i] != '"'; ++i) {
        if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
        arg += exec[i];
      }
      ++i;
    } else {
      while (i < exec.size() && exec[i] != ' ') arg += exec[i++];
    }
    std::string plain;
    for (size_t k = 0; k < arg.size(); ++k) {
      plain += arg[k];
      if (arg[k] == '%' && k + 1 < arg.size() && arg[k + 1] == '%') ++k;
    }
    args.push_back(plain);
  }
  return args;
}

std::string Validate(const std::string& file) {
  std::string out;
  FILE* p = ::popen(("desktop-file-validate '" + file + "' 2>&1; echo status $?").c_str(), "r");
  char buf[512];
  while (p && fgets(buf, sizeof buf, p)) out += buf;
  if (p) ::pclose(p);
  return out;
}

}  // namespace

TEST(DesktopEntry, ValidatesAndItsExecNamesTheInstalledHelmsman) {
  TempDir home;
  for (const std::string& main : {std::string("/opt/Kravenor"), home.path() + "/My Models",
                                  home.path() + "/100% \"sure\" $HOME `x` back\\slash"}) {
    SCOPED_TRACE(main);
    const std::string desktop = home.path() + "/Desktop";
    ScriptedPrompts prompts;
    ASSERT_TRUE(CreateShellLink(desktop, main));
    EXPECT_EQ(prompts.messages, std::vector<std::string>{"Icon created"});
    const std::string file = desktop + "/Helmsman.desktop";
    EXPECT_EQ(Validate(file), "status 0\n");
    auto keys = Keys(home.Read("Desktop/Helmsman.desktop"));
    EXPECT_EQ(ExecArguments(keys["Exec"]), std::vector<std::string>{main + "/PGM/Helmsman"});
    EXPECT_EQ(keys["Path"], main + "/PGM");
    EXPECT_EQ(keys["Icon"], main + "/KRV1.png");
    EXPECT_EQ(keys["Type"], "Application");
    EXPECT_EQ(keys["Name"], "Helmsman");
    EXPECT_EQ(keys["Comment"], "Kravenor");
    EXPECT_EQ(keys["Terminal"], "false");
    struct stat st;
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
  }
}

TEST(DesktopEntry, ReplacesAnOldEntryAndMakesAMissingDesktop) {
  TempDir home;
  home.Write("Helmsman.desktop", "[Desktop Entry]\nName=old\n");
  ScriptedPrompts prompts;
  ASSERT_TRUE(CreateShellLink(home.path(), "/opt/K"));
  EXPECT_EQ(home.Read("Helmsman.desktop"), DesktopEntryText("/opt/K"));
  ASSERT_TRUE(CreateShellLink(home.path() + "/a/b/Desktop", "/opt/K"));
  EXPECT_TRUE(home.Has("a/b/Desktop/Helmsman.desktop"));
}

TEST(DesktopEntry, AFailedWriteSaysSoAndNeverIconCreated) {
  TempDir home;
  home.Write("Desktop", "a file where the desktop directory should be");
  struct Case {
    std::string name, desktop, main, reason;
  } cases[] = {
      {"desktop is a file", home.File("Desktop"), "/opt/K", "could not be written"},
      {"main directory not UTF-8", home.path(), "/opt/K\xe9", "not UTF-8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPrompts prompts;
    EXPECT_FALSE(CreateShellLink(c.desktop, c.main));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_NE(prompts.messages[0].find(c.desktop + "/Helmsman.desktop"), std::string::npos);
    EXPECT_NE(prompts.messages[0].find(c.reason), std::string::npos);
  }
  EXPECT_FALSE(home.Has("Helmsman.desktop"));
}

TEST(Readme, ReadAsBytesAndAMissingOneNamed) {
  TempDir main;
  main.Write("README.txt", "Kravenor \xe9t\xe9\n");
  std::string text;
  ScriptedPrompts prompts;
  ASSERT_TRUE(LoadReadme(main.path(), text));
  EXPECT_EQ(text, "Kravenor \xe9t\xe9\n");
  std::filesystem::remove(main.File("README.txt"));
  EXPECT_FALSE(LoadReadme(main.path(), text));
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_NE(prompts.messages[0].find(main.File("README.txt")), std::string::npos);
}
