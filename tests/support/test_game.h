// A scripted game for driving the engine loop through its states.
#pragma once
#include <atomic>
#include <functional>

#include "sources/game_reader.h"

namespace portrelay::testing {

class TestGame : public GameReader {
 public:
  std::atomic<bool> running{true};      // detection passes
  std::atomic<bool> attachable{true};   // attach succeeds
  std::atomic<int> reads{0};
  std::atomic<int> attaches{0};
  std::atomic<int> detaches{0};
  std::atomic<int> readsAtFirstDetach{-1};
  // Called on the engine thread for each read; returns whether a sample was written.
  std::function<bool(SampleRecord&, int readNumber)> onRead = [](SampleRecord&, int) { return true; };

  void setGround(int32_t state) { setGroundState(state); }

  bool detect() override { return running.load(); }
  bool attach() override {
    ++attaches;
    return attachable.load();
  }
  bool read(SampleRecord& record) override {
    const int n = ++reads;
    const bool fresh = onRead(record, n);
    if (fresh) markSample(record);
    return fresh;
  }
  void detach() override {
    int expected = -1;
    readsAtFirstDetach.compare_exchange_strong(expected, reads.load());
    ++detaches;
  }
};

}  // namespace portrelay::testing
