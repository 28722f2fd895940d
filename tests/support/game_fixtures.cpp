#include "support/game_fixtures.h"

#include <atomic>
#include <thread>

#include "platform/paths.h"
#include "platform/processes.h"
#include "platform/shared_memory.h"
#include "platform/sockets.h"

namespace portrelay::testing {

namespace {
std::string freshObjectNamespace() {
  static std::atomic<int> counter{0};
  return "prt" + std::to_string(platform::currentProcessId()) + "x" + std::to_string(counter++) + "_";
}
}  // namespace

IsolatedGames::IsolatedGames()
    : namespace_(freshObjectNamespace()),
      platform_(platform::FakePlatform()
                    .withDocumentsFolder(documents_.str())
                    .withObjectNamespace(namespace_)
                    .withProcessScope(platform::currentProcessId())) {}

std::string gamesimPath() {
  return platform::executableDirectory() + platform::kPathSeparator + "gamesim" + platform::kExecutableSuffix;
}

std::unique_ptr<platform::ChildProcess> launchGame(const IsolatedGames& scope, const std::string& game,
                                                   const std::string& executable,
                                                   const std::vector<std::string>& extra,
                                                   const std::string& readyMapping) {
  std::vector<std::string> arguments = {game, "--namespace", scope.objectNamespace(), "--seconds", "60"};
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  auto child = platform::ChildProcess::launch(gamesimPath(), executable, arguments);
  if (child == nullptr) return nullptr;
  if (!readyMapping.empty()) {
    const bool ready = waitUntil([&] {
      return platform::SharedMemory::openExisting(readyMapping, platform::ViewAccess::ReadOnly).valid();
    });
    if (!ready) return nullptr;
  }
  return child;
}

bool detectWhileWriting(GameSource& source, std::initializer_list<gamesim::GameSim*> games, double t, int passes) {
  const gamesim::LapMotion lap;
  for (int pass = 0; pass < passes; ++pass) {
    for (gamesim::GameSim* game : games) game->write(lap.at(t + 0.002 * pass));
    if (source.detectGame()) return true;
  }
  return false;
}

namespace {
// Binds a fresh socket of the kind to 127.0.0.1 port 0 and reports the port picked.
uint16_t freePort(platform::SocketHandle (*open)()) {
  platform::NetworkStartup startup;
  if (platform::startNetworking(startup) != 0) return 0;
  const platform::SocketHandle socket = open();
  uint16_t port = 0;
  if (socket != platform::kInvalidSocket && platform::bindSocket(socket, platform::loopbackAddress(0)))
    port = platform::portOf(platform::localAddress(socket));
  platform::closeSocket(socket);
  platform::stopNetworking();
  return port;
}
}  // namespace

uint16_t freeUdpPort() { return freePort(platform::openUdpSocket); }
uint16_t freeTcpPort() { return freePort(platform::openTcpSocket); }

}  // namespace portrelay::testing
