// simserver: a simulated flight simulator for the client connection.
//
//   simserver [--port P] [--pipe NAME] [--rate HZ] [--hold SECONDS] [--seconds S]
//
// Serves TCP on 127.0.0.1 port P (0 or none: the system picks one; the port is
// printed) and, on Windows, the pipe \\.\pipe\NAME. Commands on standard
// input, one a line: "quit", "event N", "exception N", "hold T", "run".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "simserver/sim_server.h"

int main(int argc, char** argv) {
  simserver::ServerOptions options;
  double seconds = 0.0, holdAt = -1.0;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i], value = argv[i + 1];
    if (key == "--port") options.tcpPort = static_cast<uint16_t>(std::atoi(value.c_str()));
    else if (key == "--pipe") options.pipeName = value;
    else if (key == "--rate") options.rateHz = std::atof(value.c_str());
    else if (key == "--hold") holdAt = std::atof(value.c_str());
    else if (key == "--seconds") seconds = std::atof(value.c_str());
    else {
      std::fprintf(stderr, "usage: simserver [--port P] [--pipe NAME] [--rate HZ] [--hold T] [--seconds S]\n");
      return 2;
    }
  }
  simserver::SimServer server(options);
  if (holdAt >= 0.0) server.hold(holdAt);
  if (!server.start()) {
    std::fprintf(stderr, "simserver: cannot listen\n");
    return 1;
  }
  std::printf("simserver: TCP 127.0.0.1 port %u%s%s\n", server.tcpPort(), options.pipeName.empty() ? "" : ", pipe ",
              options.pipeName.c_str());
  std::fflush(stdout);
  std::thread commands([&server] {
    std::string line;
    while (std::getline(std::cin, line)) {
      std::istringstream words(line);
      std::string command;
      double number = 0.0;
      words >> command >> number;
      if (command == "quit") server.sendQuit();
      else if (command == "event") server.sendEvent(static_cast<uint32_t>(number));
      else if (command == "exception") server.sendException(static_cast<uint32_t>(number));
      else if (command == "hold") server.hold(number);
      else if (command == "run") server.run();
    }
  });
  commands.detach();
  const auto start = std::chrono::steady_clock::now();
  size_t reported = 0;
  while (seconds <= 0.0 || std::chrono::steady_clock::now() - start < std::chrono::duration<double>(seconds)) {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const auto violations = server.violations();
    for (; reported < violations.size(); ++reported) std::printf("violation: %s\n", violations[reported].c_str());
    std::printf("clients %d, set up %s, data messages %llu, flight time %.1f s\n", server.clientsServed(),
                server.setUpComplete() ? "yes" : "no", static_cast<unsigned long long>(server.dataMessagesSent()),
                server.flightTime());
    std::fflush(stdout);
  }
  server.stop();
  return server.violations().empty() ? 0 : 3;
}
