// The arithmetic of one filter node per call: doubles for the running value,
// floats for arguments and memory, single-precision sine and noise.
#pragma once
#include "filters/filter_sys.h"

namespace portrelay {

// The three scales of evaluateChain (the engine passes 1.0 for each).
struct ChainScales {
  double valueGain = 1.0;
  double lowPassScale = 1.0;
  double highPassScale = 1.0;
};

// Applies `node`'s step to x and returns the new running value. A memory value
// that would not be finite as a float is not stored: the node keeps its old
// memory, so one bad value can never poison later calls.
double stepNode(FilterSys& node, double x, const ChainScales& scales);

// ROLLOVER: folds x back at +-bound like a reflection, in closed form (the
// fold repeats every 4 * bound). Values within 4 * bound fold exactly as the
// step-by-step reflection does. A bound below 0 folds at |bound|; a bound of 0
// or NaN gives 0; a non-finite x gives 0; an infinite bound passes x.
double rolloverFold(double x, double bound);

}  // namespace portrelay
