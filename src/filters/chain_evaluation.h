// Running one value through a filter chain: the innermost keyword acts first,
// the outermost last, so GAIN(EMALP(VALUE;10);2) low-passes and then doubles.
#pragma once
#include "filters/filter_sys.h"

namespace portrelay {

// Evaluates the chain whose head is `head`; the caller holds the head for the
// whole call. An invalid chain returns 0.0 and changes nothing. Runs on one
// thread per chain (node memory is not locked) and allocates nothing.
//
// Non-finite values never reach the chain's memory: a NaN or infinite input is
// replaced by the chain's last finite input (0 at first), node memory keeps its
// old value instead of storing a non-finite one, and a result that is not
// finite (an overflow inside the chain) is replaced by the chain's last finite
// result (0 at first). The result is therefore always finite.
double evaluateChain(FilterSys& head, double x, double valueGain, double lowPassScale,
                     double highPassScale);

}  // namespace portrelay
