// Detached program starts: no shell, one argument per word, never waited for.
#include "platform/process_start.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

namespace krv::platform {

namespace {
// Double fork so the child is reparented and never left a zombie; a pipe
// closed on exec tells the parent whether execv succeeded.
class ForkStarter : public ProcessStarter {
 public:
  bool StartDetached(const std::string& program, const std::vector<std::string>& args,
                     const std::string& workDir) override {
    if (::access(program.c_str(), X_OK) != 0) return false;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    pid_t pid = ::fork();
    if (pid < 0) {
      ::close(fds[0]);
      ::close(fds[1]);
      return false;
    }
    if (pid == 0) {
      ::close(fds[0]);
      if (::fork() != 0) ::_exit(0);
      ::setsid();
      if (!workDir.empty() && ::chdir(workDir.c_str()) != 0) {
        char bad = 1;
        (void)!::write(fds[1], &bad, 1);
        ::_exit(127);
      }
      std::vector<char*> argv;
      argv.push_back(const_cast<char*>(program.c_str()));
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(program.c_str(), argv.data());
      char bad = 1;
      (void)!::write(fds[1], &bad, 1);
      ::_exit(127);
    }
    ::close(fds[1]);
    int status;
    ::waitpid(pid, &status, 0);
    char c;
    ssize_t n = ::read(fds[0], &c, 1);
    ::close(fds[0]);
    return n == 0;
  }
};

ForkStarter g_fork;
ProcessStarter* g_starter = &g_fork;
}  // namespace

ProcessStarter& Starter() { return *g_starter; }
void SetStarter(ProcessStarter* starter) { g_starter = starter ? starter : &g_fork; }

int RunShellCommand(const std::string& command) {
  int status = ::system(command.c_str());
  return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

}  // namespace krv::platform
