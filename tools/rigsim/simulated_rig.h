// A virtual rig controller on the far end of a serial port, for tests, the
// measuring tools and the demo. The port is a pseudo-terminal whose path is
// kept at a fixed link (a symbolic link re-pointed on every replug), so a COM
// mapping to the link survives the rig vanishing and returning.
//
// POSIX builds run the rig in this process. Windows builds (under Wine) start
// the native rigsim program, which owns the pseudo-terminal, and steer it
// over a loopback TCP connection; the rig ends when that connection closes.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "virtual_rig.h"

namespace rigsim {

class SimulatedRig {
 public:
  SimulatedRig();
  ~SimulatedRig();
  SimulatedRig(const SimulatedRig&) = delete;
  SimulatedRig& operator=(const SimulatedRig&) = delete;

  // Creates the port and points linkPath at it. False when that failed.
  bool start(const std::string& linkPath);
  void setReplyForm(ReplyForm form);
  void setBehaviour(Behaviour behaviour);
  void setFirmwareLevel(int level);
  // The rig vanishes: its end of the port closes and the link goes away.
  bool unplug();
  // The rig returns on a fresh port behind the same link.
  bool replug();
  // Bytes the rig sends to the host, unasked.
  bool sendToHost(const std::vector<uint8_t>& bytes);

  RigStats stats();
  std::vector<ReceivedFrame> frames();
  // Motion frames with arrival times (the rig's clock), oldest first.
  std::vector<ReceivedFrame> motionLog();
  // Motion frames, or short frames, received after the one numbered
  // `sequence` (0: all kept).
  std::vector<ReceivedFrame> motionSince(uint64_t sequence);
  std::vector<ReceivedFrame> framesSince(uint64_t sequence);
  void reset();
  // The rig's clock (monotonicNs of the process that runs it) minus this
  // process's monotonicNs, estimated over the control link (0 in process).
  int64_t clockOffsetNs();

  class Backend;

 private:
  std::unique_ptr<Backend> backend_;
};

}  // namespace rigsim
