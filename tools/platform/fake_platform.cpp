#include "tools/platform/fake_platform.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace portrelay::platform {

FakePlatform& FakePlatform::withComPorts(std::vector<SimulatedComPort> ports) {
  comPorts_ = std::move(ports);
  return *this;
}

FakePlatform& FakePlatform::withNetworkAdapters(AdapterQuery query) {
  adapters_ = std::move(query);
  return *this;
}

FakePlatform& FakePlatform::withUserRegistry(std::map<std::string, std::string> values) {
  registry_ = std::move(values);
  return *this;
}

FakePlatform& FakePlatform::withDocumentsFolder(std::string path) {
  documents_ = std::move(path);
  return *this;
}

FakePlatform& FakePlatform::withProcessScope(uint32_t parentProcessId) {
  scope_ = parentProcessId;
  return *this;
}

FakePlatform& FakePlatform::withEveryProcess() {
  scope_ = std::optional<uint32_t>();
  return *this;
}

FakePlatform& FakePlatform::withObjectNamespace(std::string prefix) {
  namespace_ = std::move(prefix);
  return *this;
}

std::optional<std::vector<SimulatedComPort>> FakePlatform::comPorts() const {
  return comPorts_ ? comPorts_ : base_->comPorts();
}

AdapterQuery FakePlatform::networkAdapters() const { return adapters_ ? *adapters_ : base_->networkAdapters(); }

std::optional<std::string> FakePlatform::userRegistryString(const std::string& key, const std::string& value,
                                                            size_t capacity) const {
  if (!registry_) return base_->userRegistryString(key, value, capacity);
  // The registry's rule: a value that does not fit with its NUL is missing.
  const auto found = registry_->find(key + "\\" + value);
  if (found == registry_->end() || found->second.size() >= capacity) return std::nullopt;
  return found->second;
}

std::string FakePlatform::documentsFolder() const { return documents_ ? *documents_ : base_->documentsFolder(); }

std::optional<uint32_t> FakePlatform::processScope() const { return scope_ ? *scope_ : base_->processScope(); }

std::string FakePlatform::objectNamespace() const { return namespace_ ? *namespace_ : base_->objectNamespace(); }

ScopedPlatform::ScopedPlatform(FakePlatform platform) : platform_(std::move(platform)) {
  platform_.base_ = &services();  // set before it is in force: readers see it whole
  putServicesInForce(platform_);
}

ScopedPlatform::~ScopedPlatform() {
  // Scopes that end out of order would leave an ended one in force.
  if (&putServicesInForce(*platform_.base_) != &platform_) {
    std::fputs("ScopedPlatform: platform scopes ended out of order\n", stderr);
    std::abort();
  }
}

void keepInForce(FakePlatform platform) {
  static auto* const kept = new std::vector<std::unique_ptr<ScopedPlatform>>;  // never destroyed
  static std::mutex keeping;
  std::lock_guard lock(keeping);
  kept->push_back(std::make_unique<ScopedPlatform>(std::move(platform)));
}

}  // namespace portrelay::platform
