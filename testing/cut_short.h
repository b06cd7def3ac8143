// Runs an action cut short at one of its system calls, for tests of what a
// kill or a full disk at any moment of a change leaves in its files.
#pragma once

#include <cerrno>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace krv::testing {

// The bytes of a file, or nullopt when it is not there.
using FileState = std::optional<std::string>;
FileState ReadIfThere(const std::string& path);
// Puts `state` at `path`: the bytes written, or the file removed.
void PutState(const std::string& path, const FileState& state);

// How many calls through the platform's table `act` makes.
long CountCalls(const std::function<void()>& act);

// The `files` as a run of `act` leaves them when it is cut short at its
// call `k` (from 0, every call through the platform's table counted):
// killed just before that call, the files as they stood then; or that
// call failing with `error`, the files as `act` leaves them.
std::vector<FileState> CutShortAt(long k, bool killed, const std::vector<std::string>& files,
                                  const std::function<void()>& act, int error = ENOSPC);

// Runs `check(k, killed)` for each call k of `calls` cut short both ways;
// `check` tells whether what it found was the old state. The counts of
// old and new states found, so a test can see that both were met.
struct CutTally {
  int olds = 0, news = 0;
};
CutTally ForEachCut(long calls, const std::function<bool(long k, bool killed)>& check);

}  // namespace krv::testing
