/* PortRelay: the fan controller, exported as a C++ class.
 *
 * WindSerial owns a second serial port and a sender thread that writes one fan
 * speed byte (0..255) per step, the newest value the caller handed over. A
 * single 0x00 byte is written when the port starts, on pause and on stop.
 * Every failure is silent; start() counts its failures and gives up after three
 * in a row until init() or stop(). The engine owns one instance (configured by
 * initWindSerial in portrelay.h); hosts may create their own. It writes
 * through the platform's serial device; the library's own tests give it a
 * scripted device instead (test variant only).
 *
 * Threads: init, start, pause, unpause, stop and updateBuffer may be called
 * from any thread except the sender thread itself.
 */
#ifndef PORTRELAY_WIND_SERIAL_H
#define PORTRELAY_WIND_SERIAL_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "portrelay/portrelay.h"

namespace portrelay::platform {
class SerialDevice;
}

class PORTRELAY_API WindSerial {
 public:
  WindSerial();
#ifdef PORTRELAY_TEST_SEAMS
  /* Test variant only (the shipped library has no such constructor): writes
   * through `device` (not yet open) instead of the platform's; null: the
   * platform's. */
  explicit WindSerial(std::unique_ptr<portrelay::platform::SerialDevice> device);
#endif
  ~WindSerial();
  WindSerial(const WindSerial&) = delete;
  WindSerial& operator=(const WindSerial&) = delete;

  /* Stores the interval (always), then checks that the named device exists
   * (for example "COM7"); if so stores the port settings, marks the controller
   * initialised, resets the failed-start count and returns true. frameFormat is
   * data bits, parity (N, E, O) and stop bits (1, 2), for example "8N1". */
  bool init(const std::string& portName, int baudRate, const std::string& frameFormat, unsigned int sendIntervalMs);
  /* Opens and configures the port, writes 0x00 and starts the sender thread.
   * Does nothing unless initialised, not running and fewer than 3 failed starts. */
  void start();
  /* Writes 0x00 if the port is open; bytes are then taken but not written. */
  void pause();
  void unpause();
  /* Writes 0x00 if open, ends the sender thread, closes the port, and allows
   * start() again. */
  void stop();
  bool isRunning() const;
  bool isInit() const;
  /* Replaces the bytes waiting to be sent (pending bytes are dropped). */
  void updateBuffer(const std::vector<uint8_t>& bytes);

  /* The engine's per-cycle hand-over: clears paused and makes the one byte the
   * only byte waiting. */
  void offerByte(uint8_t byte);
  /* Consecutive failed starts (for diagnostics and tests). */
  int failedStartCount() const;

 private:
  bool configurePort(int baudRate, const std::string& frameFormat);
  void sendingThreadFunc();
  void wakeSender();
  bool portOpen() const;
  void writeZero();
  void closePort();

  std::unique_ptr<portrelay::platform::SerialDevice> port_;
  std::atomic<bool> running_{false};
  std::atomic<bool> paused_{false};
  std::atomic<bool> initialized_{false};
  std::thread sender_;
  std::mutex bufferMutex_;
  std::mutex writeMutex_;  // the paused check and the write of one byte, against pause()
  std::vector<uint8_t> buffer_;
  std::atomic<uint32_t> sendIntervalMs_{15};
  // The sender's pause between bytes: stop() and pause() end it at once.
  std::mutex waitMutex_;
  std::condition_variable wake_;
  bool wakeRequested_ = false;  // guarded by waitMutex_
  // The configuration is written by init (a host thread) and read by start
  // (often the engine thread); the lock keeps the strings whole.
  mutable std::mutex controlMutex_;
  std::string portName_;
  int32_t baudRate_ = 0;
  std::string frameFormat_;
  std::atomic<int32_t> failedStarts_{0};
};

#endif /* PORTRELAY_WIND_SERIAL_H */
