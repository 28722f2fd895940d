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

bool createDirectories(const std::string& path) {
  if (path.empty()) return false;
  // Every prefix that ends before a separator, then the whole path. A drive
  // ("C:"), a share root or a level that exists already simply fails to be
  // created and is passed over.
  for (size_t end = path.find_first_of("\\/", 1); end != std::string::npos;
       end = path.find_first_of("\\/", end + 1))
    (void)CreateDirectoryA(path.substr(0, end).c_str(), nullptr);
  (void)CreateDirectoryA(path.c_str(), nullptr);
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace portrelay::platform
