// The adapter list from the kernel's routing netlink: links, IPv4 addresses
// and IPv4 routes of the calling thread's network namespace.
#include "platform/network_adapters.h"

#include <linux/if_arp.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

namespace portrelay::platform {
namespace {

// Sends one dump request and hands every answer message to onMessage.
// Returns 0, or the errno / netlink error that ended the dump.
template <typename OnMessage>
int dumpRoutingTable(uint16_t type, uint8_t family, OnMessage&& onMessage) {
  const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  if (fd < 0) return errno;
  struct {
    nlmsghdr header;
    rtgenmsg body;
  } request{};
  request.header.nlmsg_len = sizeof request;
  request.header.nlmsg_type = type;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  request.header.nlmsg_seq = 1;
  request.body.rtgen_family = family;
  if (::send(fd, &request, sizeof request, 0) < 0) {
    const int error = errno;
    ::close(fd);
    return error;
  }
  alignas(nlmsghdr) char buffer[32768];
  int result = 0;
  for (bool done = false; !done;) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      result = errno;
      break;
    }
    if (n == 0) break;
    int remaining = static_cast<int>(n);
    // The netlink walk macros compare the signed length with unsigned sizes.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wsign-compare"
    for (auto* header = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(header, remaining);
         header = NLMSG_NEXT(header, remaining)) {
#pragma GCC diagnostic pop
      if (header->nlmsg_type == NLMSG_DONE) {
        done = true;
        break;
      }
      if (header->nlmsg_type == NLMSG_ERROR) {
        const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(header));
        result = error->error < 0 ? -error->error : EPROTO;
        done = true;
        break;
      }
      onMessage(header);
    }
  }
  ::close(fd);
  return result;
}

// The attributes that follow a message's fixed body.
template <typename Body, typename OnAttribute>
void forEachAttribute(const nlmsghdr* header, const Body* body, OnAttribute&& onAttribute) {
  int length = static_cast<int>(NLMSG_PAYLOAD(header, sizeof(Body)));
  auto* attribute = reinterpret_cast<const rtattr*>(reinterpret_cast<const char*>(body) + NLMSG_ALIGN(sizeof(Body)));
  for (; RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length)) onAttribute(attribute);
}

uint32_t operStatusOf(uint8_t state) {
  switch (state) {  // RFC 2863 states, in Windows' numbering
    case IF_OPER_UP: return 1;
    case IF_OPER_DOWN: return 2;
    case IF_OPER_TESTING: return 3;
    case IF_OPER_DORMANT: return 5;
    case IF_OPER_NOTPRESENT: return 6;
    case IF_OPER_LOWERLAYERDOWN: return 7;
    default: return 4;  // unknown
  }
}

bool pathExists(const std::string& path) {
  struct stat info{};
  return ::stat(path.c_str(), &info) == 0;
}

uint32_t interfaceTypeOf(uint16_t hardwareType, const std::string& name) {
  switch (hardwareType) {
    case ARPHRD_ETHER: {
      const std::string sys = "/sys/class/net/" + name;
      if (!name.empty() && (pathExists(sys + "/wireless") || pathExists(sys + "/phy80211"))) return kIfTypeWireless;
      return kIfTypeEthernet;
    }
    case ARPHRD_LOOPBACK: return kIfTypeLoopback;
    case ARPHRD_IEEE80211:
    case ARPHRD_IEEE80211_PRISM:
    case ARPHRD_IEEE80211_RADIOTAP: return kIfTypeWireless;
    case ARPHRD_PPP: return kIfTypePpp;
    case ARPHRD_TUNNEL:
    case ARPHRD_TUNNEL6:
    case ARPHRD_SIT:
    case ARPHRD_IPGRE:
    case ARPHRD_IP6GRE:
    case ARPHRD_NONE: return kIfTypeTunnel;
    default: return kIfTypeOther;
  }
}

struct RouteMetric {
  bool haveDefault = false;
  uint32_t defaultMetric = kNoIpv4Metric;
  uint32_t lowest = kNoIpv4Metric;
};

}  // namespace

AdapterQuery systemNetworkAdapters() {
  AdapterQuery query;
  std::vector<int> indexes;
  std::map<int, NetworkAdapter> byIndex;
  int error = dumpRoutingTable(RTM_GETLINK, AF_UNSPEC, [&](const nlmsghdr* header) {
    if (header->nlmsg_type != RTM_NEWLINK) return;
    const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(header));
    NetworkAdapter adapter;
    uint8_t state = IF_OPER_UNKNOWN;
    forEachAttribute(header, info, [&](const rtattr* attribute) {
      if (attribute->rta_type == IFLA_IFNAME)
        adapter.friendlyName.assign(static_cast<const char*>(RTA_DATA(attribute)),
                                    strnlen(static_cast<const char*>(RTA_DATA(attribute)), RTA_PAYLOAD(attribute)));
      else if (attribute->rta_type == IFLA_OPERSTATE && RTA_PAYLOAD(attribute) >= 1)
        state = *static_cast<const uint8_t*>(RTA_DATA(attribute));
    });
    adapter.operStatus = operStatusOf(state);
    adapter.interfaceType = interfaceTypeOf(info->ifi_type, adapter.friendlyName);
    if (byIndex.emplace(info->ifi_index, std::move(adapter)).second) indexes.push_back(info->ifi_index);
  });
  if (error != 0) {
    query.failedStep = AdapterQueryStep::query;
    query.code = static_cast<uint32_t>(error);
    return query;
  }
  error = dumpRoutingTable(RTM_GETADDR, AF_INET, [&](const nlmsghdr* header) {
    if (header->nlmsg_type != RTM_NEWADDR) return;
    const auto* info = static_cast<const ifaddrmsg*>(NLMSG_DATA(header));
    if (info->ifa_family != AF_INET) return;
    const auto found = byIndex.find(static_cast<int>(info->ifa_index));
    if (found == byIndex.end()) return;
    uint32_t local = 0, address = 0;
    bool haveLocal = false, haveAddress = false;
    forEachAttribute(header, info, [&](const rtattr* attribute) {
      if (RTA_PAYLOAD(attribute) < 4) return;
      if (attribute->rta_type == IFA_LOCAL) {
        std::memcpy(&local, RTA_DATA(attribute), 4);
        haveLocal = true;
      } else if (attribute->rta_type == IFA_ADDRESS) {
        std::memcpy(&address, RTA_DATA(attribute), 4);
        haveAddress = true;
      }
    });
    // On point-to-point links IFA_ADDRESS is the peer; IFA_LOCAL is ours.
    if (haveLocal || haveAddress) found->second.ipv4Addresses.push_back(haveLocal ? local : address);
  });
  if (error != 0) {
    query.failedStep = AdapterQueryStep::query;
    query.code = static_cast<uint32_t>(error);
    return query;
  }
  std::map<int, RouteMetric> metrics;
  error = dumpRoutingTable(RTM_GETROUTE, AF_INET, [&](const nlmsghdr* header) {
    if (header->nlmsg_type != RTM_NEWROUTE) return;
    const auto* info = static_cast<const rtmsg*>(NLMSG_DATA(header));
    if (info->rtm_family != AF_INET || info->rtm_type != RTN_UNICAST) return;
    uint32_t table = info->rtm_table, metric = 0;
    int oif = 0;
    forEachAttribute(header, info, [&](const rtattr* attribute) {
      if (RTA_PAYLOAD(attribute) < 4) return;
      if (attribute->rta_type == RTA_TABLE) std::memcpy(&table, RTA_DATA(attribute), 4);
      else if (attribute->rta_type == RTA_PRIORITY) std::memcpy(&metric, RTA_DATA(attribute), 4);
      else if (attribute->rta_type == RTA_OIF) std::memcpy(&oif, RTA_DATA(attribute), 4);
    });
    if (table != RT_TABLE_MAIN || oif == 0) return;
    RouteMetric& entry = metrics[oif];
    entry.lowest = std::min(entry.lowest, metric);
    if (info->rtm_dst_len == 0) {
      entry.defaultMetric = entry.haveDefault ? std::min(entry.defaultMetric, metric) : metric;
      entry.haveDefault = true;
    }
  });
  if (error != 0) {
    query.failedStep = AdapterQueryStep::query;
    query.code = static_cast<uint32_t>(error);
    return query;
  }
  for (int index : indexes) {
    NetworkAdapter& adapter = byIndex[index];
    const auto metric = metrics.find(index);
    if (metric == metrics.end()) adapter.ipv4Metric = kNoIpv4Metric;
    else adapter.ipv4Metric = metric->second.haveDefault ? metric->second.defaultMetric : metric->second.lowest;
    query.adapters.push_back(std::move(adapter));
  }
  return query;
}

}  // namespace portrelay::platform
