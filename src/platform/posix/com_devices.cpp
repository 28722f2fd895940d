// COM numbering, device names and USB ids of serial ports on Linux (sysfs).
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string>

#include "platform/posix/com_names.h"
#include "platform/com_devices.h"
#include "platform/services.h"

namespace portrelay::platform {
namespace {

struct NodeFamily {
  const char* name;  // node name prefix under /dev
  int firstCom;      // COM number of node 0
};
constexpr NodeFamily kFamilies[] = {{"ttyS", 1}, {"ttyUSB", 33}, {"ttyACM", 65}};
constexpr int kNodesPerFamily = 32;

bool exists(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0;
}

std::string nodeName(int comNumber) {
  for (const NodeFamily& family : kFamilies) {
    const int index = comNumber - family.firstCom;
    if (index >= 0 && index < kNodesPerFamily) return family.name + std::to_string(index);
  }
  return {};
}

std::string readLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// Friendly name and hardware ids of a tty node from the USB device above it.
ComDeviceInfo describe(const std::string& node, int comNumber) {
  ComDeviceInfo info;
  std::string product;
  char resolved[PATH_MAX];
  const std::string device = "/sys/class/tty/" + node + "/device";
  if (realpath(device.c_str(), resolved) != nullptr) {
    std::string dir = resolved;
    while (dir.size() > 1 && !exists(dir + "/idVendor")) dir.erase(dir.rfind('/'));
    if (dir.size() > 1) {
      const std::string vid = upper(readLine(dir + "/idVendor"));
      const std::string pid = upper(readLine(dir + "/idProduct"));
      const std::string rev = upper(readLine(dir + "/bcdDevice"));
      product = readLine(dir + "/product");
      const std::string base = "USB\\VID_" + vid + "&PID_" + pid;
      if (!rev.empty()) info.hardwareIds.push_back(base + "&REV_" + rev);
      info.hardwareIds.push_back(base);
    }
  }
  info.friendlyName = (product.empty() ? node : product) + " (COM" + std::to_string(comNumber) + ")";
  return info;
}

constexpr const char* kTtyClassDir = "/sys/class/tty";

}  // namespace

bool isHardwareSerialNode(const std::string& ttyClassDir, const std::string& node) {
  const std::string dir = ttyClassDir + "/" + node;
  if (!exists(dir + "/device")) return false;
  // Ports of the serial core (8250 and the like) name their UART in `type`;
  // 0 is PORT_UNKNOWN: a placeholder the driver registered without hardware
  // behind it. USB serial and CDC-ACM nodes have no such attribute.
  if (!exists(dir + "/type")) return true;
  const std::string type = readLine(dir + "/type");
  return !type.empty() && type.find_first_not_of('0') != std::string::npos;
}

std::string comDevicePath(int comNumber) {
  if (auto ports = services().comPorts()) {
    for (const SimulatedComPort& port : *ports)
      if (port.number == comNumber) return port.devicePath;
    return {};
  }
  const std::string node = nodeName(comNumber);
  return node.empty() ? std::string() : "/dev/" + node;
}

std::vector<int> presentComNumbers() {
  std::vector<int> numbers;
  if (auto ports = services().comPorts()) {
    for (const SimulatedComPort& port : *ports) numbers.push_back(port.number);
  } else {
    for (const NodeFamily& family : kFamilies) {
      for (int index = 0; index < kNodesPerFamily; ++index) {
        const std::string node = family.name + std::to_string(index);
        if (exists("/dev/" + node) && isHardwareSerialNode(kTtyClassDir, node))
          numbers.push_back(family.firstCom + index);
      }
    }
  }
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

bool deviceNameExists(const std::string& deviceName) {
  const int number = comNumberOfName(deviceName);
  if (number <= 0) return false;
  const std::string path = comDevicePath(number);
  return !path.empty() && ::access(path.c_str(), F_OK) == 0;
}

bool comPortExists(int comNumber) {
  const std::string path = comDevicePath(comNumber);
  if (path.empty() || !exists(path)) {
    errno = ENOENT;
    return false;
  }
  return true;
}

uint32_t queryDeviceNames(wchar_t* buffer, uint32_t capacity) {
  std::wstring list;
  for (int number : presentComNumbers()) {
    const std::string name = "COM" + std::to_string(number);
    list.append(name.begin(), name.end());
    list += L'\0';
  }
  list += L'\0';
  if (buffer == nullptr || list.size() > capacity) {
    errno = ENOBUFS;
    return 0;
  }
  std::copy(list.begin(), list.end(), buffer);
  return static_cast<uint32_t>(list.size());
}

ComDeviceSet::ComDeviceSet() {
  if (auto ports = services().comPorts()) {
    simulated_ = true;
    for (const SimulatedComPort& port : *ports) devices_.push_back({port.friendlyName, port.hardwareIds});
    return;
  }
  for (int number : presentComNumbers()) devices_.push_back(describe(nodeName(number), number));
}

ComDeviceSet::~ComDeviceSet() = default;

bool ComDeviceSet::valid() const { return true; }

DeviceQuery ComDeviceSet::device(uint32_t index, ComDeviceInfo& info) {
  if (index >= devices_.size()) {
    errno = ENOENT;
    return DeviceQuery::noMoreItems;
  }
  info = devices_[index];
  // The Windows lookup reads each property into 1024 bytes; keep the same limit.
  if (info.friendlyName.size() > 1023) info.friendlyName.resize(1023);
  return DeviceQuery::found;
}

}  // namespace portrelay::platform
