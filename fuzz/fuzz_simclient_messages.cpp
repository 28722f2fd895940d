// The flight simulator's client on arbitrary bytes from the server side: the
// input arrives through a transport in reads whose lengths the input's first
// byte chooses, is cut into messages, and every message goes through the
// reader's dispatch. Nothing may read past what arrived, the polling must end
// within a bounded number of cycles, and the record may only hold finite
// values with a ground state of 0 or 1.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/stream_transport.h"
#include "simclient/client.h"
#include "sources/readers/flight_simulator.h"

namespace {

using namespace portrelay;

// Hands out the bytes in reads of 1 to 256 bytes, now and then nothing, then
// reports the stream ended.
class ScriptedTransport final : public platform::StreamTransport {
 public:
  ScriptedTransport(const uint8_t* data, size_t size, uint8_t seed) : data_(data), size_(size), state_(seed | 1u) {}
  int receive(uint8_t* buffer, int capacity) override {
    if (at_ == size_) {
      error_ = platform::kErrorConnectionReset;
      return -1;
    }
    state_ = state_ * 1103515245u + 12345u;
    if ((state_ >> 28) == 0) return 0;  // nothing arrived this time
    size_t n = 1 + ((state_ >> 16) & 0xFF);
    if (n > size_ - at_) n = size_ - at_;
    if (n > static_cast<size_t>(capacity)) n = static_cast<size_t>(capacity);
    std::memcpy(buffer, data_ + at_, n);  // a copy, so that reads past it are caught
    at_ += n;
    return static_cast<int>(n);
  }
  bool send(const uint8_t*, int, int) override { return error_ == 0; }
  uint32_t error() const override { return error_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
  uint32_t state_;
  uint32_t error_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  auto transport = std::make_unique<ScriptedTransport>(data + 1, size - 1, data[0]);
  simclient::ClientClient client(std::move(transport), simclient::TransportKind::Socket, {}, {});
  SampleRecord record;
  int32_t ground = 0;
  simclient::ClientResult last = simclient::kResultOk;
  // Each cycle takes at least one read or one message; the input bounds both.
  const size_t cycleLimit = 2 * size + 16;
  size_t cycles = 0;
  while (readers::flightsim::pollMessages(client, record, ground, last)) {
    if (++cycles > cycleLimit) __builtin_trap();  // the reader would hold on to a dead peer
  }
  for (double v : record.data)
    if (!std::isfinite(v)) __builtin_trap();
  if (ground != 0 && ground != 1) __builtin_trap();
  return 0;
}
