// Platform services that a test, a simulator or a benchmark chooses: the COM
// ports, network adapters, registry strings, Documents folder, process scope
// and object namespace it sets; every answer it does not set comes from the
// services that were in force when it was put in force. ScopedPlatform puts a
// copy in force for its lifetime, keepInForce for the rest of the process, so
// the answers cannot change meanwhile.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/services.h"

namespace portrelay::platform {

class FakePlatform final : public Services {
 public:
  FakePlatform& withComPorts(std::vector<SimulatedComPort> ports);
  FakePlatform& withNetworkAdapters(AdapterQuery query);
  // Values keyed by key + "\" + value name.
  FakePlatform& withUserRegistry(std::map<std::string, std::string> values);
  // An empty text stands for a folder that cannot be determined.
  FakePlatform& withDocumentsFolder(std::string path);
  // Only the direct children of this process count as running.
  FakePlatform& withProcessScope(uint32_t parentProcessId);
  // Every process counts, whatever scope the services below give.
  FakePlatform& withEveryProcess();
  FakePlatform& withObjectNamespace(std::string prefix);

  std::optional<std::vector<SimulatedComPort>> comPorts() const override;
  AdapterQuery networkAdapters() const override;
  std::optional<std::string> userRegistryString(const std::string& key, const std::string& value,
                                                size_t capacity) const override;
  std::string documentsFolder() const override;
  std::optional<uint32_t> processScope() const override;
  std::string objectNamespace() const override;

 private:
  friend class ScopedPlatform;
  const Services* base_ = &systemServices();
  std::optional<std::vector<SimulatedComPort>> comPorts_;
  std::optional<AdapterQuery> adapters_;
  std::optional<std::map<std::string, std::string>> registry_;
  std::optional<std::string> documents_;
  std::optional<std::optional<uint32_t>> scope_;
  std::optional<std::string> namespace_;
};

// Puts a FakePlatform in force for the scope and then the services it
// replaced. Scopes nest; the inner one must end first.
class ScopedPlatform {
 public:
  explicit ScopedPlatform(FakePlatform platform);
  ~ScopedPlatform();
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;

 private:
  FakePlatform platform_;
};

// For programs that choose their services once: puts a copy in force for the
// rest of the process (over what is in force; never taken out, so threads that
// outlive main's scopes still find it).
void keepInForce(FakePlatform platform);

}  // namespace portrelay::platform
