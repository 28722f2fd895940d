#include "request_guard.h"

#include <cstdio>
#include <random>

namespace host {
namespace {

bool isLoopback(const std::string& host) { return host == "127.0.0.1" || host == "localhost" || host == "::1"; }

// "name:port" split at the last colon ("[::1]:8787" keeps its brackets off).
bool splitHostPort(const std::string& text, std::string& name, int& port) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon + 1 == text.size()) return false;
  name = text.substr(0, colon);
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
  port = 0;
  for (size_t i = colon + 1; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9' || port > 65535) return false;
    port = port * 10 + (text[i] - '0');
  }
  return port > 0 && port <= 65535;
}

}  // namespace

bool hostNamesPanel(const std::string& hostHeader, const PanelAddress& listen) {
  std::string name;
  int port = 0;
  if (!splitHostPort(hostHeader, name, port) || port != listen.port) return false;
  if (name == listen.host) return true;
  // Listening on every address: only the loopback names are known to be ours;
  // the owner opens the panel by this machine's address, which is its listen
  // address, so a wildcard listen accepts any numeric IPv4 address.
  if (listen.host == "0.0.0.0") {
    if (isLoopback(name)) return true;
    int dots = 0;
    for (char c : name) {
      if (c == '.') ++dots;
      else if (c < '0' || c > '9') return false;
    }
    return dots == 3;
  }
  return isLoopback(listen.host) && isLoopback(name);
}

std::string cookieValue(const std::string& cookieHeader, const std::string& name) {
  size_t at = 0;
  while (at < cookieHeader.size()) {
    while (at < cookieHeader.size() && (cookieHeader[at] == ' ' || cookieHeader[at] == ';')) ++at;
    const size_t end = cookieHeader.find(';', at);
    const std::string pair = cookieHeader.substr(at, end == std::string::npos ? std::string::npos : end - at);
    const size_t equals = pair.find('=');
    if (equals != std::string::npos && pair.substr(0, equals) == name) return pair.substr(equals + 1);
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return "";
}

bool sameToken(const std::string& given, const std::string& token) {
  if (token.empty() || given.size() != token.size()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < token.size(); ++i)
    difference |= static_cast<unsigned char>(given[i] ^ token[i]);
  return difference == 0;
}

GuardVerdict guardRequest(const GuardedRequest& request, const PanelAddress& listen, const std::string& token,
                          bool tokenFree) {
  if (!hostNamesPanel(request.hostHeader, listen)) return GuardVerdict::wrongHost;
  const bool reading = request.method == "GET" || request.method == "HEAD";
  const bool tokenGiven = sameToken(request.tokenHeader, token) ||
                          sameToken(cookieValue(request.cookie, kTokenCookie), token) ||
                          (reading && sameToken(request.tokenQuery, token));
  if (!reading) {
    // A browser names the page that sends a request that changes anything; a
    // page of another site (or none) is refused even when the cookie rides along.
    const std::string http = "http://";
    if (request.origin.compare(0, http.size(), http) != 0 ||
        !hostNamesPanel(request.origin.substr(http.size()), listen) ||
        request.origin.substr(http.size()) != request.hostHeader)
      return GuardVerdict::wrongOrigin;
  }
  if (!tokenGiven && !(reading && tokenFree)) return GuardVerdict::noToken;
  return GuardVerdict::allowed;
}

bool parseListen(const std::string& text, PanelAddress& address) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  const std::string host = text.substr(0, colon), port = text.substr(colon + 1);
  int dots = 0, part = 0, digits = 0;
  for (char c : host) {
    if (c == '.') {
      if (digits == 0) return false;
      ++dots, part = 0, digits = 0;
    } else if (c >= '0' && c <= '9' && digits < 3) {
      part = part * 10 + (c - '0'), ++digits;
      if (part > 255) return false;
    } else {
      return false;
    }
  }
  if (dots != 3 || digits == 0 || port.empty() || port.size() > 5) return false;
  int number = 0;
  for (char c : port) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
  }
  if (number < 1 || number > 65535) return false;
  address = {host, number};
  return true;
}

std::string makeToken() {
  std::random_device device;
  std::string token;
  for (int i = 0; i < 4; ++i) {
    char part[9];
    std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(device()));
    token += part;
  }
  return token;
}

}  // namespace host
