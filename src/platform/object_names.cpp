#include <mutex>

#include "platform/shared_memory.h"

namespace portrelay::platform {
namespace {

std::mutex namespaceMutex;
std::optional<std::string> namespacePrefix;

// Splits "Local\name" or "Global\name" into the session prefix and the rest.
std::pair<std::string, std::string> splitSession(const std::string& name) {
  for (const char* session : {"Local\\", "Global\\"}) {
    const std::string prefix(session);
    if (name.compare(0, prefix.size(), prefix) == 0) return {prefix, name.substr(prefix.size())};
  }
  return {std::string(), name};
}

}  // namespace

#ifdef PORTRELAY_TEST_SEAMS
void overrideObjectNamespace(std::optional<std::string> prefix) {
  std::lock_guard lock(namespaceMutex);
  namespacePrefix = std::move(prefix);
}
#endif

std::string windowsObjectName(const std::string& windowsName, const std::string& objectNamespace) {
  auto [session, rest] = splitSession(windowsName);
  return session + objectNamespace + rest;
}

std::string posixObjectName(const std::string& windowsName, const std::string& objectNamespace) {
  std::string rest = objectNamespace + splitSession(windowsName).second;
  for (char& c : rest)
    if (c == '\\' || c == '/') c = '_';
  return "/" + rest;
}

std::string currentObjectNamespace() {
  std::lock_guard lock(namespaceMutex);
  return namespacePrefix.value_or(std::string());
}

}  // namespace portrelay::platform
