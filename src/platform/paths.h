// The user's Documents folder and directory creation.
#pragma once
#include <string>

namespace portrelay::platform {

// Separator of path components on this platform.
extern const char kPathSeparator;

// The current user's Documents folder, or an empty string when it cannot be
// determined. Windows: SHGetFolderPathA(CSIDL_PERSONAL). POSIX: the home
// directory of the process's user (password database) followed by "/Documents".
// Asks the services in force (platform/services.h).
std::string documentsFolder();

// The folder of documents shared by all users, or an empty string where there
// is none. Windows: SHGetFolderPathA(CSIDL_COMMON_DOCUMENTS). POSIX: none.
std::string commonDocumentsFolder();

// The process's current directory, or an empty string when it cannot be read.
std::string currentDirectory();

// Creates a directory and every missing folder above it. True when the
// directory exists afterwards (also when it existed before).
bool createDirectories(const std::string& path);

}  // namespace portrelay::platform
