// A fresh temporary directory for one test, removed with everything in it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace krv::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  void Write(const std::string& name, const std::string& bytes) const;
  // A file of `size` zero bytes that takes no disk space (one hole).
  void WriteSparse(const std::string& name, uint64_t size) const;
  std::string Read(const std::string& name) const;
  bool Has(const std::string& name) const;
  // The names of the files in the directory, sorted.
  std::vector<std::string> Names() const;

 private:
  std::string path_;
};

// Changes the current directory for a scope.
class ScopedCwd {
 public:
  explicit ScopedCwd(const std::string& dir);
  ~ScopedCwd();

 private:
  std::filesystem::path old_;
};

// The most memory the process has held so far (its peak resident size),
// in bytes: a test compares it before and after an input that must be
// refused without being read.
uint64_t PeakResidentBytes();

}  // namespace krv::testing
