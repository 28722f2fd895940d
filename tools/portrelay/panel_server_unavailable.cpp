// The panel where this build has no HTTP server library (the Windows cross
// build: Debian ships cpp-httplib only compiled for its own machine). `ui`
// refuses to start with the reason; everything else of the host works.
#include "panel_server.h"

namespace httplib {
class Server {};  // never created here
}  // namespace httplib

namespace host {

PanelServer::PanelServer(const LibraryApi& api, PanelHooks hooks, PanelAddress listen)
    : api_(api), hooks_(std::move(hooks)), listen_(std::move(listen)), token_(makeToken()) {}

PanelServer::~PanelServer() = default;

bool PanelServer::start(std::string& error) {
  error = "this build of portrelay has no browser panel (it was built without the HTTP server library "
          "cpp-httplib); use 'portrelay run' and its terminal view, or a build that has the panel";
  return false;
}

void PanelServer::stop() {}

std::string PanelServer::url() const { return ""; }

void PanelServer::routes() {}

}  // namespace host
