// Where the client finds the simulator: the "SimConnect.cfg" files and the
// ports the simulator leaves in the registry.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace portrelay::simclient {

inline constexpr uint32_t kDefaultMaxReceiveSize = 41088;
// A larger configured receive size is cut to this (the receive buffer holds two).
inline constexpr uint32_t kLargestMaxReceiveSize = 16u << 20;
// Configuration index that skips the files (defaults only).
inline constexpr uint32_t kNoConfiguration = 0xFFFFFFFFu;
inline constexpr const char* kConfigurationFileName = "SimConnect.cfg";

enum class ClientProtocol { PipeFirst, IPv4, IPv6 };

struct ClientConfiguration {
  ClientProtocol protocol = ClientProtocol::PipeFirst;
  std::string address;  // empty: this machine
  std::string port;     // pipe name, or TCP port
  uint32_t maxReceiveSize = kDefaultMaxReceiveSize;
  bool disableNagle = false;
};

// "SimConnect" for index 0, "SimConnect.<index>" otherwise.
std::string configurationSection(uint32_t index);

// The files read, in order: the common documents folder, the user's documents
// folder, the current directory (folders that cannot be found are left out).
std::vector<std::string> configurationFiles();

// True when one of `files` holds the section of `index`.
bool configurationExists(uint32_t index, const std::vector<std::string>& files);

// The defaults, overridden by each file in turn that holds the section.
ClientConfiguration readConfiguration(uint32_t index, const std::vector<std::string>& files);

// The simulator's TCP ports from the registry ("" when not there).
std::string registryPort(bool ipv6);

}  // namespace portrelay::simclient
