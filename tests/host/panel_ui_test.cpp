// `portrelay ui` end to end, on either system: the program started with a
// simulated game on a free loopback port, its printed address read back, and
// its panel asked from the outside as a browser (or another site's page)
// would ask it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "host_process.h"
#include "platform/sockets.h"
#include "support/temp_dir.h"
#include "support/wait.h"

namespace {

namespace platform = portrelay::platform;
using portrelay::testing::outputPath;
using portrelay::testing::readFile;
using portrelay::testing::TempDir;

uint16_t freePort() {
  const platform::SocketHandle socket = platform::openTcpSocket();
  platform::bindSocket(socket, platform::loopbackAddress(0));
  const uint16_t port = platform::portOf(platform::localAddress(socket));
  platform::closeSocket(socket);
  return port;
}

// Sends `request` to 127.0.0.1:`port` and collects what comes back until the
// server closes the connection, `enough` holds for it, or `limit` has passed.
template <class Enough>
std::string exchange(uint16_t port, const std::string& request, std::chrono::milliseconds limit, Enough&& enough) {
  const platform::SocketHandle socket = platform::openTcpSocket();
  std::string reply;
  if (platform::connectSocket(socket, platform::loopbackAddress(port), 5000)) {
    for (size_t sent = 0; sent < request.size();) {
      const int count = platform::sendBytes(socket, request.data() + sent, static_cast<int>(request.size() - sent));
      if (count <= 0) break;
      sent += static_cast<size_t>(count);
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    char buffer[16384];
    while (std::chrono::steady_clock::now() < deadline && !enough(reply)) {
      if (platform::waitReadable(socket, 50000) != platform::Readiness::Ready) continue;
      const int count = platform::receiveBytes(socket, buffer, sizeof buffer);
      if (count <= 0) break;
      reply.append(buffer, static_cast<size_t>(count));
    }
  }
  platform::closeSocket(socket);
  return reply;
}

int statusOf(const std::string& reply) {
  return reply.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(reply.c_str() + 9) : 0;
}

// The six axes of each live event ("data: {...}") that shows the game running.
std::vector<std::string> movingAxes(const std::string& stream) {
  std::vector<std::string> axes;
  for (size_t at = stream.find("data: "); at != std::string::npos; at = stream.find("data: ", at + 1)) {
    const size_t end = stream.find("\n\n", at);
    if (end == std::string::npos) break;
    const std::string event = stream.substr(at, end - at);
    const size_t from = event.find("\"axes\":[");
    if (event.find("\"gameId\":3,") == std::string::npos || from == std::string::npos) continue;
    axes.push_back(event.substr(from, event.find(']', from) - from));
  }
  return axes;
}

TEST(HostPanel, ServesThePageAndTheLivePushAndRefusesForeignRequests) {
  platform::NetworkStartup startup;
  ASSERT_EQ(platform::startNetworking(startup), 0);
  const std::string port = std::to_string(freePort());
  TempDir dir;
  portrelay::testing::Outcome outcome;
#if defined(_WIN32)
  const std::string bound = "";
#else
  const std::string bound = "timeout -s INT 120 ";  // ends the host should the game never move
#endif
  std::thread host([&] {
    outcome = portrelay::testing::runHost("ui --simulate assetto-corsa --seconds 12 --listen 127.0.0.1:" + port, dir,
                                          bound);
  });
  struct Joined {
    std::thread& thread;
    ~Joined() {
      if (thread.joinable()) thread.join();
    }
  } joined{host};

  std::string url;
  const std::string printed = "portrelay: the panel is at ";
  portrelay::testing::waitUntil(
      [&] {
        const std::string output = readFile(outputPath(dir));
        const size_t at = output.find(printed);
        if (at != std::string::npos && output.find('\n', at) != std::string::npos)
          url = output.substr(at + printed.size(), output.find_first_of("\r\n", at) - at - printed.size());
        return !url.empty();
      },
      std::chrono::seconds(60));
  ASSERT_EQ(url.rfind("http://127.0.0.1:" + port + "/?token=", 0), 0u) << url;
  const std::string token = url.substr(url.find("token=") + 6);
  ASSERT_EQ(token.size(), 32u) << url;

  const std::string own = "127.0.0.1:" + port, cookie = "Cookie: portrelay_panel_" + port + "=" + token;
  const auto ask = [&](const std::string& method, const std::string& path, std::vector<std::string> headers,
                       const std::string& body = "") {
    std::string text = method + " " + path + " HTTP/1.1\r\n";
    if (headers.empty() || headers.front().rfind("Host:", 0) != 0) text += "Host: " + own + "\r\n";
    for (const std::string& header : headers) text += header + "\r\n";
    const bool sized = std::any_of(headers.begin(), headers.end(),
                                   [](const std::string& h) { return h.rfind("Content-Length:", 0) == 0; });
    if (method == "POST" && !sized)
      text += "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    return text + "\r\n" + body;
  };

  // The live push: events at the push rate, whose axes change as the game moves.
  const auto begin = std::chrono::steady_clock::now();
  const std::string stream =
      exchange(std::stoi(port), ask("GET", "/api/live", {cookie}), std::chrono::seconds(30), [](const std::string& r) {
        const std::vector<std::string> axes = movingAxes(r);
        return std::set<std::string>(axes.begin(), axes.end()).size() >= 20;
      });
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  EXPECT_EQ(statusOf(stream), 200) << stream.substr(0, 300);
  EXPECT_NE(stream.find("Content-Type: text/event-stream"), std::string::npos) << stream.substr(0, 300);
  const std::vector<std::string> axes = movingAxes(stream);
  EXPECT_GE(std::set<std::string>(axes.begin(), axes.end()).size(), 20u) << stream.substr(0, 2000);
  size_t events = 0;
  for (size_t at = stream.find("data: "); at != std::string::npos; at = stream.find("data: ", at + 1)) ++events;
  std::printf("live push: %zu events in %.2f s, %zu while the game ran\n", events, seconds, axes.size());

  struct Case {
    const char* what;
    std::string request;
    int status;
    std::vector<std::string> expected;  // each appears in the reply
  };
  const std::string park = R"({"action":"park"})", close = "Connection: close";
  const std::vector<Case> cases = {
      {"the token address leaves the token in a cookie and moves to the plain address",
       ask("GET", "/?token=" + token, {close}), 302,
       {"Set-Cookie: portrelay_panel_" + port + "=" + token + "; Path=/; HttpOnly; SameSite=Strict", "Location: /"}},
      {"the page, by the cookie", ask("GET", "/", {cookie, close}), 200,
       {"Content-Type: text/html", "<title>PortRelay</title>", "/panel.js"}},
      {"the chart library needs no token", ask("GET", "/dygraph.min.js", {close}), 200, {"Dygraph"}},
      {"no token", ask("GET", "/", {close}), 403, {"open the panel with the address portrelay ui printed"}},
      {"another token", ask("GET", "/api/profile", {"X-Panel-Token: " + std::string(32, '0'), close}), 403, {}},
      {"another host name (DNS rebinding)", ask("GET", "/api/profile", {"Host: evil.example:" + port, cookie, close}),
       403, {"the Host header does not name this panel"}},
      {"a change from another site's page",
       ask("POST", "/api/action", {cookie, "Origin: http://evil.example", close}, park), 403,
       {"does not come from the panel's own page"}},
      {"a change without its page", ask("POST", "/api/action", {"X-Panel-Token: " + token, close}, park), 403, {}},
      {"a request too large to read",
       ask("POST", "/api/check", {cookie, "Origin: http://" + own, "Content-Length: 1000000", close}, ""), 413, {}},
      {"not HTTP", "GET / HTTP/1.1\r\nHost " + own + "\r\n\r\n", 400, {}},
      {"a path that is not the panel's", ask("GET", "/api/none", {cookie, close}), 404, {}},
      {"a change from the panel's own page with the token",
       ask("POST", "/api/action", {"X-Panel-Token: " + token, "Origin: http://" + own, close}, park), 200,
       {"\"ok\":true", "Content-Type: application/json"}},
  };
  for (const Case& c : cases) {
    const std::string reply =
        exchange(std::stoi(port), c.request, std::chrono::seconds(10), [](const std::string&) { return false; });
    EXPECT_EQ(statusOf(reply), c.status) << c.what << "\n" << reply.substr(0, 500);
    for (const std::string& text : c.expected)
      EXPECT_NE(reply.find(text), std::string::npos) << c.what << "\nwanted: " << text << "\ngot:\n" << reply.substr(0, 500);
  }

  // Two requests on one connection: the first keeps it open for the second.
  const std::string twice = ask("GET", "/panel.css", {cookie}) + ask("GET", "/api/profile", {cookie, close});
  const std::string replies =
      exchange(std::stoi(port), twice, std::chrono::seconds(10), [](const std::string&) { return false; });
  EXPECT_EQ(statusOf(replies), 200) << replies.substr(0, 500);
  EXPECT_NE(replies.find("HTTP/1.1 200 OK", 10), std::string::npos) << replies.substr(0, 500);
  EXPECT_NE(replies.find("\"profiles\""), std::string::npos);

  host.join();
  EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
  platform::stopNetworking();
}

}  // namespace
