#include "sources/udp_game_reader.h"

#include "platform/processes.h"

namespace portrelay {

UdpGameReader::UdpGameReader(UdpDetection detection) : detection_(std::move(detection)) {}

bool UdpGameReader::anyProcessRunning() const {
  for (const auto& name : detection_.processes)
    if (platform::isProcessRunning(name)) return true;
  return false;
}

bool UdpGameReader::detect() {
  switch (detection_.order) {
    case UdpDetection::Order::ProbeOnly:
      return endpoint_.probe(detection_.port) != 0;
    case UdpDetection::Order::ProbeThenProcess: {
      const bool datagram = endpoint_.probe(detection_.port) != 0;
      return recordClues(datagram, datagram && anyProcessRunning());
    }
    case UdpDetection::Order::ProcessThenProbe: {
      const bool process = anyProcessRunning();
      return recordClues(process && endpoint_.probe(detection_.port) != 0, process);
    }
  }
  return false;
}

bool UdpGameReader::attach() { return endpoint_.open(detection_.port); }

void UdpGameReader::detach() {
  if (endpoint_.isOpen()) endpoint_.close();
}

}  // namespace portrelay
