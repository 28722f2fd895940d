// The adapter list from the IP Helper's adapter-address query.
#include "platform/network_adapters.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <windows.h>

#include <cstdlib>

namespace portrelay::platform {
namespace {

constexpr ULONG kIncludePrefix = 0x10;  // GAA_FLAG_INCLUDE_PREFIX

std::string utf8Of(const wchar_t* text) {
  if (text == nullptr || *text == L'\0') return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string result(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
  result.resize(static_cast<size_t>(size - 1));
  return result;
}

}  // namespace

AdapterQuery systemNetworkAdapters() {
  AdapterQuery query;
  ULONG size = 0;
  ULONG code = GetAdaptersAddresses(AF_INET, kIncludePrefix, nullptr, nullptr, &size);
  if (code != ERROR_BUFFER_OVERFLOW) {
    query.failedStep = AdapterQueryStep::sizeQuery;
    query.code = code;
    return query;
  }
  auto* addresses = static_cast<IP_ADAPTER_ADDRESSES*>(std::malloc(size));
  if (addresses == nullptr) {
    query.failedStep = AdapterQueryStep::allocation;
    return query;
  }
  code = GetAdaptersAddresses(AF_INET, kIncludePrefix, nullptr, addresses, &size);
  if (code != NO_ERROR) {
    std::free(addresses);
    query.failedStep = AdapterQueryStep::query;
    query.code = code;
    return query;
  }
  for (const IP_ADAPTER_ADDRESSES* adapter = addresses; adapter != nullptr; adapter = adapter->Next) {
    NetworkAdapter entry;
    entry.friendlyName = utf8Of(adapter->FriendlyName);
    entry.operStatus = static_cast<uint32_t>(adapter->OperStatus);
    entry.interfaceType = static_cast<uint32_t>(adapter->IfType);
    entry.ipv4Metric = adapter->Ipv4Metric;
    for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
         unicast = unicast->Next) {
      const SOCKADDR* address = unicast->Address.lpSockaddr;
      if (address == nullptr || address->sa_family != AF_INET) continue;
      entry.ipv4Addresses.push_back(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
    }
    query.adapters.push_back(std::move(entry));
  }
  std::free(addresses);
  return query;
}

}  // namespace portrelay::platform
