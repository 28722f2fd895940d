#include "platform/paths.h"

#include <windows.h>
#include <shlobj.h>

namespace portrelay::platform {

const char kPathSeparator = '\\';

std::string systemDocumentsFolder() {
  char path[MAX_PATH] = {};
  if (SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, 0, path) != S_OK) return {};
  return path;
}

std::string commonDocumentsFolder() {
  char path[MAX_PATH] = {};
  if (SHGetFolderPathA(nullptr, CSIDL_COMMON_DOCUMENTS, nullptr, 0, path) != S_OK) return {};
  return path;
}

std::string currentDirectory() {
  char path[MAX_PATH] = {};
  const DWORD n = GetCurrentDirectoryA(MAX_PATH, path);
  if (n == 0 || n >= MAX_PATH) return {};
  return path;
}

bool createDirectory(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

}  // namespace portrelay::platform
