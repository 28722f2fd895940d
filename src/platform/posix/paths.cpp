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

namespace {
bool isDirectory(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}
}  // namespace

bool createDirectories(const std::string& path) {
  if (path.empty()) return false;
  // Every prefix that ends before a separator, then the whole path; a level
  // that exists already (or cannot be made) is passed over.
  for (size_t end = path.find('/', 1); end != std::string::npos; end = path.find('/', end + 1))
    (void)mkdir(path.substr(0, end).c_str(), 0755);
  (void)mkdir(path.c_str(), 0755);
  return isDirectory(path);
}

}  // namespace portrelay::platform
