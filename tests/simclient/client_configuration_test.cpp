// Reading the client's configuration files: keys, precedence and sections.
#include <gtest/gtest.h>

#include <fstream>

#include "simclient/client.h"
#include "simclient/client_configuration.h"
#include "support/temp_dir.h"

namespace portrelay::simclient {
namespace {

struct Case {
  const char* name;
  uint32_t index;
  std::vector<std::string> files;  // contents, read in this order ("" = no file)
  ClientProtocol protocol;
  std::string address, port;
  uint32_t maxReceiveSize;
  bool disableNagle;
};

TEST(ClientConfiguration, KeysAndPrecedence) {
  const std::vector<Case> cases = {
      {"no files", 0, {"", "", ""}, ClientProtocol::PipeFirst, "", "", 41088, false},
      {"one file",
       0,
       {"[SimConnect]\nProtocol=IPv4\nAddress=192.168.1.20\nPort=500\nMaxReceiveSize=50000\nDisableNagle=1\n", "", ""},
       ClientProtocol::IPv4, "192.168.1.20", "500", 50000, true},
      {"later files override key by key",
       0,
       {"[SimConnect]\nProtocol=IPv6\nAddress=one\nPort=1\n", "[SimConnect]\nPort=2\n",
        "[simconnect]\nADDRESS = three \n"},
       ClientProtocol::IPv6, "three", "2", 41088, false},
      {"names without regard to case; Auto and Pipe mean pipe first",
       0,
       {"[SIMCONNECT]\nprotocol=ipv4\n", "[SimConnect]\nProtocol=auto\n", ""},
       ClientProtocol::PipeFirst, "", "", 41088, false},
      {"receive size only grows; DisableNagle 0 is false",
       0,
       {"[SimConnect]\nMaxReceiveSize=1000\nDisableNagle=0\n", "", ""},
       ClientProtocol::PipeFirst, "", "", 41088, false},
      {"a numbered section, other sections ignored",
       3,
       {"[SimConnect]\nProtocol=IPv4\nPort=1\n[SimConnect.3]\nProtocol=IPv6\nPort=3\n", "", ""},
       ClientProtocol::IPv6, "", "3", 41088, false},
      {"index 0xFFFFFFFF reads no file", kNoConfiguration, {"[SimConnect]\nProtocol=IPv4\n", "", ""},
       ClientProtocol::PipeFirst, "", "", 41088, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    std::vector<std::string> paths;
    for (size_t i = 0; i < c.files.size(); ++i) {
      paths.push_back((dir.path() / ("f" + std::to_string(i) + ".cfg")).string());
      if (!c.files[i].empty()) std::ofstream(paths.back()) << c.files[i];
    }
    const ClientConfiguration config = readConfiguration(c.index, paths);
    EXPECT_EQ(config.protocol, c.protocol);
    EXPECT_EQ(config.address, c.address);
    EXPECT_EQ(config.port, c.port);
    EXPECT_EQ(config.maxReceiveSize, c.maxReceiveSize);
    EXPECT_EQ(config.disableNagle, c.disableNagle);
  }
}

TEST(ClientConfiguration, OpenNeedsTheSectionOfANumberedIndex) {
  testing::TempDir dir;
  const std::string path = (dir.path() / "SimConnect.cfg").string();
  // Nothing listens on port 9 of the loopback: index 1 reaches the connect and fails there.
  std::ofstream(path) << "[SimConnect.1]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=9\n";
  std::unique_ptr<ClientClient> client;
  ClientClient::OpenOptions options;
  options.configurationIndex = 2;
  EXPECT_EQ(ClientClient::open(client, "Tiltaverse", options, {path}), kResultInvalidArgument);
  options.configurationIndex = 1;
  EXPECT_EQ(ClientClient::open(client, "Tiltaverse", options, {path}), kResultFail);
  EXPECT_EQ(client, nullptr);
  EXPECT_EQ(openClientCount(), 0);
}

}  // namespace
}  // namespace portrelay::simclient
