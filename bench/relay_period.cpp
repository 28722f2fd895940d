// relay_period [seconds]: runs the relay cycle against the virtual rig and
// prints the distribution of the cycle period and of the time from
// sendMessagemmf to the last byte of that message arriving at the rig.
// Under Wine, run it after the Windows test run has mapped the rig's COM port
// (ctest --preset mingw does), e.g. wine build/mingw/bin/relay_period.exe 5.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "platform/serial_port.h"
#include "riglink/link_state.h"
#include "bench_rig_port.h"
#include "simulated_rig.h"

using namespace portrelay;

namespace {

void printDistribution(const char* title, std::vector<double> values, const char* unit) {
  if (values.empty()) {
    std::printf("%s: no samples\n", title);
    return;
  }
  std::sort(values.begin(), values.end());
  auto at = [&](double q) { return values[std::min(values.size() - 1, static_cast<size_t>(q * values.size()))]; };
  std::printf("%s (%zu samples): min %.3f  p50 %.3f  p99 %.3f  max %.3f %s\n", title, values.size(), values.front(),
              at(0.50), at(0.99), values.back(), unit);
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  rigsim::SimulatedRig rig;
  const int com = bench::startRigOnComPort(rig, "relay_period");
  if (com == 0) return 1;

  auto link = std::make_unique<RigLink>();  // large: its queues hold fixed slots
  RigLink& state = *link;
  state.setRelayRunning(1);
  state.mode().resume();
  state.setAutoconnect(1);
  if (state.scanForRig() != 1) {
    std::fprintf(stderr, "the virtual rig was not found on COM%d\n", com);
    return 1;
  }
  const int64_t offset = rig.clockOffsetNs();
  const uint64_t generation = state.rigPort().generation();

  // Messages at 3 to 7 ms intervals, as a host might send them.
  std::atomic<bool> sending{true};
  std::map<uint16_t, int64_t> sentAt;
  std::thread sender([&] {
    uint16_t sequence = 0;
    unsigned seed = 12345;
    while (sending) {
      const uint8_t message[8] = {0xF9, 0xF9, 0x30, 0x00, static_cast<uint8_t>(sequence & 0xFF),
                                  static_cast<uint8_t>(sequence >> 8), 0x0A, 0x0D};
      const int64_t now = rigsim::monotonicNs();
      if (state.sendMessage(message) == 1) sentAt[sequence++] = now;
      seed = seed * 1103515245u + 12345u;
      std::this_thread::sleep_for(std::chrono::microseconds(3000 + (seed >> 8) % 4000));
    }
  });

  std::vector<double> periods;
  auto last = std::chrono::steady_clock::now();
  const auto end = last + std::chrono::seconds(seconds);
  while (last < end) {
    state.relayCycle(generation);
    const auto now = std::chrono::steady_clock::now();
    periods.push_back(std::chrono::duration<double, std::milli>(now - last).count());
    last = now;
    if (state.newMessage()) {
      uint8_t drain[512];
      while (state.readMessage(drain) > 0) {
      }
    }
  }
  sending = false;
  sender.join();
  for (int i = 0; i < 50; ++i) state.relayCycle(generation);  // let the last messages out

  std::vector<double> latencies;
  for (const rigsim::ReceivedFrame& frame : rig.frames()) {
    if (frame.bytes.size() != 8 || frame.bytes[2] != 0x30) continue;
    const uint16_t sequence = static_cast<uint16_t>(frame.bytes[4] | (frame.bytes[5] << 8));
    const auto sent = sentAt.find(sequence);
    if (sent != sentAt.end()) latencies.push_back(static_cast<double>(frame.arrivalNs - offset - sent->second) / 1e6);
  }
  printDistribution("relay cycle period", periods, "ms");
  printDistribution("sendMessagemmf to rig", latencies, "ms");
  std::printf("messages sent %zu, received by the rig %zu, CRC errors at the rig %llu\n", sentAt.size(),
              latencies.size(), static_cast<unsigned long long>(rig.stats().checksumErrors));
  state.closeRigPort();
  return 0;
}
