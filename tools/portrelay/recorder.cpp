#include "recorder.h"

#include <algorithm>
#include <chrono>
#include <charconv>

#include "platform/clock.h"

namespace host {
namespace {

using Clock = std::chrono::steady_clock;

// Drained every 20 ms: about 10 records a time, far from the 150 (0.3 s) a
// history holds, so a stalled drain has 280 ms of slack before records drop.
constexpr auto kDrainInterval = std::chrono::milliseconds(20);
constexpr auto kFlushInterval = std::chrono::milliseconds(500);

double steadySeconds() { return std::chrono::duration<double>(Clock::now().time_since_epoch()).count(); }

// The clock the library stamps its frame records with.
double counterSeconds() {
  namespace platform = portrelay::platform;
  return static_cast<double>(platform::performanceCounter()) / static_cast<double>(platform::performanceFrequency());
}

void appendNumber(std::string& line, double value) {
  char text[32];
  // Nine significant digits: every value a game sends as a float survives.
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 9);
  line.append(text, result.ptr);
}

const char* const kOutputNames[kCalculationValues] = {
    "out_sway", "out_surge", "out_heave", "out_yaw", "out_roll", "out_pitch", "out_roll_tilt", "out_pitch_tilt",
    "out_roll_position", "out_pitch_position", "out_belt", "cue_belt_surge", "cue_belt_heave", "cue_belt_roll",
    "cue_belt_pitch", "cue_effect_sway", "cue_effect_surge", "cue_effect_heave", "cue_effect_yaw",
    "cue_effect_roll", "cue_effect_pitch", "out_fan", "out_22"};

}  // namespace

std::vector<std::string> recordingColumns(const LibraryApi& api) {
  std::vector<std::string> columns{"time_s"};
  const char* first = nullptr;
  int32_t count = 0;
  api.getGameDataNames(&first, &count);
  for (int i = 0; i < kAccelerationValues; ++i) {
    // Entry n names game-data index n + 1; index 0 is always 0 and index 42 is
    // the engine's belt sum, which have no names of their own.
    std::string name = (first != nullptr && i >= 1 && i <= count) ? std::string(first + 16 * (i - 1)) : "";
    if (i == 0) name = "data_0";
    if (i == kAccelerationValues - 1 && name.empty()) name = "belt_sum";
    if (name.empty()) name = "data_" + std::to_string(i);
    columns.push_back(name);
  }
  for (const char* name : kOutputNames) columns.emplace_back(name);
  for (const char* name : {"wall_time_s", "game_id", "sent_sway", "sent_surge", "sent_heave", "sent_yaw", "sent_roll",
                           "sent_pitch"})
    columns.emplace_back(name);
  return columns;
}

bool Recorder::start(const std::string& path, std::string& error) {
  if (!path.empty() && !openFile(path, error)) return false;
  startSeconds_ = counterSeconds();
  running_.store(true);
  thread_ = std::thread([this] { run(); });
  return true;
}

bool Recorder::openFile(const std::string& path, std::string& error) {
  std::lock_guard lock(fileMutex_);
  if (file_ != nullptr) {
    error = "a recording is running already";
    return false;
  }
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) {
    error = path + ": cannot be created";
    return false;
  }
  std::string header;
  for (const std::string& column : recordingColumns(api_)) header += (header.empty() ? "" : ",") + column;
  header += '\n';
  std::fwrite(header.data(), 1, header.size(), file_);
  std::fflush(file_);
  rows_.store(0, std::memory_order_relaxed);
  return true;
}

void Recorder::closeFile() {
  std::lock_guard lock(fileMutex_);
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

bool Recorder::recording() const {
  std::lock_guard lock(fileMutex_);
  return file_ != nullptr;
}

void Recorder::stop() {
  if (!thread_.joinable()) return;
  running_.store(false);
  thread_.join();
  drain();
  closeFile();
}

void Recorder::setRigLimits(const std::array<std::array<double, 2>, 6>& limits) {
  std::lock_guard lock(clipMutex_);
  rigLimits_ = limits;
}

std::array<double, 6> Recorder::clippedShares() const {
  std::array<double, 6> shares{};
  std::lock_guard lock(clipMutex_);
  if (clipWindow_.empty()) return shares;
  for (const auto& [time, axes] : clipWindow_)
    for (int i = 0; i < 6; ++i) shares[static_cast<size_t>(i)] += (axes >> i) & 1;
  for (double& share : shares) share /= static_cast<double>(clipWindow_.size());
  return shares;
}

void Recorder::watchClipping(const double* outputs, double wallSeconds) {
  std::lock_guard lock(clipMutex_);
  uint8_t over = 0;
  for (int i = 0; i < 6; ++i) {
    const auto& [low, high] = rigLimits_[static_cast<size_t>(i)];
    if (outputs[i] < low || outputs[i] > high) over = static_cast<uint8_t>(over | 1 << i);
  }
  clipWindow_.emplace_back(wallSeconds, over);
  while (!clipWindow_.empty() && clipWindow_.front().first < wallSeconds - 1.0) clipWindow_.pop_front();
}

void Recorder::run() {
  auto lastFlush = Clock::now();
  while (running_.load()) {
    std::this_thread::sleep_for(kDrainInterval);
    drain();
    if (Clock::now() - lastFlush >= kFlushInterval) {
      std::lock_guard lock(fileMutex_);
      if (file_ != nullptr) std::fflush(file_);
      lastFlush = Clock::now();
    }
  }
}

void Recorder::drain() {
  int32_t calculationCount = 0, accelerationCount = 0, frameCount = 0;
  double* calculations = api_.GetCalculationSnapshots(&calculationCount);
  double* accelerations = api_.GetAccelerationSnapshots(&accelerationCount);
  double* frames = api_.GetFrameSnapshots(&frameCount);
  if (calculationCount >= kHistoryCapacity || accelerationCount >= kHistoryCapacity || frameCount >= kHistoryCapacity)
    fullDrains_.fetch_add(1, std::memory_order_relaxed);
  if (frames != nullptr) frames_.insert(frames_.end(), frames, frames + frameCount * kFrameValues);
  api_.FreeCalculationSnapshots(frames);
  if (calculations != nullptr)
    calculations_.insert(calculations_.end(), calculations, calculations + calculationCount * kCalculationValues);
  if (accelerations != nullptr)
    accelerations_.insert(accelerations_.end(), accelerations,
                          accelerations + accelerationCount * kAccelerationValues);
  api_.FreeCalculationSnapshots(calculations);
  api_.FreeCalculationSnapshots(accelerations);
  if (firstRow_.load() < 0.0 && calculationCount > 0)
    firstRow_.store(steadySeconds() - calculationCount * kCycleSeconds);
  writeRows();
}

// The engine records the three snapshots of a cycle one after the other, so
// the drains may straddle a cycle: rows are written for the cycles whose three
// records have all arrived, the rest waits for the next drain.
void Recorder::writeRows() {
  const size_t ready = std::min({calculations_.size() / kCalculationValues, accelerations_.size() / kAccelerationValues,
                                 frames_.size() / kFrameValues});
  std::lock_guard lock(fileMutex_);
  for (size_t r = 0; r < ready; ++r) {
    const double* frame = &frames_[r * kFrameValues];
    watchClipping(&calculations_[r * kCalculationValues], frame[0]);
    if (file_ == nullptr) continue;
    line_.clear();
    appendNumber(line_, static_cast<double>(rows_.load(std::memory_order_relaxed)) * kCycleSeconds);
    for (int i = 0; i < kAccelerationValues; ++i) {
      line_ += ',';
      appendNumber(line_, accelerations_[r * kAccelerationValues + static_cast<size_t>(i)]);
    }
    for (int i = 0; i < kCalculationValues; ++i) {
      line_ += ',';
      appendNumber(line_, calculations_[r * kCalculationValues + static_cast<size_t>(i)]);
    }
    line_ += ',';
    appendNumber(line_, frame[0] - startSeconds_);
    for (int i = 1; i < 8; ++i) {  // the game id and the six axes as sent
      line_ += ',';
      appendNumber(line_, frame[i]);
    }
    line_ += '\n';
    std::fwrite(line_.data(), 1, line_.size(), file_);
    rows_.fetch_add(1, std::memory_order_relaxed);
  }
  calculations_.erase(calculations_.begin(), calculations_.begin() + static_cast<std::ptrdiff_t>(ready * kCalculationValues));
  accelerations_.erase(accelerations_.begin(),
                       accelerations_.begin() + static_cast<std::ptrdiff_t>(ready * kAccelerationValues));
  frames_.erase(frames_.begin(), frames_.begin() + static_cast<std::ptrdiff_t>(ready * kFrameValues));
}

}  // namespace host
