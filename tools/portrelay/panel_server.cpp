#include "panel_server.h"

#include <cctype>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <thread>

#include "panel_assets.h"

namespace host {
namespace {

using nlohmann::json;
constexpr auto kPushInterval = std::chrono::milliseconds(25);  // 40 updates a second

HttpResponse jsonAnswer(std::string body) { return {200, "application/json", std::move(body), {}, {}}; }
HttpResponse status(int code) { return {code, "", "", {}, {}}; }

std::string cookieName(const PanelAddress& listen) { return std::string(kTokenCookie) + "_" + std::to_string(listen.port); }

bool isRecordingName(const std::string& name) {
  if (name.empty()) return false;
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '.' && c != '-') return false;
  return true;
}

}  // namespace

PanelServer::PanelServer(const LibraryApi& api, PanelHooks hooks, PanelAddress listen)
    : api_(api), hooks_(std::move(hooks)), listen_(std::move(listen)), token_(makeToken()),
      server_([this](const HttpRequest& request) { return respond(request); }) {}

PanelServer::~PanelServer() { stop(); }

std::string PanelServer::url() const {
  return "http://" + listen_.host + ":" + std::to_string(listen_.port) + "/?token=" + token_;
}

bool PanelServer::start(std::string& error) {
  if (!server_.listen(listen_.host, listen_.port)) {
    error = "cannot listen on " + listen_.host + ":" + std::to_string(listen_.port) + " (in use, or not an address "
            "of this machine)";
    return false;
  }
  return true;
}

void PanelServer::stop() { server_.stop(); }

HttpResponse PanelServer::respond(const HttpRequest& request) {
  // Every request passes the guard first; the chart library's files are the
  // only ones served without the token (they are public and change nothing).
  GuardedRequest guarded{request.method,          request.header("Host"),        request.header("Origin"), "",
                         request.header("X-Panel-Token"), request.parameter("token")};
  // The cookie is named after the port, so two panels on one machine keep theirs.
  guarded.cookie = std::string(kTokenCookie) + "=" + cookieValue(request.header("Cookie"), cookieName(listen_));
  const bool tokenFree = request.path.rfind("/dygraph", 0) == 0;
  const GuardVerdict verdict = guardRequest(guarded, listen_, token_, tokenFree);
  if (verdict == GuardVerdict::allowed) return route(request);
  static const char* const kWhy[] = {"", "refused: the Host header does not name this panel",
                                     ("refused: open the panel with the address portrelay ui printed (it holds "
                                      "the access token)"),
                                     "refused: the request does not come from the panel's own page"};
  return {403, "text/plain", std::string(kWhy[static_cast<int>(verdict)]) + "\n", {}, {}};
}

HttpResponse PanelServer::route(const HttpRequest& request) {
  const bool get = request.method == "GET" || request.method == "HEAD";
  const bool post = request.method == "POST";
  const std::string& path = request.path;

  if (get) {
    for (size_t i = 0; i < kPanelAssetCount; ++i) {
      const PanelAsset& asset = kPanelAssets[i];
      if (path != (std::strcmp(asset.path, "/index.html") == 0 ? "/" : asset.path)) continue;
      if (request.hasParameter("token")) {
        // The token URL leaves the token in a cookie only this panel's pages
        // send, and moves the address bar to the plain address.
        return {302, "", "", {{"Set-Cookie", cookieName(listen_) + "=" + token_ + "; Path=/; HttpOnly; SameSite=Strict"},
                              {"Location", "/"}}, {}};
      }
      return {200, asset.contentType, std::string(reinterpret_cast<const char*>(asset.data), asset.size),
              {{"Cache-Control", "no-store"}}, {}};
    }
  }

  if (get && path == "/api/live") {
    HttpResponse response{200, "text/event-stream", "", {{"Cache-Control", "no-store"}}, {}};
    response.stream = [this, first = true](std::string& piece) mutable {
      if (!first) std::this_thread::sleep_for(kPushInterval);
      first = false;
      if (server_.stopping()) return false;
      piece = "data: " + hooks_.live() + "\n\n";
      return true;
    };
    return response;
  }

  if (get && path == "/api/profile") return jsonAnswer(hooks_.profile());

  if (get && path == "/api/ports") {
    json ports = json::array();
    for (int32_t index = 0; index < 256; ++index) {
      int32_t number = 0;
      char name[256] = {}, ids[1024] = {};
      uint8_t rig = 0;
      if (api_.getSerialPortInfo(index, &number, name, sizeof name, ids, sizeof ids, &rig) != 1) break;
      ports.push_back({{"port", "COM" + std::to_string(number)}, {"name", name}, {"ids", ids}, {"rig", rig != 0}});
    }
    return jsonAnswer(ports.dump());
  }

  const std::string recordings = "/api/recordings/";
  if (get && path.rfind(recordings, 0) == 0) {
    const std::string name = path.substr(recordings.size());
    const std::string file = isRecordingName(name) ? hooks_.recordingPath(name) : "";
    std::ifstream in(file, std::ios::binary);
    if (file.empty() || !in) return status(404);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return {200, "text/csv", std::move(bytes), {{"Content-Disposition", "attachment; filename=\"" + name + "\""}}, {}};
  }

  if (!post) return status(404);

  if (path == "/api/check") {
    const json body = json::parse(request.body, nullptr, false);
    if (!body.is_object() || !body.contains("filter") || !body["filter"].is_string()) return status(400);
    const std::string filter = body["filter"];
    char text[8192] = {};
    int32_t position = 0;
    const int32_t valid = api_.checkFilterstring(filter.c_str(), text, sizeof text, &position);
    json answer{{"valid", valid == 1}};
    if (valid != 1) {
      answer["reason"] = text;
      answer["position"] = position + 1;  // characters counted from 1, as the owner reads them
    } else {
      answer["chain"] = text;
      ChainResponse response;
      if (responses_.compute(filter, response)) {
        answer["step"] = {{"t", response.stepTimes}, {"y", response.stepValues}};
        answer["linear"] = response.linear;
        if (response.linear)
          answer["frequency"] = {{"f", response.frequencies}, {"gain", response.gains}, {"phase", response.phases}};
      } else {
        answer["note"] = "no response: the filter lab library is not beside portrelay";
      }
    }
    return jsonAnswer(answer.dump());
  }

  if (path == "/api/apply") {
    const json body = json::parse(request.body, nullptr, false);
    if (!body.is_object() || !body.value("profile", json()).is_number_integer() ||
        !body.value("slot", json()).is_number_integer() || !body.value("filter", json()).is_string() ||
        !body.value("active", json()).is_boolean())
      return status(400);
    return jsonAnswer(hooks_.apply(body["profile"], body["slot"], body["filter"], body["active"]));
  }

  if (path == "/api/save") return jsonAnswer(hooks_.save());

  if (path == "/api/action") {
    const json body = json::parse(request.body, nullptr, false);
    if (!body.is_object() || !body.value("action", json()).is_string()) return status(400);
    const json axis = body.value("axis", json(-1));
    return jsonAnswer(hooks_.act(body["action"], axis.is_number_integer() ? axis.get<int>() : -1));
  }

  if (path == "/api/record/start") return jsonAnswer(hooks_.record(true));
  if (path == "/api/record/stop") return jsonAnswer(hooks_.record(false));
  return status(404);
}

}  // namespace host
