#include "filters/filter_sys.h"

namespace portrelay {

std::shared_ptr<FilterSys> FilterSys::create(FilterKind kind, double p1, double p2, double p3,
                                             double p4) {
  auto node = std::make_shared<FilterSys>();
  node->kind = kind;
  node->name = std::string(filterKindName(kind));
  node->p1 = static_cast<float>(p1);
  node->p2 = static_cast<float>(p2);
  node->p3 = static_cast<float>(p3);
  node->p4 = static_cast<float>(p4);
  if (kind == FilterKind::Noise) node->noise = std::make_shared<NoiseLayer>(node->p1, node->p2, node->p3);
  // Some thread libraries set a mutex up on its first use; do that here, on
  // the parsing thread, rather than in the first evaluation.
  { std::lock_guard lock(node->linkLock_); }
  return node;
}

FilterSys::~FilterSys() {
  std::shared_ptr<FilterSys> rest;
  {
    std::lock_guard lock(linkLock_);
    rest = std::move(next_);
  }
  // Detach each following node before it dies, so that its own destructor
  // finds nothing left to release. A node someone else still holds keeps its
  // tail, which is released later in the same way.
  while (rest) {
    std::shared_ptr<FilterSys> after;
    {
      std::lock_guard lock(rest->linkLock_);
      if (rest.use_count() != 1) break;
      after = std::move(rest->next_);
    }
    rest = std::move(after);
  }
}

void FilterSys::link(FilterSys& tail, const std::shared_ptr<FilterSys>& node) {
  std::scoped_lock lock(tail.linkLock_, node->linkLock_);
  tail.next_ = node;
  node->prev_ = tail.weak_from_this();
}

FilterSys* FilterSys::nextNode() const {
  std::lock_guard lock(linkLock_);
  return next_.get();
}

std::shared_ptr<FilterSys> FilterSys::previousNode() const {
  std::lock_guard lock(linkLock_);
  return prev_.lock();
}

}  // namespace portrelay
