// The filter page a tuner reads (docs/filters.md) lists every keyword with the
// count of numbers it takes; the parser's own table must say the same.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "filters/filter_kind.h"
#include "support/text_pattern.h"

namespace portrelay {
namespace {

// Rows of the page's keyword table: "| `KEYWORD` | COUNT | ...".
std::map<std::string, int> documentedKeywords() {
  std::ifstream page("docs/filters.md");
  EXPECT_TRUE(page) << "docs/filters.md is copied beside the tests by the build";
  std::map<std::string, int> keywords;
  const testing::TextPattern row(R"(^\| `([A-Z]+)` \| ([0-9]+) \|)");
  std::string line;
  while (std::getline(page, line)) {
    if (const auto match = row.search(line)) keywords[(*match)[1]] = std::stoi((*match)[2]);
  }
  return keywords;
}

TEST(FilterKeywordPage, ListsEveryKeywordWithItsNumberCount) {
  std::map<std::string, int> parser;
  for (int32_t code = 0;; ++code) {
    const std::string_view name = filterKindName(static_cast<FilterKind>(code));
    if (name == "UNKNOWN") break;
    parser[std::string(name)] = filterArgumentCount(static_cast<FilterKind>(code));
    if (code > 0) {
      EXPECT_TRUE(keywordKind(name)) << name << " opens a node";
    }
  }
  EXPECT_EQ(documentedKeywords(), parser);
}

}  // namespace
}  // namespace portrelay
