// One node of a filter chain. A chain runs head (outermost keyword) -> ... ->
// tail (the VALUE node); each node owns the next and points back weakly to
// the previous, so releasing the head releases the whole chain.
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "filters/filter_kind.h"
#include "filters/noise_layer.h"

namespace portrelay {

class FilterSys : public std::enable_shared_from_this<FilterSys> {
 public:
  // A node of `kind` with its arguments (narrowed to float); NOISE nodes get
  // their NoiseLayer here.
  static std::shared_ptr<FilterSys> create(FilterKind kind, double p1 = 0.0, double p2 = 0.0,
                                           double p3 = 0.0, double p4 = 0.0);

  FilterSys() = default;
  FilterSys(const FilterSys&) = delete;
  FilterSys& operator=(const FilterSys&) = delete;
  // Releases the rest of the chain node by node: a deep chain must not
  // recurse once per node through the destructors.
  ~FilterSys();

  // Makes `node` the next of `tail` and `tail` the previous of `node`, under
  // both link locks.
  static void link(FilterSys& tail, const std::shared_ptr<FilterSys>& node);

  // The following node, read under the link lock; null at the tail. The
  // pointer stays valid while the caller holds the chain's head.
  FilterSys* nextNode() const;
  // The previous node as a strong reference, taken under the link lock; empty
  // at the head or when the previous node is gone.
  std::shared_ptr<FilterSys> previousNode() const;

  FilterKind kind = FilterKind::Value;
  std::string name;
  float p1 = 0.0f;
  float p2 = 0.0f;
  float p3 = 0.0f;
  float p4 = 0.0f;
  float state = 0.0f;  // filter memory; touched by the evaluating thread only
  std::shared_ptr<NoiseLayer> noise;
  // Set on the head once the parser reached VALUE; an invalid chain yields 0.
  std::atomic<bool> valid{false};
  // Head only, evaluating thread only: what a non-finite input or result is
  // replaced by (see evaluateChain).
  double lastFiniteInput = 0.0;
  double lastFiniteOutput = 0.0;

 private:
  mutable std::mutex linkLock_;  // guards next_ and prev_
  std::shared_ptr<FilterSys> next_;
  std::weak_ptr<FilterSys> prev_;
};

}  // namespace portrelay
