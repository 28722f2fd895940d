#include "simclient/client_configuration.h"

#include <charconv>
#include <string_view>

#include "platform/paths.h"
#include "platform/profile_strings.h"
#include "platform/registry.h"

namespace portrelay::simclient {
namespace {

bool sameText(const std::string& a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// A decimal number at the start of the text; nothing when there is none.
bool decimal(const std::string& text, uint32_t& value) {
  const char* first = text.data();
  while (first != text.data() + text.size() && (*first == ' ' || *first == '\t')) ++first;
  return std::from_chars(first, text.data() + text.size(), value).ec == std::errc();
}

}  // namespace

std::string configurationSection(uint32_t index) {
  return index == 0 ? std::string("SimConnect") : "SimConnect." + std::to_string(index);
}

std::vector<std::string> configurationFiles() {
  std::vector<std::string> files;
  for (const std::string& folder :
       {platform::commonDocumentsFolder(), platform::documentsFolder(), platform::currentDirectory()})
    if (!folder.empty()) files.push_back(folder + platform::kPathSeparator + kConfigurationFileName);
  return files;
}

bool configurationExists(uint32_t index, const std::vector<std::string>& files) {
  const std::string section = configurationSection(index);
  for (const auto& file : files)
    if (platform::profileSectionExists(file, section)) return true;
  return false;
}

ClientConfiguration readConfiguration(uint32_t index, const std::vector<std::string>& files) {
  ClientConfiguration config;
  if (index == kNoConfiguration) return config;
  const std::string section = configurationSection(index);
  for (const auto& file : files) {
    if (!platform::profileSectionExists(file, section)) continue;
    const std::string protocol = platform::readProfileString(file, section, "Protocol", "");
    if (sameText(protocol, "IPv4")) config.protocol = ClientProtocol::IPv4;
    else if (sameText(protocol, "IPv6")) config.protocol = ClientProtocol::IPv6;
    else if (sameText(protocol, "Auto") || sameText(protocol, "Pipe")) config.protocol = ClientProtocol::PipeFirst;
    config.address = platform::readProfileString(file, section, "Address", config.address);
    config.port = platform::readProfileString(file, section, "Port", config.port);
    uint32_t number = 0;
    // A configured receive size only ever enlarges the default.
    if (decimal(platform::readProfileString(file, section, "MaxReceiveSize", ""), number) &&
        number > kDefaultMaxReceiveSize)
      config.maxReceiveSize = number < kLargestMaxReceiveSize ? number : kLargestMaxReceiveSize;
    if (decimal(platform::readProfileString(file, section, "DisableNagle", ""), number))
      config.disableNagle = number != 0;
  }
  return config;
}

std::string registryPort(bool ipv6) {
  return platform::readUserRegistryString("SOFTWARE\\Microsoft\\Microsoft Games\\KittyHawk",
                                          ipv6 ? "SimConnect_Port_IPv6" : "SimConnect_Port_IPv4", 20)
      .value_or("");
}

}  // namespace portrelay::simclient
