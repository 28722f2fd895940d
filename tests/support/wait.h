// Waiting in a test for something another thread or process brings about.
#pragma once
#include <chrono>
#include <thread>

namespace portrelay::testing {

// Polls `done` every millisecond until it holds (true) or `limit` has passed
// (false). The limit only bounds a failing test: a loaded machine makes a
// passing one slower, never a failure.
template <class Done>
bool waitUntil(Done&& done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace portrelay::testing
