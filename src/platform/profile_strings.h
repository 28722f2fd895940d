// Reading "profile" (INI) files: [section] headers and key=value lines.
//
// Windows: GetPrivateProfileStringA and GetPrivateProfileSectionNamesA. POSIX:
// the same reading done here, with the same rules: section and key names
// compare without regard to letter case, blanks around names and values are
// dropped, a value in matching quotes loses them, lines starting with ';' are
// comments, and a key given twice counts the first time.
#pragma once
#include <string>

namespace portrelay::platform {

// True when `path` names a readable file holding the section `section`.
bool profileSectionExists(const std::string& path, const std::string& section);

// The value of `key` in `section` of the file, or `fallback` when the file,
// the section or the key is missing. Values are cut at 255 characters.
std::string readProfileString(const std::string& path, const std::string& section, const std::string& key,
                              const std::string& fallback);

}  // namespace portrelay::platform
