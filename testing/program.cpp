// Programs started by tests, and waiting for a condition with a deadline.
#include "testing/program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iostream>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include "platform/file_query.h"
#include "testing/spawn.h"

extern char** environ;

namespace krv::testing {

namespace detail {

namespace {

const SessionHooks* g_hooks = nullptr;

std::mutex g_liveMutex;
std::set<pid_t> g_live;  // started by StartProgram, not reaped

int StatusOf(int waitStatus) {
  if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
  return -1;
}

// Sleeps a little longer each time, up to 25 ms, never past `deadline`.
class Pause {
 public:
  explicit Pause(std::chrono::steady_clock::time_point deadline) : deadline_(deadline) {}
  // False once the deadline has passed.
  bool Next() {
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline_) return false;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(step_, deadline_ - now));
    step_ = std::min(step_ * 2, std::chrono::microseconds(25000));
    return true;
  }

 private:
  std::chrono::steady_clock::time_point deadline_;
  std::chrono::microseconds step_{1000};
};

// Whether `pid` has ended, without reaping it.
bool HasEnded(pid_t pid) {
  siginfo_t info{};
  if (::waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) != 0) return true;  // not ours
  return info.si_pid == pid;
}

}  // namespace

void SetSessionHooks(const SessionHooks* hooks) { g_hooks = hooks; }

std::vector<std::string> ChangedEnvironment(const Environment& changes) {
  std::vector<std::string> out;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    std::string name = entry.substr(0, entry.find('='));
    if (!changes.count(name)) out.push_back(entry);
  }
  for (const auto& [name, value] : changes)
    if (value) out.push_back(name + "=" + *value);
  return out;
}

std::string FindOnPath(const std::string& name) {
  return name.find('/') != std::string::npos ? name : platform::FindOnPath(name);
}

pid_t Spawn(const SpawnRequest& request, std::string& error) {
  // Everything the child needs is made before the fork: after it, only
  // calls that are safe in a copy of a threaded process.
  std::vector<char*> argv, envp;
  for (const auto& a : request.argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const auto& e : request.envp) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  int report[2];  // the child's errno if it cannot exec
  if (::pipe2(report, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + strerror(errno);
    return -1;
  }
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) {
    error = std::string("fork: ") + strerror(errno);
    ::close(report[0]);
    ::close(report[1]);
    return -1;
  }
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    if (request.ownGroup) ::setpgid(0, 0);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    int in = ::open("/dev/null", O_RDONLY);
    if (in >= 0) ::dup2(in, 0);
    if (request.outFd >= 0) ::dup2(request.outFd, 1);
    if (request.errFd >= 0) ::dup2(request.errFd, 2);
    if (request.keepFd >= 0) ::fcntl(request.keepFd, F_SETFD, 0);
    char what = 'x';
    if (request.workDir.empty() || ::chdir(request.workDir.c_str()) == 0)
      ::execve(request.path.c_str(), argv.data(), envp.data());
    else
      what = 'd';
    int e = errno;
    char msg[1 + sizeof e];
    msg[0] = what;
    memcpy(msg + 1, &e, sizeof e);
    ssize_t ignored = ::write(report[1], msg, sizeof msg);
    (void)ignored;
    ::_exit(127);
  }
  ::close(report[1]);
  if (request.ownGroup) ::setpgid(pid, pid);  // whichever of the two comes first
  char msg[1 + sizeof(int)];
  ssize_t n;
  do n = ::read(report[0], msg, sizeof msg);
  while (n < 0 && errno == EINTR);
  ::close(report[0]);
  if (n == ssize_t(sizeof msg)) {
    int e;
    memcpy(&e, msg + 1, sizeof e);
    error = (msg[0] == 'd' ? "cannot enter " + request.workDir : "cannot run " + request.path) + ": " +
            strerror(e);
    int status;
    ::waitpid(pid, &status, 0);
    return -1;
  }
  return pid;
}

int WaitForPid(pid_t pid, std::chrono::milliseconds timeout) {
  Pause pause(std::chrono::steady_clock::now() + timeout);
  do {
    int status = 0;
    pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) return StatusOf(status);
    if (r < 0 && errno != EINTR) return -1;
  } while (pause.Next());
  return -1;
}

int EndProcess(pid_t pid, bool group, std::chrono::milliseconds grace) {
  if (group) ::kill(-pid, SIGTERM);
  ::kill(pid, SIGTERM);
  Pause pause(std::chrono::steady_clock::now() + grace);
  while (!HasEnded(pid) && pause.Next()) {
  }
  // The leader is not reaped yet, so its group's number cannot have been
  // given to anyone else.
  if (group) ::kill(-pid, SIGKILL);
  if (!HasEnded(pid)) ::kill(pid, SIGKILL);
  int status = 0;
  pid_t r;
  do r = ::waitpid(pid, &status, 0);
  while (r < 0 && errno == EINTR);
  return r == pid ? StatusOf(status) : -1;
}

ToolResult RunTool(const std::vector<std::string>& argv, const Environment& changes,
                   std::chrono::milliseconds timeout) {
  ToolResult result;
  const std::string path = FindOnPath(argv.at(0));
  if (path.empty()) {
    result.status = 127;
    result.err = argv[0] + ": not found on PATH";
    return result;
  }
  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  if (::pipe2(err, O_CLOEXEC) != 0) {
    ::close(out[0]);
    ::close(out[1]);
    throw std::runtime_error("pipe failed");
  }
  SpawnRequest request;
  request.path = path;
  request.argv = argv;
  request.envp = ChangedEnvironment(changes);
  request.outFd = out[1];
  request.errFd = err[1];
  std::string error;
  pid_t pid = Spawn(request, error);
  ::close(out[1]);
  ::close(err[1]);
  if (pid < 0) {
    ::close(out[0]);
    ::close(err[0]);
    result.status = 127;
    result.err = error;
    return result;
  }
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* into[2] = {&result.out, &result.err};
  int open = 2;
  bool late = false;
  while (open > 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      late = true;
      break;
    }
    int r = ::poll(fds, 2, int(left.count()) + 1);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buf[4096];
      ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        into[i]->append(buf, size_t(n));
      } else if (n == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (auto& f : fds)
    if (f.fd >= 0) ::close(f.fd);
  if (late) {
    ::kill(pid, SIGKILL);
    WaitForPid(pid, std::chrono::seconds(5));
    result.status = -1;
    return result;
  }
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  result.status = WaitForPid(pid, std::max(left, std::chrono::milliseconds(1)));
  if (result.status == -1) {
    ::kill(pid, SIGKILL);
    WaitForPid(pid, std::chrono::seconds(5));
  }
  return result;
}

bool Poll(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  Pause pause(std::chrono::steady_clock::now() + timeout);
  do {
    if (condition()) return true;
  } while (pause.Next());
  return false;
}

std::vector<pid_t> LivePrograms() {
  std::lock_guard<std::mutex> lock(g_liveMutex);
  return {g_live.begin(), g_live.end()};
}

}  // namespace detail

namespace {

void Forget(pid_t pid) {
  std::lock_guard<std::mutex> lock(detail::g_liveMutex);
  detail::g_live.erase(pid);
}

}  // namespace

Program::~Program() {
  if (pid_ > 0 && !status_) Kill();
}

Program::Program(Program&& other) noexcept
    : pid_(other.pid_), path_(std::move(other.path_)), status_(other.status_) {
  other.pid_ = -1;
}

Program& Program::operator=(Program&& other) noexcept {
  if (this != &other) {
    if (pid_ > 0 && !status_) Kill();
    pid_ = other.pid_;
    path_ = std::move(other.path_);
    status_ = other.status_;
    other.pid_ = -1;
  }
  return *this;
}

bool Program::Reap(bool block) {
  if (status_) return true;
  if (pid_ <= 0) return false;
  int status = 0;
  pid_t r;
  do r = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
  while (r < 0 && errno == EINTR);
  if (r == 0) return false;
  status_ = r == pid_ ? detail::StatusOf(status) : -1;
  Forget(pid_);
  return true;
}

bool Program::Running() { return pid_ > 0 && !Reap(false); }

std::optional<int> Program::ExitStatus() {
  Reap(false);
  return status_;
}

std::optional<int> Program::WaitForExit(std::chrono::milliseconds timeout) {
  detail::Pause pause(std::chrono::steady_clock::now() + timeout);
  do {
    if (Reap(false)) return status_;
  } while (pause.Next());
  return std::nullopt;
}

int Program::Kill(std::chrono::milliseconds grace) {
  if (pid_ <= 0) return -1;
  if (!status_) {
    status_ = detail::EndProcess(pid_, true, grace);
    Forget(pid_);
  }
  return *status_;
}

Program StartProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& workDir, const Environment& env) {
  detail::SpawnRequest request;
  request.path = program.find('/') == std::string::npos ? std::string(KRV_BIN_DIR) + "/" + program
                                                      : program;
  request.argv.push_back(request.path);
  request.argv.insert(request.argv.end(), args.begin(), args.end());
  Environment changes;
  if (detail::g_hooks) {
    changes = detail::g_hooks->environment;
  } else {
    changes["QT_QPA_PLATFORM"] = "offscreen";
    changes["DISPLAY"] = std::nullopt;
  }
  for (const auto& [name, value] : env) changes[name] = value;
  request.envp = detail::ChangedEnvironment(changes);
  request.workDir = workDir;
  request.ownGroup = true;
  std::string error;
  std::lock_guard<std::mutex> lock(detail::g_liveMutex);
  pid_t pid = detail::Spawn(request, error);
  if (pid < 0) throw std::runtime_error("StartProgram: " + error);
  detail::g_live.insert(pid);
  Program p;
  p.pid_ = pid;
  p.path_ = request.path;
  return p;
}

bool ProcessAlive(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
               const std::string& what) {
  if (detail::Poll(condition, timeout)) return true;
  std::string shot;
  if (detail::g_hooks && detail::g_hooks->screenshot)
    shot = detail::g_hooks->screenshot(what.empty() ? "wait" : what);
  std::cerr << "WaitUntil: " << (what.empty() ? "the condition" : what)
            << " did not come true within " << timeout.count() << " ms";
  if (!shot.empty()) std::cerr << "; the screen then: " << shot;
  std::cerr << std::endl;
  return false;
}

}  // namespace krv::testing
