// Runs each transcript in series/tests/transcripts: its commands go to
// series_script one at a time in a fresh directory, and what comes back,
// followed by dsf_check's reading of every .DSF file left there, ssconvert's
// reading of every .WKS and .WK1 file and the text of every .TXT file, must
// equal the golden NAME.out beside it. Set KRV_UPDATE_GOLDEN=1 to rewrite
// the golden files after a deliberate change (and read the diff).
//
// Lines starting "#!" prepare files between commands:
//   #! resize FILE BYTES       cut or extend (with zeros) a file
//   #! poke FILE OFFSET HH..   overwrite bytes at OFFSET
//   #! write FILE HH..         a file of exactly these bytes
//   #! copy FROM TO            copy a file
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "testing/ssconvert.h"
#include "testing/temp_dir.h"

namespace {

namespace fs = std::filesystem;

const std::string kDir = std::string(KRV_SOURCE_DIR) + "/series/tests/transcripts";

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> w;
  for (std::string x; in >> x;) w.push_back(x);
  return w;
}

std::string Bytes(const std::vector<std::string>& w, size_t from) {
  std::string b;
  for (size_t i = from; i < w.size(); ++i) b += char(std::stoi(w[i], nullptr, 16));
  return b;
}

// Carries out one "#!" line in `dir`.
void Prepare(const std::string& dir, const std::string& line) {
  std::vector<std::string> w = Words(line.substr(2));
  ASSERT_GE(w.size(), 2u) << line;
  std::string file = dir + "/" + w[1];
  if (w[0] == "resize") {
    fs::resize_file(file, std::stoull(w[2]));
  } else if (w[0] == "poke") {
    std::fstream f(file, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(std::streamoff(std::stoll(w[2])));
    std::string b = Bytes(w, 3);
    f.write(b.data(), std::streamsize(b.size()));
  } else if (w[0] == "write") {
    std::ofstream f(file, std::ios::binary | std::ios::trunc);
    std::string b = Bytes(w, 2);
    f.write(b.data(), std::streamsize(b.size()));
  } else if (w[0] == "copy") {
    fs::copy_file(file, dir + "/" + w[2], fs::copy_options::overwrite_existing);
  } else {
    FAIL() << "unknown preparation: " << line;
  }
}

// series_script running in `dir`, fed and read one command at a time.
class Driver {
 public:
  explicit Driver(const std::string& dir) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      dup2(out[1], 2);
      close(in[1]);
      close(out[0]);
      if (chdir(dir.c_str()) != 0) _exit(126);
      setenv("KRV_SERIES_NOW", "2026-12-10 14:35", 1);
      std::string prog = std::string(KRV_BIN_DIR) + "/series_script";
      execl(prog.c_str(), prog.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    to_ = fdopen(in[1], "w");
    from_ = fdopen(out[0], "r");
  }
  ~Driver() {
    if (to_) fclose(to_);
    if (from_) fclose(from_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }

  // Sends `line`; returns the lines up to and including "FLAG n", or what
  // came before the driver ended.
  std::string Command(const std::string& line, bool& ended) {
    std::fprintf(to_, "%s\n", line.c_str());
    std::fflush(to_);
    std::string got;
    char buf[4096];
    ended = true;
    while (std::fgets(buf, sizeof buf, from_)) {
      got += buf;
      if (std::strncmp(buf, "FLAG ", 5) == 0) {
        ended = false;
        break;
      }
    }
    return got;
  }

 private:
  pid_t pid_ = -1;
  FILE* to_ = nullptr;
  FILE* from_ = nullptr;
};

std::string Checked(const std::string& file) {
  std::string cmd = std::string(KRV_BIN_DIR) + "/dsf_check '" + file + "'";
  FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[4096];
  while (p && std::fgets(buf, sizeof buf, p)) out += buf;
  if (p) pclose(p);
  return out;
}

std::string RunTranscript(const std::string& cmdFile) {
  krv::testing::TempDir dir;
  Driver driver(dir.path());
  std::istringstream in(ReadAll(cmdFile));
  std::string out;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("#!", 0) == 0) {
      Prepare(dir.path(), line);
      out += line + "\n";
    } else if (line.empty() || line[0] == '#') {
      out += line + "\n";
    } else {
      bool ended;
      out += "> " + line + "\n" + driver.Command(line, ended);
      if (ended) {
        out += "(series_script ended)\n";
        break;
      }
    }
  }
  std::vector<std::string> files, sheets, tables;
  for (const auto& e : fs::directory_iterator(dir.path())) {
    std::string ext = e.path().extension().string(), name = e.path().filename().string();
    for (char& c : ext) c = char(std::toupper(static_cast<unsigned char>(c)));
    if (ext == ".DSF") files.push_back(name);
    if (ext == ".WKS" || ext == ".WK1") sheets.push_back(name);
    if (ext == ".TXT") tables.push_back(name);
  }
  std::sort(files.begin(), files.end());
  std::sort(sheets.begin(), sheets.end());
  std::sort(tables.begin(), tables.end());
  for (const std::string& f : files) out += "== " + f + "\n" + Checked(dir.File(f));
  krv::testing::TempDir scratch;
  for (const std::string& f : sheets)
    out += "== " + f + " read by ssconvert\n" + krv::testing::SsconvertCsv(dir.File(f), scratch.path());
  for (const std::string& f : tables) {
    // Line ends shown, so CR LF is part of the golden text.
    std::string text = ReadAll(dir.File(f)), shown;
    for (char c : text) shown += c == '\r' ? std::string("\\r") : std::string(1, c);
    out += "== " + f + "\n" + shown;
  }
  return out;
}

class Transcript : public ::testing::TestWithParam<std::string> {};

TEST_P(Transcript, MatchesGolden) {
  std::string base = kDir + "/" + GetParam();
  std::string got = RunTranscript(base + ".cmd");
  if (std::getenv("KRV_UPDATE_GOLDEN")) {
    std::ofstream(base + ".out", std::ios::binary) << got;
    return;
  }
  std::string want = ReadAll(base + ".out");
  if (got != want) {
    std::ofstream(GetParam() + ".actual", std::ios::binary) << got;
    // Point at the first line that differs.
    std::istringstream g(got), w(want);
    std::string gl, wl;
    int n = 1;
    while (std::getline(g, gl) && std::getline(w, wl) && gl == wl) ++n;
    FAIL() << GetParam() << ".out differs at line " << n << ":\n  want: " << wl
           << "\n  got:  " << gl << "\n(whole output in " << GetParam() << ".actual)";
  }
}

std::vector<std::string> Names() {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(kDir))
    if (e.path().extension() == ".cmd") names.push_back(e.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

INSTANTIATE_TEST_SUITE_P(Series, Transcript, ::testing::ValuesIn(Names()),
                         [](const auto& info) { return info.param; });

}  // namespace
