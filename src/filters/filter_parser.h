// Filter strings such as EMALP(GAIN(VALUE;2);10) turned into FilterSys chains.
#pragma once
#include <cstddef>
#include <memory>
#include <string_view>

#include "filters/filter_sys.h"

namespace portrelay {

// Longest chain a filter string may build, VALUE included. A slot's chain is
// walked every 2-ms cycle; this keeps 32 slots at the limit within a small
// part of the cycle. Real filter strings nest a handful of keywords.
inline constexpr size_t kMaxChainNodes = 128;

// Parses a filter string. Never returns null: on success the head of the new
// chain with valid set; on any failure a lone default node (kind VALUE, empty
// name, numbers 0) that is not valid. Runs in time linear in the text length
// and never recurses.
//
// Grammar: `VALUE` exactly (case and spacing exact, the whole text trimmed of
// white space once), or KEYWORD(INNER;ARG1;...;ARGn) with a case-insensitive
// keyword, INNER again a filter string (untrimmed), and the keyword's number
// of arguments read from the end of the list. Text after the last ')' is
// ignored.
std::shared_ptr<FilterSys> parseFilterString(std::string_view text);

// Why and where a filter string was refused: `position` is the byte offset in
// the text given to parseFilterString (where the offending part starts),
// `reason` a static English text.
struct FilterParseProblem {
  size_t position = 0;
  const char* reason = "";
  // The keyword concerned, when there is one (points into the parsed text).
  std::string_view keyword;
};

// The same parse; on failure also fills `problem` (when not null).
std::shared_ptr<FilterSys> parseFilterString(std::string_view text, FilterParseProblem* problem);

}  // namespace portrelay
