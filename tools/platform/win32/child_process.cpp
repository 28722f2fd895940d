#include "tools/platform/child_process.h"

#include <windows.h>

#include <atomic>

namespace portrelay::platform {
namespace {

std::atomic<bool> stopFlag{false};

BOOL WINAPI onConsoleControl(DWORD) {
  stopFlag.store(true);
  return TRUE;
}

std::string quoted(const std::string& word) {
  std::string out = "\"";
  for (char c : word) {
    if (c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::launch(const std::string& program, const std::string& processName,
                                                   const std::vector<std::string>& arguments) {
  static std::atomic<int> counter{0};
  std::unique_ptr<ChildProcess> child(new ChildProcess());
  std::string image = program;
  const size_t cut = program.find_last_of("\\/");
  const std::string fileName = cut == std::string::npos ? program : program.substr(cut + 1);
  if (fileName != processName) {
    char temp[MAX_PATH] = {};
    if (GetTempPathA(MAX_PATH, temp) == 0) return nullptr;
    child->copyFolder_ = std::string(temp) + "portrelay-" + std::to_string(GetCurrentProcessId()) + "-" +
                         std::to_string(counter++);
    CreateDirectoryA(child->copyFolder_.c_str(), nullptr);
    image = child->copyFolder_ + "\\" + processName;
    if (!CopyFileA(program.c_str(), image.c_str(), FALSE)) {
      child->ended_ = true;  // nothing to stop; the destructor removes the folder
      return nullptr;
    }
  }
  std::string commandLine = quoted(processName);
  for (const auto& argument : arguments) commandLine += " " + quoted(argument);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(image.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info)) {
    child->ended_ = true;
    return nullptr;
  }
  CloseHandle(info.hThread);
  child->id_ = info.dwProcessId;
  child->handle_ = reinterpret_cast<intptr_t>(info.hProcess);
  return child;
}

ChildProcess::~ChildProcess() {
  if (!ended_) stop();
  if (handle_ != 0) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  removeCopy();
}

int ChildProcess::wait(int timeoutMs) {
  if (ended_) return exitCode_;
  HANDLE process = reinterpret_cast<HANDLE>(handle_);
  if (WaitForSingleObject(process, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  ended_ = true;
  exitCode_ = static_cast<int>(code);
  return exitCode_;
}

bool ChildProcess::running() { return !ended_ && wait(0) == -1; }

int ChildProcess::stop(int timeoutMs) {
  if (ended_) return exitCode_;
  TerminateProcess(reinterpret_cast<HANDLE>(handle_), 1);
  wait(timeoutMs);
  return exitCode_;
}

void ChildProcess::removeCopy() {
  if (copyFolder_.empty()) return;
  const std::string pattern = copyFolder_ + "\\*";
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name != "." && name != "..") DeleteFileA((copyFolder_ + "\\" + name).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(copyFolder_.c_str());
  copyFolder_.clear();
}

void installStopRequestHandler() { SetConsoleCtrlHandler(onConsoleControl, TRUE); }

bool stopRequested() { return stopFlag.load(); }

}  // namespace portrelay::platform
