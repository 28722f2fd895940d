// Who may talk to the panel: the rules every request passes before a handler
// sees it. A page from another site must not move the rig, and a name that
// merely resolves to this machine (DNS rebinding) must not reach it either.
#pragma once
#include <string>

namespace host {

struct PanelAddress {
  std::string host;  // as listened on: "127.0.0.1", "0.0.0.0", "192.168.1.20"
  int port = 8787;
};

// The parts of a request the guard looks at; empty when absent.
struct GuardedRequest {
  std::string method;  // "GET", "POST", ...
  std::string hostHeader;
  std::string origin;
  std::string cookie;       // the whole Cookie header
  std::string tokenHeader;  // X-Panel-Token
  std::string tokenQuery;   // ?token=
};

enum class GuardVerdict { allowed, wrongHost, noToken, wrongOrigin };

// Host must name the listen address (or, on loopback, localhost/127.0.0.1)
// with the port. Reading needs the token (query, cookie or header) too, except
// the bare page, which then asks for it; every other method also needs an
// Origin equal to the panel's own.
GuardVerdict guardRequest(const GuardedRequest& request, const PanelAddress& listen, const std::string& token,
                          bool tokenFree);

// "host:port" names the panel accepts in Host and Origin.
bool hostNamesPanel(const std::string& hostHeader, const PanelAddress& listen);
// The value of cookie `name` in a Cookie header, or "".
std::string cookieValue(const std::string& cookieHeader, const std::string& name);
// Compares without an early exit, so the time taken tells nothing of the token.
bool sameToken(const std::string& given, const std::string& token);
// "ADDR:PORT" of --listen; false when it is not an IPv4 address and a port.
bool parseListen(const std::string& text, PanelAddress& address);
// A fresh random token: 32 hexadecimal digits.
std::string makeToken();

inline constexpr const char* kTokenCookie = "portrelay_panel";

}  // namespace host
