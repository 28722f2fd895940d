#include "filter_warnings.h"

#include <cstdlib>
#include <sstream>

namespace host {

std::vector<std::string> filterWarnings(const std::string& filter, const std::string& tree) {
  std::vector<std::string> warnings;
  const size_t close = filter.rfind(')');
  if (close != std::string::npos && filter.find_first_not_of(" \t\r\n\v\f", close + 1) != std::string::npos)
    warnings.push_back("the text after the last ')' is ignored: \"" + filter.substr(close + 1) + "\"");

  std::istringstream nodes(tree);
  for (std::string line; std::getline(nodes, line);) {
    const size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos || line.compare(start, 5, "CROP ") != 0) continue;
    const char* numbers = line.c_str() + start + 5;
    char* rest = nullptr;
    const double lower = std::strtod(numbers, &rest);
    const double upper = std::strtod(rest + 1, nullptr);  // after the ';'
    if (lower > upper)
      warnings.push_back("CROP with its lower bound above its upper bound always gives the lower bound (" +
                         line.substr(start + 5) + ")");
  }
  return warnings;
}

}  // namespace host
