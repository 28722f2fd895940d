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

bool createDirectory(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

}  // namespace portrelay::platform
