#include "tools/platform/child_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace portrelay::platform {
namespace {

volatile sig_atomic_t stopFlag = 0;

void onStopSignal(int) { stopFlag = 1; }

void sleepOneMillisecond() {
  timespec pause{0, 1000000};
  nanosleep(&pause, nullptr);
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::launch(const std::string& program, const std::string& processName,
                                                   const std::vector<std::string>& arguments) {
  std::vector<std::string> words;
  words.push_back(processName);
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return nullptr;
  std::unique_ptr<ChildProcess> child(new ChildProcess());
  child->id_ = static_cast<uint32_t>(pid);
  child->handle_ = pid;
  return child;
}

ChildProcess::~ChildProcess() {
  if (!ended_) stop();
}

int ChildProcess::wait(int timeoutMs) {
  for (int waited = 0;; ++waited) {
    if (ended_) return exitCode_;
    int status = 0;
    const pid_t done = waitpid(static_cast<pid_t>(handle_), &status, WNOHANG);
    if (done == static_cast<pid_t>(handle_) || done < 0) {
      ended_ = true;
      exitCode_ = done > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      if (done > 0 && WIFSIGNALED(status)) exitCode_ = 128 + WTERMSIG(status);
      return exitCode_;
    }
    if (waited >= timeoutMs) return -1;
    sleepOneMillisecond();
  }
}

bool ChildProcess::running() { return wait(0) == -1 && !ended_; }

int ChildProcess::stop(int timeoutMs) {
  if (ended_) return exitCode_;
  kill(static_cast<pid_t>(handle_), SIGTERM);
  if (wait(timeoutMs) != -1 || ended_) return exitCode_;
  kill(static_cast<pid_t>(handle_), SIGKILL);
  wait(timeoutMs);
  return exitCode_;
}

void ChildProcess::removeCopy() {}

void installStopRequestHandler() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

bool stopRequested() { return stopFlag != 0; }

}  // namespace portrelay::platform
