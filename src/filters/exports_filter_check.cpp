// Checking a filter string through the C ABI without installing it: the chain
// as an indented tree, or why and where the parser refused the text. Catches
// every exception: nothing may unwind into the host.
#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>

#include "filters/filter_parser.h"
#include "log/text_escape.h"
#include "portrelay/portrelay.h"

namespace portrelay {
namespace {

// Copies text into a caller's buffer of `size` bytes, cut to fit, always
// NUL-terminated (nothing for a null or empty buffer).
void copyOut(const std::string& text, char* buffer, int32_t size) {
  if (buffer == nullptr || size <= 0) return;
  const size_t length = std::min(text.size(), static_cast<size_t>(size) - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

// The shortest text that reads back as the stored float: 0.1, not 0.100000001.
std::string number(float value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

// One line per node, outermost first, each level two spaces deeper.
std::string chainTree(const FilterSys& head) {
  std::string tree;
  int depth = 0;
  for (const FilterSys* node = &head; node != nullptr; node = node->nextNode(), ++depth) {
    tree.append(static_cast<size_t>(2 * depth), ' ');
    tree += filterKindName(node->kind);
    const float args[4] = {node->p1, node->p2, node->p3, node->p4};
    const int count = node->kind == FilterKind::Value ? 0 : filterArgumentCount(node->kind);
    for (int i = 0; i < count; ++i) tree += (i == 0 ? " " : "; ") + number(args[i]);
    tree += '\n';
  }
  return tree;
}

int32_t checkFilter(const char* filter, char* text, int32_t textSize, int32_t* errorPosition) {
  if (filter == nullptr) {
    copyOut("no filter string", text, textSize);
    if (errorPosition != nullptr) *errorPosition = 0;
    return 0;
  }
  FilterParseProblem problem;
  const std::shared_ptr<FilterSys> chain = parseFilterString(filter, &problem);
  if (chain->valid.load(std::memory_order_acquire)) {
    copyOut(chainTree(*chain), text, textSize);
    if (errorPosition != nullptr) *errorPosition = -1;
    return 1;
  }
  std::string reason = problem.reason;
  // The keyword is the host's bytes: quoted escaped where they are not UTF-8.
  if (!problem.keyword.empty()) reason = escapeNonUtf8(problem.keyword) + ": " + reason;
  copyOut(reason, text, textSize);
  if (errorPosition != nullptr) *errorPosition = static_cast<int32_t>(problem.position);
  return 0;
}

}  // namespace
}  // namespace portrelay

extern "C" {

int32_t checkFilterstring(const char* filter, char* text, int32_t textSize, int32_t* errorPosition) {
  try {
    return portrelay::checkFilter(filter, text, textSize, errorPosition);
  } catch (...) {
    if (text != nullptr && textSize > 0) text[0] = '\0';
    if (errorPosition != nullptr) *errorPosition = 0;
    return -1;
  }
}

}  // extern "C"
