#include "riglink/port_discovery.h"

#include <algorithm>
#include <array>
#include <cwctype>

#include "common/cycle_timer.h"
#include "log/console.h"
#include "platform/com_devices.h"
#include "platform/serial_device.h"
#include "riglink/link_state.h"
#include "riglink/rig_frames.h"
#include "riglink/serial_exception.h"

namespace portrelay {
namespace {

constexpr std::array<const char*, 5> kAcceptedUsbIds = {
    "VID_1A86&PID_7523", "VID_0403&PID_6001", "VID_10C4&PID_EA60", "VID_03EB&PID_6124", "VID_0483&PID_5740",
};
constexpr uint32_t kLastDeviceIndex = 5999;
constexpr uint32_t kInitialNameBuffer = 4096;

constexpr uint32_t kRigBaudRate = 250000;
constexpr uint32_t kRigReadTimeoutMs = 10000;
// A write must finish within a few relay periods (2 ms each): a 36-byte frame
// takes 1.4 ms on the wire at 250000 baud and leaves at once into the driver's
// queue. A controller that stops taking bytes then fails the write within this
// bound, and the relay closes the port and rescans, instead of stalling its
// cycle (and every thread waiting for the port) for seconds.
constexpr uint32_t kRigWriteTimeoutMs = 10;
constexpr uint32_t kRigQueueBytes = 5120;

uint32_t systemError() { return platform::lastSystemError(); }

platform::SerialLineSettings rigLineSettings() {
  platform::SerialLineSettings settings;
  settings.baudRate = kRigBaudRate;
  settings.dataBits = 8;
  settings.parity = platform::Parity::none;
  settings.stopBits = platform::StopBits::one;
  return settings;  // every flow control off
}

std::string comName(long long number) { return "COM" + std::to_string(number); }

void writeIdentityQueryTwice(CSerialPort& port) {
  port.write(kIdentityQuery.data(), kIdentityQuery.size());
  port.write(kIdentityQuery.data(), kIdentityQuery.size());
}

enum class Greeting { none, queue };

// Marks the rig identified, only while the handle that answered is still the
// one held. In the same step, under the port's lock and before portOpen shows
// the link as up (the relay thread starts its cycles on that flag): every
// motion frame queued while no rig was connected is dropped, since it holds
// past motion, and with Greeting::queue the class-4 and class-2 messages are
// put at the head of the serial queue (host messages stay behind them). Frames
// the engine queues from then on are live.
bool markIdentified(RigLinkState& link, uint64_t generation, Greeting greeting) {
  const bool serialGreeting =
      greeting == Greeting::queue && link.mode().transport() != LinkTransport::udp;
  const bool identified = link.rigPort().whileCurrent(generation, [&] {
    if (serialGreeting) {
      link.serialTxQueue().purgeAndPushFront(kMotionFrameHeader, {kClass4Message, kClass2Message}, kTransmitQueueBound);
    } else {
      link.serialTxQueue().purgeAndPushFront(kMotionFrameHeader, {}, kTransmitQueueBound);
    }
    link.setPortOpen(true);
  });
  // The UDP link gets its copies as sendMessagemmf gives them while the
  // serial link has not heard the rig yet.
  if (identified && greeting == Greeting::queue) {
    link.networkTxQueue().pushIfBelow(kClass4Message.data(), kClass4Message.size(), kTransmitQueueBound);
    link.networkTxQueue().pushIfBelow(kClass2Message.data(), kClass2Message.size(), kTransmitQueueBound);
  }
  return identified;
}

bool scanMayGoOn(const RigLinkState& link) {
  return link.relayRunning() && !link.mode().paused() && link.autoconnect();
}

enum class ProbeResult { identified, noRig, abortScan };

// The identity handshake on one scanned port (the port is open).
ProbeResult probeOpenPort(RigLink& link, int comNumber) {
  CSerialPort& port = link.rigPort();
  const uint64_t generation = port.generation();
  try {
    port.purge(platform::kPurgeRxClear);
    writeIdentityQueryTwice(port);
    sleepMilliseconds(10);
    platform::SerialQueueStatus status;
    port.clearError(&status);
    if (status.bytesIn < kShortFrameLength) return ProbeResult::noRig;
    // Keep only the last eight waiting bytes.
    uint8_t discard[256];
    for (uint32_t left = status.bytesIn - kShortFrameLength; left > 0;) {
      const uint32_t got = port.read(discard, std::min<uint32_t>(left, sizeof discard));
      if (got == 0) break;
      left -= got;
    }
    ShortFrame reply{};
    if (port.read(reply.data(), kShortFrameLength) != kShortFrameLength) {
      link.closeRigPort();
      return ProbeResult::abortScan;
    }
    const bool known = std::find(kIdentityReplies.begin(), kIdentityReplies.end(), reply) != kIdentityReplies.end();
    if (!known || !markIdentified(link, generation, Greeting::queue)) return ProbeResult::noRig;
    link.facts().identified(comNumber, reply[4]);
  } catch (const CSerialException& e) {
    printConsole(L"Serialexception , Error:%u\n", e.error);
    return ProbeResult::noRig;
  }
  return ProbeResult::identified;
}

}  // namespace

bool CEnumerateSerial::UsingQueryDosDevice(std::vector<unsigned>& ports) {
  ports.clear();
  std::vector<wchar_t> names(kInitialNameBuffer);
  uint32_t stored = 0;
  while ((stored = platform::queryDeviceNames(names.data(), static_cast<uint32_t>(names.size()))) == 0) {
    if (platform::lastSystemError() != platform::kErrorInsufficientBuffer) return false;
    names.resize(names.size() * 2);
  }
  for (size_t at = 0; at < stored && names[at] != L'\0';) {
    const std::wstring name(&names[at]);
    at += name.size() + 1;
    if (name.size() <= 3 || std::towupper(name[0]) != L'C' || std::towupper(name[1]) != L'O' ||
        std::towupper(name[2]) != L'M')
      continue;
    if (!std::all_of(name.begin() + 3, name.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; })) continue;
    unsigned number = 0;
    for (auto c = name.begin() + 3; c != name.end(); ++c) number = number * 10 + static_cast<unsigned>(*c - L'0');
    ports.push_back(number);
  }
  return true;
}

bool checkUsbId(const std::string& name) {
  platform::ComDeviceSet devices;
  if (!devices.valid()) return false;
  for (uint32_t index = 0; index <= kLastDeviceIndex; ++index) {
    platform::ComDeviceInfo info;
    const platform::DeviceQuery query = devices.device(index, info);
    if (query == platform::DeviceQuery::noMoreItems) break;
    if (query == platform::DeviceQuery::failed) continue;
    if (info.friendlyName.find(name) == std::string::npos) continue;
    if (hasAcceptedUsbId(info.hardwareIds)) return true;
    printConsole(L"vid wrong \n\r");
  }
  return false;
}

bool hasAcceptedUsbId(const std::vector<std::string>& hardwareIds) {
  for (const char* accepted : kAcceptedUsbIds) {
    for (const std::string& id : hardwareIds)
      if (id.find(accepted) != std::string::npos) return true;
  }
  return false;
}

bool RigLink::openPortHandle(int comNumber) {
  CSerialPort& port = rigPort_;
  if (!port.open(comNumber)) return false;
  if (!port.applyLineSettings(rigLineSettings())) {
    const uint32_t error = systemError();
    port.close();
    platform::setLastSystemError(error);
    return false;
  }
  return true;
}

int32_t RigLink::openRigPort(int comNumber) {
  CSerialPort& port = rigPort_;
  try {
    if (!platform::comPortExists(comNumber)) throw CSerialException(systemError());
    if (!openPortHandle(comNumber)) throw CSerialException(systemError());
    sleepMilliseconds(5);
    port.getModemStatus();
    port.clearError();
    platform::SerialQueueStatus status;
    port.clearError(&status);
    platform::SerialTimeouts timeouts = port.getTimeouts();
    timeouts.readTotalConstant = kRigReadTimeoutMs;
    timeouts.writeTotalConstant = kRigWriteTimeoutMs;
    port.setTimeouts(timeouts);
    port.setupComm(kRigQueueBytes, kRigQueueBytes);
    return 1;
  } catch (const CSerialException& e) {
    printConsole(L"Serialexception when open port. , Error:%u\n", e.error);
    return 0;
  }
}

int32_t RigLink::connectStandardPort() {
  RigLink& link = *this;
  std::lock_guard attempt(link.connectionMutex_);
  if (link.portOpen_.load(std::memory_order_relaxed) != 0) return 0;
  sleepMilliseconds(5);
  const int32_t number = link.standardPort_.load(std::memory_order_relaxed);
  if (!checkUsbId(comName(number))) {
    printConsole(L"fail vid..");
    return 0;
  }
  if (openRigPort(number) != 0) {
    CSerialPort& port = link.rigPort_;
    const uint64_t generation = port.generation();
    try {
      printConsole(L"opened..");
      sleepMilliseconds(15);
      port.purge(platform::kPurgeRxClear);
      writeIdentityQueryTwice(port);
      ShortFrame reply{};
      if (port.read(reply.data(), kShortFrameLength) == kShortFrameLength) {
        if (reply != kTerminatedIdentityReply) {
          printConsole(L".. wrong id");
          closeRigPort();
          return 0;
        }
        if (markIdentified(link, generation, Greeting::none)) {
          link.facts().identified(number, reply[4]);
          printConsole(L"..id correct. \n");
          return 1;
        }
      }
    } catch (const CSerialException&) {
      printConsole(L"Error port open..");
    }
  }
  closeRigPort();
  printConsole(L"Serialexception when open port. , Error:%u\n", systemError());
  sleepMilliseconds(15);
  return 0;
}

int32_t RigLink::scanForRig() {
  RigLink& link = *this;
  // The scan's pauses end early on a stop: stopPortRelay_Thread waits for it.
  sleepWhileSet(link.relayRunning_, 50);
  if (!scanMayGoOn(link)) return 0;
  std::vector<unsigned> ports;
  if (!CEnumerateSerial::UsingQueryDosDevice(ports)) {
    printConsole(L"CEnumerateSerial::UsingQueryDosDevice failed, Error:%u\n", systemError());
    return 0;
  }
  sleepWhileSet(link.relayRunning_, 50);
  for (unsigned number : ports) printConsole(L"COM%u ", number);

  for (unsigned number : ports) {
    sleepWhileSet(link.relayRunning_, 200);
    if (!scanMayGoOn(link)) return 0;
    std::lock_guard attempt(link.connectionMutex_);
    // A manual connection may have identified the rig meanwhile.
    if (link.portOpen_.load(std::memory_order_relaxed) != 0) return 0;
    if (!checkUsbId(comName(number))) continue;
    if (openRigPort(static_cast<int>(number)) != 0) {
      switch (probeOpenPort(link, static_cast<int>(number))) {
        case ProbeResult::identified: return 1;
        case ProbeResult::abortScan: return 0;
        case ProbeResult::noRig: break;
      }
    }
    closeRigPort();
    printConsole(L"Serialexception , Error:%u\n", systemError());
  }
  return 0;
}

}  // namespace portrelay
