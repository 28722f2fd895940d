// The browser panel's HTTP server: the page, a live push of the rig's state
// (Server-Sent Events), the tuning view's chain check and responses, and the
// operations, each behind the request guard.
#pragma once
#include <functional>
#include <string>

#include "filter_response.h"
#include "library_api.h"
#include "panel_http.h"
#include "request_guard.h"

namespace host {

// What the server asks of the running host. `live` runs on server threads and
// reads only through the library's exports; the others run on the host's
// main loop (through PanelBridge) and answer with a JSON object.
struct PanelHooks {
  std::function<std::string()> live;
  std::function<std::string(const std::string& action, int axis)> act;
  std::function<std::string()> profile;
  std::function<std::string(int profile, int slot, const std::string& filter, bool active)> apply;
  std::function<std::string()> save;
  std::function<std::string(bool start)> record;
  // The file of a recording the panel made, by its name; "" for any other.
  std::function<std::string(const std::string& name)> recordingPath;
};

class PanelServer {
 public:
  PanelServer(const LibraryApi& api, PanelHooks hooks, PanelAddress listen);
  ~PanelServer();

  // Binds the address; false (with the reason) when it cannot.
  bool start(std::string& error);
  void stop();
  // "http://127.0.0.1:8787/?token=..."
  std::string url() const;
  const std::string& token() const { return token_; }

 private:
  HttpResponse respond(const HttpRequest& request);
  HttpResponse route(const HttpRequest& request);

  const LibraryApi& api_;
  PanelHooks hooks_;
  PanelAddress listen_;
  std::string token_;
  FilterResponse responses_;
  HttpServer server_;
};

}  // namespace host
