// An action cut short at one of its system calls.
#include "testing/cut_short.h"

#include <fstream>
#include <iterator>
#include <sstream>

#include <unistd.h>

#include "testing/failing_calls.h"

namespace krv::testing {

FileState ReadIfThere(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void PutState(const std::string& path, const FileState& state) {
  if (!state) {
    ::unlink(path.c_str());
    return;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(state->data(), std::streamsize(state->size()));
}

long CountCalls(const std::function<void()>& act) {
  FailingCalls count;
  act();
  return count.counted();
}

std::vector<FileState> CutShortAt(long k, bool killed, const std::vector<std::string>& files,
                                  const std::function<void()>& act, int error) {
  auto states = [&] {
    std::vector<FileState> s;
    for (const std::string& f : files) s.push_back(ReadIfThere(f));
    return s;
  };
  std::vector<FileState> left;
  bool taken = false;
  {
    FailingCalls fail;
    fail.error = error;
    if (killed)
      fail.before = [&](const char*) {
        if (fail.counted() == k && !taken) {
          left = states();
          taken = true;
        }
      };
    else
      fail.failAt = k;
    act();
  }
  return killed && taken ? left : states();
}

CutTally ForEachCut(long calls, const std::function<bool(long k, bool killed)>& check) {
  CutTally t;
  for (long k = 0; k < calls; ++k)
    for (bool killed : {true, false}) (check(k, killed) ? t.olds : t.news)++;
  return t;
}

}  // namespace krv::testing
