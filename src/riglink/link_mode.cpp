#include "riglink/link_mode.h"

namespace portrelay {

LinkTransport LinkMode::transport() const { return transportOf(word_.load(std::memory_order_acquire)); }

uint32_t LinkMode::udpPeer() const {
  const uint64_t word = word_.load(std::memory_order_acquire);
  return transportOf(word) == LinkTransport::udp ? peerOf(word) : 0;
}

bool LinkMode::udpAccepts(uint32_t source) const {
  const uint64_t word = word_.load(std::memory_order_acquire);
  switch (transportOf(word)) {
    case LinkTransport::undecided: return true;
    case LinkTransport::udp: return peerOf(word) == source;
    default: return false;
  }
}

bool LinkMode::serialHeard() {
  uint64_t expected = pack(LinkTransport::undecided, 0);
  if (word_.compare_exchange_strong(expected, pack(LinkTransport::serial, 0), std::memory_order_acq_rel))
    return true;
  return transportOf(expected) == LinkTransport::serial;
}

void LinkMode::serialLost() {
  uint64_t expected = pack(LinkTransport::serial, 0);
  word_.compare_exchange_strong(expected, pack(LinkTransport::undecided, 0), std::memory_order_acq_rel);
}

bool LinkMode::udpHeard(uint32_t source, int64_t nowNs) {
  const uint64_t held = pack(LinkTransport::udp, source);
  uint64_t expected = pack(LinkTransport::undecided, 0);
  // The time first: a state that says UDP always has a fresh time beside it.
  const int64_t previous = udpLastHeardNs_.exchange(nowNs, std::memory_order_release);
  if (word_.compare_exchange_strong(expected, held, std::memory_order_acq_rel) || expected == held) return true;
  udpLastHeardNs_.store(previous, std::memory_order_release);  // refused: the peer's time stays
  return false;
}

bool LinkMode::expireUdp(int64_t nowNs, int64_t expiryNs) {
  uint64_t expected = word_.load(std::memory_order_acquire);
  if (transportOf(expected) != LinkTransport::udp) return false;
  if (nowNs - udpLastHeardNs_.load(std::memory_order_acquire) < expiryNs) return false;
  return word_.compare_exchange_strong(expected, pack(LinkTransport::undecided, 0), std::memory_order_acq_rel);
}

void LinkMode::stop() { word_.store(pack(LinkTransport::undecided, 0), std::memory_order_release); }

}  // namespace portrelay
