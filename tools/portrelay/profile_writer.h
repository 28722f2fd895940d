// Writes the motion profiles the owner tuned back into the profile file.
#pragma once
#include <string>

#include "library_api.h"
#include "profile.h"

namespace host {

// Rewrites `path` with the slots of `profile`'s AIR and GROUND profiles in
// place of the file's, everything else of the file kept as it was. The result
// is checked as a whole first; it is written to a temporary file beside the
// profile and renamed over it, the previous file kept as PATH.bak. False (with
// the reason) when the file cannot be read, the result does not pass or the
// writing fails; the file is then untouched.
bool saveProfileSlots(const std::string& path, const Profile& profile, const LibraryApi& api, std::string& error);

}  // namespace host
