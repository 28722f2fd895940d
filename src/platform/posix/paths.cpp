#include "platform/paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace portrelay::platform {

const char kPathSeparator = '/';

std::string systemDocumentsFolder() {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
      found->pw_dir == nullptr || found->pw_dir[0] == '\0')
    return {};
  return std::string(found->pw_dir) + "/Documents";
}

std::string commonDocumentsFolder() { return {}; }

std::string currentDirectory() {
  std::vector<char> buffer(4096);
  if (getcwd(buffer.data(), buffer.size()) == nullptr) return {};
  return buffer.data();
}

bool createDirectory(const std::string& path) { return mkdir(path.c_str(), 0755) == 0; }

}  // namespace portrelay::platform
