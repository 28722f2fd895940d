#include "sources/readers/network_reader_factory.h"

#include "sources/readers/network_games.h"
#include "sources/readers/nolimits2.h"

namespace portrelay::readers {

std::unique_ptr<GameReader> makeNetworkReader(int id, uint16_t port) {
  switch (id) {
    case 0: return std::make_unique<XPlaneReader>(port);
    case 1: return std::make_unique<DcsReader>(port);
    case 5: return std::make_unique<DirtRally2Reader>(port);
    case 6: return std::make_unique<Condor2Reader>(port);
    case 7: return std::make_unique<F1Reader>(port);
    case 8: return std::make_unique<NoLimits2Reader>(port);
    case 11: return std::make_unique<WrcReader>(port);
    case 12: return std::make_unique<BeamNgReader>(port);
    case 13: return std::make_unique<LfsReader>(port);
    default: return nullptr;
  }
}

}  // namespace portrelay::readers
