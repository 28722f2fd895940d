#include "simserver/sim_server.h"

#include <chrono>

namespace simserver {
namespace {
double steadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
}  // namespace

bool SimServer::start() {
  stop();
  if (options_.tcp) {
    uint16_t port = options_.tcpPort;
    auto tcp = listenTcp(port);
    if (tcp == nullptr) return false;
    tcpPort_ = port;
    listeners_.push_back(std::move(tcp));
  }
  if (!options_.pipeName.empty()) {
    auto pipe = listenPipe(options_.pipeName);
    if (pipe == nullptr) {
      listeners_.clear();
      return false;
    }
    listeners_.push_back(std::move(pipe));
  }
  running_.store(true);
  for (auto& listener : listeners_) threads_.emplace_back([this, &listener] { serve(*listener); });
  return true;
}

void SimServer::stop() {
  running_.store(false);
  for (auto& thread : threads_)
    if (thread.joinable()) thread.join();
  threads_.clear();
  listeners_.clear();
}

void SimServer::hold(double seconds) {
  std::lock_guard lock(mutex_);
  clockBase_ = seconds;
  held_ = true;
}

void SimServer::run() {
  std::lock_guard lock(mutex_);
  held_ = false;
  clockStart_ = steadySeconds();
}

double SimServer::flightTime() const {
  std::lock_guard lock(mutex_);
  if (held_ || clockStart_ < 0.0) return clockBase_;
  return clockBase_ + steadySeconds() - clockStart_;
}

bool SimServer::sendBytes(const std::vector<uint8_t>& bytes) {
  std::lock_guard lock(mutex_);
  return link_ != nullptr && link_->send(bytes.data(), static_cast<int>(bytes.size()));
}

std::vector<std::string> SimServer::violations() const {
  std::lock_guard lock(mutex_);
  return violations_;
}

void SimServer::serve(ServerListener& listener) {
  while (running_.load()) {
    std::unique_ptr<ServerLink> link = listener.accept(20);
    if (link == nullptr) continue;
    {
      std::lock_guard lock(mutex_);
      if (link_ != nullptr) continue;  // one client at a time; the newcomer is dropped
      link_ = link.get();
    }
    clients_.fetch_add(1);
    connected_.store(true);
    session(*link);
    // A session that ended is no longer set up: a test that waits for the
    // next client's set-up must not be answered by this one's.
    setUp_.store(false);
    connected_.store(false);
    std::lock_guard lock(mutex_);
    link_ = nullptr;
  }
}

void SimServer::session(ServerLink& link) {
  PacketChecker checker;
  setUp_.store(false);
  bool opened = false, streaming = false;
  const double period = options_.rateHz > 0.0 ? 1.0 / options_.rateHz : 0.0;
  double nextData = 0.0;
  uint8_t buffer[16384];
  while (running_.load()) {
    int waitMs = 5;
    if (streaming && period > 0.0) {
      const double now = steadySeconds();
      if (now >= nextData) {
        if (!sendData(FlightScript().at(flightTime()))) break;
        dataSent_.fetch_add(1);
        nextData = now - nextData > period ? now + period : nextData + period;
      }
      waitMs = static_cast<int>((nextData - steadySeconds()) * 1000.0);
      if (waitMs < 0) waitMs = 0;
      if (waitMs > 5) waitMs = 5;
    }
    const int n = link.receive(buffer, sizeof buffer, waitMs);
    if (n < 0) break;  // the client left
    if (n == 0) continue;
    const size_t before = checker.violations().size();
    checker.feed(buffer, static_cast<size_t>(n));
    if (checker.violations().size() > before) {
      std::lock_guard lock(mutex_);
      violations_.insert(violations_.end(), checker.violations().begin() + static_cast<std::ptrdiff_t>(before),
                         checker.violations().end());
    }
    if (checker.opened() && !opened) {
      opened = true;
      if (!sendBytes(openMessage())) break;
    }
    if (checker.dataRequested() && !streaming) {
      streaming = true;
      nextData = steadySeconds();
      std::lock_guard lock(mutex_);
      if (clockStart_ < 0.0) clockStart_ = steadySeconds();
    }
    setUp_.store(checker.setUpComplete());
  }
}

}  // namespace simserver
