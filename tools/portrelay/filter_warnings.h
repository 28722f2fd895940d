// Filter strings the library accepts as its language defines them but that
// are almost always slips, such as text after the last ')'.
#pragma once
#include <string>
#include <vector>

namespace host {

// One line per slip in `filter`, whose chain the library's check described
// as `tree` (checkFilterstring's text: one node per line, "CROP 1; -1").
std::vector<std::string> filterWarnings(const std::string& filter, const std::string& tree);

}  // namespace host
