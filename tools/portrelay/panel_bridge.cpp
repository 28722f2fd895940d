#include "panel_bridge.h"

#include <chrono>

namespace host {

std::string PanelBridge::run(std::function<std::string()> job, const std::string& busy) {
  auto entry = std::make_shared<Job>();
  entry->work = std::move(job);
  std::unique_lock lock(mutex_);
  if (closed_) return busy;
  jobs_.push_back(entry);
  // The end of the run (close) answers a waiting job at once, so the server stops promptly.
  if (!finished_.wait_for(lock, std::chrono::seconds(2), [&] { return entry->done || closed_; }) || !entry->done) {
    std::erase(jobs_, entry);
    return busy;
  }
  return entry->answer;
}

void PanelBridge::serve() {
  for (;;) {
    std::shared_ptr<Job> job;
    {
      std::lock_guard lock(mutex_);
      if (jobs_.empty()) return;
      job = jobs_.front();
      jobs_.pop_front();
    }
    std::string answer = job->work();
    {
      std::lock_guard lock(mutex_);
      job->answer = std::move(answer);
      job->done = true;
    }
    finished_.notify_all();
  }
}

void PanelBridge::publish(std::string status) {
  std::lock_guard lock(mutex_);
  status_ = std::move(status);
}

std::string PanelBridge::status() const {
  std::lock_guard lock(mutex_);
  return status_;
}

void PanelBridge::close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    jobs_.clear();
  }
  finished_.notify_all();
}

}  // namespace host
