// The solver's readers as a program of their own, asked over a socket.
#include "runtime/tests/reader_probe.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/little_endian.h"

extern char** environ;

namespace krv::rt {
namespace {

std::string ReadText(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

bool SendAll(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= size_t(n);
  }
  return true;
}

bool ReceiveAll(int fd, void* data, size_t size) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    ssize_t n = ::recv(fd, p, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= size_t(n);
  }
  return true;
}

bool ReceiveU32(int fd, uint32_t& v) {
  uint8_t b[4];
  if (!ReceiveAll(fd, b, 4)) return false;
  v = platform::GetU32(b);
  return true;
}

}  // namespace

ReaderProbe::ReaderProbe() {
  char tmpl[] = "/tmp/krv_reader_probe.XXXXXX";
  if (::mkdtemp(tmpl)) dir_ = tmpl;
  Start();
}

ReaderProbe::~ReaderProbe() {
  Stop();
  if (!dir_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
}

void ReaderProbe::Start() {
  int sv[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, sv[1], 0);
  posix_spawn_file_actions_adddup2(&actions, sv[1], 1);
  const std::string log = dir_ + "/probe.log";
  posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  // Its heap checker reports into a file of the scratch directory.
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "HEAPTRC=", 8) != 0) env.emplace_back(*e);
  env.push_back("HEAPTRC=log=" + dir_ + "/heap.txt");
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string program = KRV_READER_PROBE;
  char* argv[] = {program.data(), dir_.data(), nullptr};
  pid_t pid = -1;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(sv[1]);
  if (rc != 0) {
    ::close(sv[0]);
    return;
  }
  pid_ = pid;
  fd_ = sv[0];
}

std::string ReaderProbe::Stop() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (pid_ > 0) {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  pid_ = -1;
  return ReadText(dir_ + "/heap.txt");
}

std::vector<SolverAnswer> ReaderProbe::Ask(char kind, const std::vector<std::string_view>& parts) {
  if (fd_ < 0) Start();
  std::string request(1, kind);
  platform::AppendU32(request, uint32_t(parts.size()));
  for (std::string_view p : parts) {
    platform::AppendU32(request, uint32_t(p.size()));
    request.append(p);
  }
  std::vector<SolverAnswer> answers;
  uint32_t count = 0;
  bool whole = fd_ >= 0 && SendAll(fd_, request.data(), request.size()) && ReceiveU32(fd_, count);
  for (uint32_t k = 0; whole && k < count; ++k) {
    uint32_t code = 0, size = 0;
    whole = ReceiveU32(fd_, code) && ReceiveU32(fd_, size);
    SolverAnswer a;
    a.code = int32_t(code);
    a.text.resize(size);
    whole = whole && (size == 0 || ReceiveAll(fd_, a.text.data(), size));
    answers.push_back(std::move(a));
  }
  if (!whole) {
    // Stopped in the middle of an answer: what it said on its way out.
    int status = 0;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (pid_ > 0) ::waitpid(pid_, &status, 0);
    pid_ = -1;
    std::string how = WIFEXITED(status) ? "ended with status " + std::to_string(WEXITSTATUS(status))
                      : WIFSIGNALED(status) ? "was killed by signal " + std::to_string(WTERMSIG(status))
                                            : "could not be started";
    answers.assign(1, SolverAnswer{-1, "the solver's reader probe " + how + ":\n" +
                                           ReadText(dir_ + "/probe.log")});
  }
  return answers;
}

SolverAnswer ReaderProbe::Problem(std::string_view bytes) { return Ask('P', {bytes}).front(); }

std::vector<SolverAnswer> ReaderProbe::Series(std::string_view store,
                                              const std::vector<std::string>& paths) {
  std::vector<std::string_view> parts = {store};
  for (const std::string& p : paths) parts.push_back(p);
  return Ask('D', parts);
}

std::pair<SolverAnswer, std::string> ReaderProbe::WriteOneValues(std::string_view store,
                                                                 const std::vector<std::string>& paths,
                                                                 const std::vector<double>& values) {
  std::string list, numbers;
  for (size_t k = 0; k < paths.size(); ++k) list += (k ? "\n" : "") + paths[k];
  for (double v : values) platform::AppendF64(numbers, v);
  std::vector<SolverAnswer> a = Ask('W', {store, list, numbers});
  if (a.size() != 2) return {a.front(), ""};
  return {a[0], a[1].text};
}

SolverAnswer ReaderProbe::StartRecord(std::string_view ttr, int maxValues) {
  std::string count;
  platform::AppendU32(count, uint32_t(maxValues));
  return Ask('T', {ttr, count}).front();
}

}  // namespace krv::rt
