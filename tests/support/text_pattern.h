// A regular expression (ECMAScript, as std::regex) for tests that read text:
// log lines, headers, documentation pages, program output. <regex> costs
// several seconds of compile time in every file that includes it, so it is
// compiled once, here, and the tests see only strings.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace portrelay::testing {

class TextPattern {
 public:
  // The groups of a match: the whole match first, then each group in order.
  using Groups = std::vector<std::string>;

  explicit TextPattern(const std::string& pattern);
  ~TextPattern();
  TextPattern(const TextPattern&) = delete;
  TextPattern& operator=(const TextPattern&) = delete;

  // The whole text matches.
  std::optional<Groups> match(const std::string& text) const;
  // The first match within the text.
  std::optional<Groups> search(const std::string& text) const;
  // Every match within the text, in order, none overlapping.
  std::vector<Groups> searchAll(const std::string& text) const;

 private:
  struct Compiled;
  std::unique_ptr<Compiled> compiled_;
};

}  // namespace portrelay::testing
