// A fresh temporary directory for one test.
#include "testing/temp_dir.h"

#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace krv::testing {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "krv-test-XXXXXX").string();
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (!::mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void TempDir::Write(const std::string& name, const std::string& bytes) const {
  std::ofstream f(File(name), std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), std::streamsize(bytes.size()));
}

void TempDir::WriteSparse(const std::string& name, uint64_t size) const {
  Write(name, "");
  std::filesystem::resize_file(File(name), size);
}

std::string TempDir::Read(const std::string& name) const {
  std::ifstream f(File(name), std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

bool TempDir::Has(const std::string& name) const {
  return std::filesystem::exists(File(name));
}

std::vector<std::string> TempDir::Names() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

ScopedCwd::ScopedCwd(const std::string& dir) : old_(std::filesystem::current_path()) {
  std::filesystem::current_path(dir);
}

ScopedCwd::~ScopedCwd() {
  std::error_code ec;
  std::filesystem::current_path(old_, ec);
}

uint64_t PeakResidentBytes() {
  struct rusage u {};
  ::getrusage(RUSAGE_SELF, &u);
  return uint64_t(u.ru_maxrss) * 1024;  // kilobytes on Linux
}

}  // namespace krv::testing
