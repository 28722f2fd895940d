#include "filters/filter_parser.h"

#include <cmath>

#include "filters/filter_text.h"
#include "filters/trailing_number.h"

namespace portrelay {
namespace {

std::shared_ptr<FilterSys> invalidChain() { return std::make_shared<FilterSys>(); }

// Argument checks beyond the count. Arguments are stored as floats, so one
// beyond the float range (a 40-digit number is a finite double) would become
// infinite in the node and leave the slot stuck; it fails the parse instead.
bool argumentsAcceptable(FilterKind kind, const double (&args)[4]) {
  for (double arg : args)
    if (!std::isfinite(static_cast<float>(arg))) return false;
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

std::shared_ptr<FilterSys> parseFilterString(std::string_view text) {
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

  for (size_t nodes = 1; nodes <= kMaxChainNodes; ++nodes) {
    if (current == "VALUE") {
      append(FilterSys::create(FilterKind::Value));
      head->valid.store(true, std::memory_order_release);
      return head;
    }

    const size_t open = current.find('(');
    const size_t close = current.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || open > close)
      return invalidChain();
    const auto kind = keywordKind(trimFilterSpace(current.substr(0, open)));
    if (!kind) return invalidChain();
    std::string_view list = current.substr(open + 1, close - open - 1);

    double args[4] = {0.0, 0.0, 0.0, 0.0};
    if (*kind == FilterKind::Abs) {
      // ABS takes no number: a number after the last ';' is an error.
      std::string_view trial = list;
      double ignored = 0.0;
      if (numbers.take(trial, ignored)) return invalidChain();
    }
    for (int i = filterArgumentCount(*kind); i-- > 0;)
      if (!numbers.take(list, args[i])) return invalidChain();
    if (!argumentsAcceptable(*kind, args)) return invalidChain();

    append(FilterSys::create(*kind, args[0], args[1], args[2], args[3]));
    current = list;
  }
  return invalidChain();
}

}  // namespace portrelay
