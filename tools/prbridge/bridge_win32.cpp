#include "prbridge/bridge_win32.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#include "platform/shared_memory.h"

namespace prbridge {

namespace {

std::wstring wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring result(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), n);
  return result;
}

std::string narrow(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string result(static_cast<size_t>(n - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), n, nullptr, nullptr);
  return result;
}

// One line on standard error, with the system's text for `error` when given.
void refuse(const std::string& line, DWORD error = 0) {
  std::string text = "prbridge: " + line;
  if (error != 0) {
    char* message = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, reinterpret_cast<char*>(&message), 0, nullptr);
    std::string reason = n > 0 && message != nullptr ? std::string(message, n) : "error " + std::to_string(error);
    if (message != nullptr) LocalFree(message);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.'))
      reason.pop_back();
    text += ": " + reason;
  }
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
}

std::wstring stopEventName(const std::string& objectNamespace) {
  return wide(portrelay::platform::windowsObjectName("Local\\prbridge_stop", objectNamespace));
}

HANDLE stopEvent = nullptr;  // for the console handler

// A name may be taken only for a moment: the library's game detection, running
// natively beside the bridge, creates the truck simulator's small section to
// look into it and removes it at once. A backing file of another size is looked
// at again for 2 s before the name counts as another program's.
constexpr DWORD kTakenNameIntervalMs = 50;
constexpr int kTakenNameLooks = 40;

BOOL WINAPI onConsoleEvent(DWORD) {
  if (stopEvent != nullptr) SetEvent(stopEvent);
  return TRUE;
}

// Quotes one argument for a Windows command line (the rules CommandLineToArgvW undoes).
std::wstring quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
  std::wstring result = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    result.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    result.push_back(c);
  }
  result.append(backslashes * 2, L'\\');
  result.push_back(L'"');
  return result;
}

// Wine's own export that turns a Unix path into a Windows one; absent on Windows.
std::wstring windowsPathOf(const std::string& program) {
  if (program.empty() || program[0] != '/') return wide(program);
  using Convert = WCHAR* (*)(const char*);
  const auto convert = reinterpret_cast<Convert>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
  if (convert == nullptr) return wide(program);
  WCHAR* converted = convert(program.c_str());
  if (converted == nullptr) return wide(program);
  std::wstring result(converted);
  HeapFree(GetProcessHeap(), 0, converted);
  return result;
}

}  // namespace

struct HeldSections::Held {
  std::wstring path;
  HANDLE file = INVALID_HANDLE_VALUE;
  HANDLE mapping = nullptr;

  ~Held() {
    if (mapping != nullptr) CloseHandle(mapping);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (!path.empty()) DeleteFileW(path.c_str());
  }
};

HeldSections::HeldSections() = default;
HeldSections::~HeldSections() { release(); }

int HeldSections::create(const Options& options) {
  release();
  const std::wstring folder = wide(options.folder);
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    refuse("the shared-memory folder " + options.folder + " is missing (prbridge serves Wine and Proton on Linux)");
    return kExitNoFolder;
  }
  for (const Section& section : bridgedSections()) {
    const std::string fileName = backingFileName(section.windowsName, options.objectNamespace);
    const std::string mappingName = portrelay::platform::windowsObjectName(section.windowsName, options.objectNamespace);
    auto held = std::make_unique<Held>();
    const std::wstring path = folder + L"\\" + wide(fileName);
    bool existed = false;
    for (int look = 0;; ++look) {
      held->file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
      if (held->file == INVALID_HANDLE_VALUE) {
        refuse("cannot create " + options.folder + "\\" + fileName, GetLastError());
        release();
        return kExitCannotCreate;
      }
      existed = GetLastError() == ERROR_ALREADY_EXISTS;
      LARGE_INTEGER size{};
      if (!existed || (GetFileSizeEx(held->file, &size) && static_cast<uint64_t>(size.QuadPart) == section.size))
        break;
      CloseHandle(held->file);
      held->file = INVALID_HANDLE_VALUE;  // not ours to remove
      if (look == kTakenNameLooks) {
        refuse(options.folder + "\\" + fileName + " already exists with " + std::to_string(size.QuadPart) +
               " bytes, not " + std::to_string(section.size) + " (another program uses the name)");
        release();
        return kExitSectionExists;
      }
      Sleep(kTakenNameIntervalMs);
    }
    held->path = path;  // ours from here on (a same-size file an earlier bridge left is taken over)
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(section.size);
    if (!existed && (!SetFilePointerEx(held->file, end, nullptr, FILE_BEGIN) || !SetEndOfFile(held->file))) {
      refuse("cannot size " + options.folder + "\\" + fileName, GetLastError());
      release();
      return kExitCannotCreate;
    }
    held->mapping = CreateFileMappingW(held->file, nullptr, PAGE_READWRITE, 0, 0, wide(mappingName).c_str());
    const DWORD error = GetLastError();
    if (held->mapping != nullptr && error == ERROR_ALREADY_EXISTS) {
      CloseHandle(held->mapping);
      held->mapping = nullptr;
      if (existed) held->path.clear();  // the file of the bridge that made the section: left alone
      refuse("the section " + mappingName + " already exists in this prefix (start prbridge once, before the game)");
      release();
      return kExitSectionExists;
    }
    if (held->mapping == nullptr) {
      refuse("cannot create the section " + mappingName, error);
      release();
      return kExitCannotCreate;
    }
    if (existed) {
      // Left by a bridge that did not end cleanly: no game has written it in
      // this run, so it starts as a fresh section does, all zero.
      if (void* view = MapViewOfFile(held->mapping, FILE_MAP_WRITE, 0, 0, section.size)) {
        ZeroMemory(view, section.size);
        UnmapViewOfFile(view);
      }
    }
    held_.push_back(std::move(held));
  }
  return 0;
}

void HeldSections::release() {
  while (!held_.empty()) held_.pop_back();
}

bool StopSignal::listen(const std::string& objectNamespace) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, stopEventName(objectNamespace).c_str());
  if (event == nullptr) {
    refuse("cannot create the stop event", GetLastError());
    return false;
  }
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(event);
    refuse("a bridge already runs in this prefix");
    return false;
  }
  event_ = event;
  stopEvent = event;
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);
  return true;
}

bool StopSignal::request(const std::string& objectNamespace) {
  HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, stopEventName(objectNamespace).c_str());
  if (event == nullptr) return false;
  const bool set = SetEvent(event) != 0;
  CloseHandle(event);
  return set;
}

void StopSignal::wait() {
  if (event_ != nullptr) WaitForSingleObject(static_cast<HANDLE>(event_), INFINITE);
}

int StopSignal::waitFor(void* process) {
  HANDLE handles[2] = {static_cast<HANDLE>(process), static_cast<HANDLE>(event_)};
  const DWORD count = event_ != nullptr ? 2 : 1;
  if (WaitForMultipleObjects(count, handles, FALSE, INFINITE) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(handles[0], &code);
  return static_cast<int>(code);
}

StopSignal::~StopSignal() {
  SetConsoleCtrlHandler(onConsoleEvent, FALSE);
  stopEvent = nullptr;
  if (event_ != nullptr) CloseHandle(static_cast<HANDLE>(event_));
}

void* startProgram(const std::vector<std::string>& command) {
  std::wstring line = quoted(windowsPathOf(command.front()));
  for (size_t i = 1; i < command.size(); ++i) line += L" " + quoted(wide(command[i]));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    refuse("cannot start " + command.front(), GetLastError());
    return nullptr;
  }
  CloseHandle(process.hThread);
  return process.hProcess;
}

void closeProgram(void* process) {
  if (process != nullptr) CloseHandle(static_cast<HANDLE>(process));
}

std::vector<std::string> commandLineArguments() {
  int count = 0;
  LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; words != nullptr && i < count; ++i) arguments.push_back(narrow(words[i]));
  if (words != nullptr) LocalFree(words);
  return arguments;
}

}  // namespace prbridge
