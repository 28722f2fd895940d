// Between the panel's server threads and the host's main loop: what changes
// the running profile or operates the rig runs on the main loop, one job at a
// time beside the terminal's own actions; what the loop knows (operation,
// warnings, notices) it publishes for the page.
#pragma once
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace host {

class PanelBridge {
 public:
  // Server thread: runs `job` on the main loop and returns its answer, or
  // `busy` when the loop has not taken it within two seconds.
  std::string run(std::function<std::string()> job, const std::string& busy);
  // Main loop: runs the jobs waiting.
  void serve();
  // Main loop: the newest status (a JSON object); any thread reads it.
  void publish(std::string status);
  std::string status() const;
  // After the end: jobs are no longer taken.
  void close();

 private:
  struct Job {
    std::function<std::string()> work;
    std::string answer;
    bool done = false;
  };
  mutable std::mutex mutex_;
  std::condition_variable finished_;
  std::deque<std::shared_ptr<Job>> jobs_;
  std::string status_ = "{}";
  bool closed_ = false;
};

}  // namespace host
