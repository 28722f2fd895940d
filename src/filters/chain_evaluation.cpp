#include "filters/chain_evaluation.h"

#include <cmath>

#include "filters/filter_steps.h"

namespace portrelay {

double evaluateChain(FilterSys& head, double x, double valueGain, double lowPassScale,
                     double highPassScale) {
  if (!head.valid.load(std::memory_order_acquire)) return 0.0;
  const ChainScales scales{valueGain, lowPassScale, highPassScale};

  if (std::isfinite(x)) {
    head.lastFiniteInput = x;
  } else {
    x = head.lastFiniteInput;
  }

  FilterSys* node = &head;
  while (FilterSys* next = node->nextNode()) node = next;

  // Walk back from the tail; the walker holds each node it steps through.
  std::shared_ptr<FilterSys> held;
  for (;;) {
    x = stepNode(*node, x, scales);
    if (node == &head) break;
    held = node->previousNode();
    if (!held) break;  // the outer part of the chain is gone: keep what we have
    node = held.get();
  }

  if (std::isfinite(x)) {
    head.lastFiniteOutput = x;
  } else {
    x = head.lastFiniteOutput;
  }
  return x;
}

}  // namespace portrelay
