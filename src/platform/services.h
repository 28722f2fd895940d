// The platform's replaceable answers, as one object: the COM ports, the
// network adapters, the user's registry strings and Documents folder, which
// processes count as running, and the namespace of named objects. The library
// asks services() and nothing else for these; the object in force is the
// system's own, which asks the OS.
//
// The test variant (PORTRELAY_TEST_SEAMS) may put another object in force for
// a while (tests, the simulators and the demo host do, through
// tools/platform/fake_platform.h); the shipped library has no way to.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/com_devices.h"
#include "platform/network_adapters.h"

namespace portrelay::platform {

class Services {
 public:
  // The COM ports that stand for the system's ports: while they are given,
  // the COM device information lists exactly these, and on POSIX the COM
  // numbering (names, existence, open) does too. std::nullopt: the system's.
  virtual std::optional<std::vector<SimulatedComPort>> comPorts() const = 0;
  // The adapter query (see queryNetworkAdapters).
  virtual AdapterQuery networkAdapters() const = 0;
  // The string value `value` under HKEY_CURRENT_USER\`key`, when it fits in
  // `capacity` bytes with its terminating NUL (see readUserRegistryString).
  virtual std::optional<std::string> userRegistryString(const std::string& key, const std::string& value,
                                                        size_t capacity) const = 0;
  // The user's Documents folder; empty when it cannot be determined.
  virtual std::string documentsFolder() const = 0;
  // When given, only the direct children of this process count as running
  // (see isProcessRunning); std::nullopt: every process.
  virtual std::optional<uint32_t> processScope() const = 0;
  // The prefix of every named object, mappings and events (see objectName).
  virtual std::string objectNamespace() const = 0;

 protected:
  Services() = default;
  // Never deleted through this interface; the system's object lives as long
  // as the process and needs no destruction at exit.
  ~Services() = default;
  Services(const Services&) = default;
  Services& operator=(const Services&) = default;
};

// The system's services: no simulated COM ports, the OS's adapters, registry
// and folder, every process, no object namespace.
const Services& systemServices() noexcept;

// The services in force. Cheap: one atomic load.
const Services& services() noexcept;

#ifdef PORTRELAY_TEST_SEAMS
// Test variant only: puts `replacement` in force and returns the services in
// force before. The object must outlive its time in force, and its answers
// must not change while in force unless it guards them: threads that read the
// services (engine, link, game source) may ask at any time.
const Services& putServicesInForce(const Services& replacement) noexcept;
#endif

}  // namespace portrelay::platform
