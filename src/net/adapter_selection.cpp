#include "net/adapter_selection.h"

#include <string>

#include "platform/network_adapters.h"
#include "platform/sockets.h"

namespace portrelay {

std::string GetPreferredEthernetAdapter(Logger& logger) {
  logger.info("Starting GetPreferredEthernetAdapter routine.");
  const platform::AdapterQuery query = platform::queryNetworkAdapters();
  switch (query.failedStep) {
    case platform::AdapterQueryStep::sizeQuery:
      logger.error("GetAdaptersAddresses failed during buffer size determination. Error: " +
                   std::to_string(query.code));
      return {};
    case platform::AdapterQueryStep::allocation:
      logger.error("Memory allocation failed for adapterAddresses.");
      return {};
    case platform::AdapterQueryStep::query:
      logger.error("GetAdaptersAddresses failed. Error: " + std::to_string(query.code));
      return {};
    case platform::AdapterQueryStep::none:
      break;
  }

  const platform::NetworkAdapter* chosen = nullptr;
  uint32_t bestMetric = 2147483647u;
  for (const platform::NetworkAdapter& adapter : query.adapters) {
    logger.info("Examining adapter: " + adapter.friendlyName);
    if (adapter.operStatus == platform::kOperStatusUp && adapter.interfaceType == platform::kIfTypeEthernet) {
      logger.info("Adapter is active and of type Ethernet.");
      if (adapter.ipv4Metric < bestMetric) {
        logger.info("Adapter has lower metric (" + std::to_string(adapter.ipv4Metric) + "). Selecting this adapter.");
        chosen = &adapter;
        bestMetric = adapter.ipv4Metric;
      }
    } else {
      logger.info("Adapter is either inactive or not of type Ethernet. Skipping.");
    }
  }

  std::string result;
  if (chosen != nullptr) {
    logger.info("Best adapter selected: " + chosen->friendlyName + " with metric: " + std::to_string(bestMetric));
    if (!chosen->ipv4Addresses.empty()) {
      platform::SocketAddress address;
      address.address = chosen->ipv4Addresses.front();
      result = platform::addressText(address);
      logger.info("Selected adapter IP: " + result);
    }
  } else {
    logger.error("No suitable adapter found.");
  }
  return result;
}

}  // namespace portrelay
