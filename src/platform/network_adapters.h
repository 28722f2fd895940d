// The system's list of network adapters with their IPv4 unicast addresses,
// in the terms of Windows' adapter-address query (GetAdaptersAddresses for the
// IPv4 family, prefixes included).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace portrelay::platform {

// Operational status values (IF_OPER_STATUS).
inline constexpr uint32_t kOperStatusUp = 1;
inline constexpr uint32_t kOperStatusDown = 2;
inline constexpr uint32_t kOperStatusUnknown = 4;
// Interface types (IANA ifType).
inline constexpr uint32_t kIfTypeOther = 1;
inline constexpr uint32_t kIfTypeEthernet = 6;  // CSMA/CD Ethernet
inline constexpr uint32_t kIfTypePpp = 23;
inline constexpr uint32_t kIfTypeLoopback = 24;
inline constexpr uint32_t kIfTypeWireless = 71;  // IEEE 802.11
inline constexpr uint32_t kIfTypeTunnel = 131;
// An adapter without any IPv4 route (POSIX): it never wins a comparison of metrics.
inline constexpr uint32_t kNoIpv4Metric = 0xFFFFFFFFu;

struct NetworkAdapter {
  std::string friendlyName;  // UTF-8; empty when the system gives none
  uint32_t operStatus = 0;
  uint32_t interfaceType = 0;
  uint32_t ipv4Metric = 0;
  std::vector<uint32_t> ipv4Addresses;  // unicast, network byte order, in the system's order
};

// Where a query failed. Windows: the size query must answer ERROR_BUFFER_OVERFLOW
// (111), then the buffer is allocated, then the query proper must succeed.
enum class AdapterQueryStep { none, sizeQuery, allocation, query };

struct AdapterQuery {
  AdapterQueryStep failedStep = AdapterQueryStep::none;
  uint32_t code = 0;  // the system's answer of the failed step
  std::vector<NetworkAdapter> adapters;  // in the system's order
};

// Windows: GetAdaptersAddresses(AF_INET, GAA_FLAG_INCLUDE_PREFIX). Linux: the
// kernel's link, address and route lists of the calling thread's network
// namespace (rtnetlink): the name is the interface name; the status is the
// operational state in Windows' numbering; an ARPHRD_ETHER interface is
// Ethernet unless it is wireless (sysfs `wireless` or `phy80211`); the metric
// is that of the interface's default route in the main table, else the lowest
// of its main-table routes, else kNoIpv4Metric. Asks the services in force
// (platform/services.h).
AdapterQuery queryNetworkAdapters();

}  // namespace portrelay::platform
