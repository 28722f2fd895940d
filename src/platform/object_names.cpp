#include "platform/shared_memory.h"

namespace portrelay::platform {
namespace {

// Splits "Local\name" or "Global\name" into the session prefix and the rest.
std::pair<std::string, std::string> splitSession(const std::string& name) {
  for (const char* session : {"Local\\", "Global\\"}) {
    const std::string prefix(session);
    if (name.compare(0, prefix.size(), prefix) == 0) return {prefix, name.substr(prefix.size())};
  }
  return {std::string(), name};
}

}  // namespace

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

}  // namespace portrelay::platform
