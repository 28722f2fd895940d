#include "filters/filter_parser.h"

#include <cmath>
#include <string>

#include "filters/filter_text.h"
#include "filters/trailing_number.h"

namespace portrelay {
namespace {

std::shared_ptr<FilterSys> invalidChain() { return std::make_shared<FilterSys>(); }

// Where the parentheses of a text stop pairing up: the first ')' without its
// '(', or the end of a text that leaves a '(' open; npos when they pair.
size_t unpairedParenthesis(std::string_view text) {
  long depth = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '(') ++depth;
    if (text[i] == ')' && --depth < 0) return i;
  }
  return depth > 0 ? text.size() : std::string_view::npos;
}

// Records why the parse failed (when asked) and gives the invalid chain. A
// refused text whose parentheses do not pair is reported as that: the parse
// reads the list up to the last ')', so a missing one otherwise surfaces as a
// misleading complaint about some number.
struct Refusal {
  std::string_view whole;
  FilterParseProblem* problem;

  std::shared_ptr<FilterSys> operator()(std::string_view at, const char* reason,
                                        std::string_view keyword = {}) const {
    if (problem != nullptr) {
      problem->position = static_cast<size_t>(at.data() - whole.data());
      problem->reason = reason;
      problem->keyword = keyword;
      const size_t unpaired = unpairedParenthesis(whole);
      if (unpaired != std::string_view::npos) {
        problem->position = unpaired;
        problem->reason = unpaired == whole.size() ? "missing ')'" : "')' without its '('";
        problem->keyword = {};
      }
    }
    return invalidChain();
  }
};

// Where an unreadable argument list starts going wrong: after its last ';', or
// its end when it holds none.
std::string_view lastArgument(std::string_view list) {
  const size_t semicolon = list.rfind(';');
  return semicolon == std::string_view::npos ? list.substr(list.size()) : list.substr(semicolon + 1);
}

// A text that is not a filter: the common slips get a precise reason.
const char* notAFilterReason(std::string_view current) {
  if (current.empty()) return "expected VALUE or KEYWORD(...), found nothing";
  if (trimFilterSpace(current) == "VALUE") return "VALUE must stand without spaces around it";
  std::string upper(current);
  for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  if (trimFilterSpace(upper) == "VALUE") return "VALUE must be written in capitals";
  return "expected VALUE or KEYWORD(...)";
}

// Argument checks beyond the count. Arguments are stored as floats, so one
// beyond the float range (a 40-digit number is a finite double) would become
// infinite in the node and leave the slot stuck; it fails the parse instead.
bool argumentsRepresentable(const double (&args)[4]) {
  for (double arg : args)
    if (!std::isfinite(static_cast<float>(arg))) return false;
  return true;
}

bool argumentsAcceptable(FilterKind kind, const double (&args)[4]) {
  switch (kind) {
    case FilterKind::Emalp:
    case FilterKind::Emahp:
      return args[0] >= 1.0;  // time constant in cycles
    case FilterKind::Remap:
      return std::fabs(args[1] - args[0]) >= 1e-9;  // the input range must not be empty
    default:
      return true;
  }
}

}  // namespace

std::shared_ptr<FilterSys> parseFilterString(std::string_view text) { return parseFilterString(text, nullptr); }

std::shared_ptr<FilterSys> parseFilterString(std::string_view text, FilterParseProblem* problem) {
  const Refusal refuse{text, problem};
  std::string_view current = trimFilterSpace(text);
  TrailingNumberReader numbers(current);
  std::shared_ptr<FilterSys> head;
  FilterSys* tail = nullptr;
  const auto append = [&](const std::shared_ptr<FilterSys>& node) {
    if (head) {
      FilterSys::link(*tail, node);
    } else {
      head = node;
    }
    tail = node.get();
  };

  std::string_view outerKeyword;  // the keyword whose list `current` came from
  for (size_t nodes = 1; nodes <= kMaxChainNodes; ++nodes) {
    if (current == "VALUE") {
      append(FilterSys::create(FilterKind::Value));
      head->valid.store(true, std::memory_order_release);
      return head;
    }

    const size_t open = current.find('(');
    const size_t close = current.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || open > close) {
      if (open != std::string_view::npos && close == std::string_view::npos)
        return refuse(current.substr(current.size()), "missing ')'");
      // "VALUE;2" left of the outer keyword's numbers: one number too many.
      std::string_view rest = current;
      double ignored = 0.0;
      if (!outerKeyword.empty() && numbers.take(rest, ignored))
        return refuse(lastArgument(current), "too many numbers", outerKeyword);
      return refuse(current, notAFilterReason(current));
    }
    const std::string_view keyword = trimFilterSpace(current.substr(0, open));
    const auto kind = keywordKind(keyword);
    if (!kind) return refuse(keyword.empty() ? current : keyword, "unknown keyword", keyword);
    std::string_view list = current.substr(open + 1, close - open - 1);

    double args[4] = {0.0, 0.0, 0.0, 0.0};
    if (*kind == FilterKind::Abs) {
      // ABS takes no number: a number after the last ';' is an error.
      std::string_view trial = list;
      double ignored = 0.0;
      if (numbers.take(trial, ignored)) return refuse(lastArgument(list), "takes no number", keyword);
    }
    for (int i = filterArgumentCount(*kind); i-- > 0;)
      if (!numbers.take(list, args[i]))
        return refuse(lastArgument(list), "a number is missing or unreadable (no exponent; 0x hex)", keyword);
    if (!argumentsRepresentable(args))
      return refuse(std::string_view(list.data() + list.size() + 1, 0), "a number is beyond the float range",
                    keyword);
    if (!argumentsAcceptable(*kind, args))
      return refuse(std::string_view(list.data() + list.size() + 1, 0),
                    *kind == FilterKind::Remap ? "the input range (low, high) must not be empty"
                                               : "the time constant must be at least 1",
                    keyword);

    append(FilterSys::create(*kind, args[0], args[1], args[2], args[3]));
    outerKeyword = keyword;
    current = list;
  }
  return refuse(current, "more than 128 filter nodes");
}

}  // namespace portrelay
