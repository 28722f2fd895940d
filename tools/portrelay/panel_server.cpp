#include "panel_server.h"

#include <httplib.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>

#include "panel_assets.h"

namespace host {
namespace {

using nlohmann::json;
constexpr auto kPushInterval = std::chrono::milliseconds(25);  // 40 updates a second

void answerJson(httplib::Response& res, const std::string& body) { res.set_content(body, "application/json"); }

std::string cookieName(const PanelAddress& listen) { return std::string(kTokenCookie) + "_" + std::to_string(listen.port); }

}  // namespace

PanelServer::PanelServer(const LibraryApi& api, PanelHooks hooks, PanelAddress listen)
    : api_(api), hooks_(std::move(hooks)), listen_(std::move(listen)), token_(makeToken()),
      server_(std::make_unique<httplib::Server>()) {
  routes();
}

PanelServer::~PanelServer() { stop(); }

std::string PanelServer::url() const {
  return "http://" + listen_.host + ":" + std::to_string(listen_.port) + "/?token=" + token_;
}

bool PanelServer::start(std::string& error) {
  if (!server_->bind_to_port(listen_.host, listen_.port)) {
    error = "cannot listen on " + listen_.host + ":" + std::to_string(listen_.port) + " (in use, or not an address "
            "of this machine)";
    return false;
  }
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  return true;
}

void PanelServer::stop() {
  stopping_.store(true);
  if (thread_.joinable()) {
    server_->stop();
    thread_.join();
  }
}

void PanelServer::routes() {
  httplib::Server& s = *server_;
  // Every request passes the guard first; the chart library's files are the
  // only ones served without the token (they are public and change nothing).
  s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    GuardedRequest request{req.method,
                           req.get_header_value("Host"),
                           req.get_header_value("Origin"),
                           "",
                           req.get_header_value("X-Panel-Token"),
                           req.get_param_value("token")};
    // The cookie is named after the port, so two panels on one machine keep theirs.
    const std::string cookie = cookieValue(req.get_header_value("Cookie"), cookieName(listen_));
    request.cookie = std::string(kTokenCookie) + "=" + cookie;
    const bool tokenFree = req.path.rfind("/dygraph", 0) == 0;
    const GuardVerdict verdict = guardRequest(request, listen_, token_, tokenFree);
    if (verdict == GuardVerdict::allowed) return httplib::Server::HandlerResponse::Unhandled;
    static const char* const kWhy[] = {"", "refused: the Host header does not name this panel",
                                       "refused: open the panel with the address portrelay ui printed (it holds "
                                       "the access token)",
                                       "refused: the request does not come from the panel's own page"};
    res.status = 403;
    res.set_content(std::string(kWhy[static_cast<int>(verdict)]) + "\n", "text/plain");
    return httplib::Server::HandlerResponse::Handled;
  });

  for (size_t i = 0; i < kPanelAssetCount; ++i) {
    const PanelAsset& asset = kPanelAssets[i];
    const std::string path = std::strcmp(asset.path, "/index.html") == 0 ? "/" : asset.path;
    s.Get(path, [this, &asset](const httplib::Request& req, httplib::Response& res) {
      if (req.has_param("token")) {
        // The token URL leaves the token in a cookie only this panel's pages
        // send, and moves the address bar to the plain address.
        res.set_header("Set-Cookie", cookieName(listen_) + "=" + token_ + "; Path=/; HttpOnly; SameSite=Strict");
        res.set_redirect("/");
        return;
      }
      res.set_header("Cache-Control", "no-store");
      res.set_content(reinterpret_cast<const char*>(asset.data), asset.size, asset.contentType);
    });
  }

  s.Get("/api/live", [this](const httplib::Request&, httplib::Response& res) {
    res.set_header("Cache-Control", "no-store");
    res.set_chunked_content_provider("text/event-stream", [this](size_t, httplib::DataSink& sink) {
      if (stopping_.load()) return false;
      const std::string event = "data: " + hooks_.live() + "\n\n";
      if (!sink.write(event.data(), event.size())) return false;
      std::this_thread::sleep_for(kPushInterval);
      return !stopping_.load();
    });
  });

  s.Get("/api/profile", [this](const httplib::Request&, httplib::Response& res) { answerJson(res, hooks_.profile()); });

  s.Get("/api/ports", [this](const httplib::Request&, httplib::Response& res) {
    json ports = json::array();
    for (int32_t index = 0; index < 256; ++index) {
      int32_t number = 0;
      char name[256] = {}, ids[1024] = {};
      uint8_t rig = 0;
      if (api_.getSerialPortInfo(index, &number, name, sizeof name, ids, sizeof ids, &rig) != 1) break;
      ports.push_back({{"port", "COM" + std::to_string(number)}, {"name", name}, {"ids", ids}, {"rig", rig != 0}});
    }
    answerJson(res, ports.dump());
  });

  s.Post("/api/check", [this](const httplib::Request& req, httplib::Response& res) {
    const json body = json::parse(req.body, nullptr, false);
    if (!body.is_object() || !body.contains("filter") || !body["filter"].is_string()) {
      res.status = 400;
      return;
    }
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
    answerJson(res, answer.dump());
  });

  s.Post("/api/apply", [this](const httplib::Request& req, httplib::Response& res) {
    const json body = json::parse(req.body, nullptr, false);
    if (!body.is_object() || !body.value("profile", json()).is_number_integer() ||
        !body.value("slot", json()).is_number_integer() || !body.value("filter", json()).is_string() ||
        !body.value("active", json()).is_boolean()) {
      res.status = 400;
      return;
    }
    answerJson(res, hooks_.apply(body["profile"], body["slot"], body["filter"], body["active"]));
  });

  s.Post("/api/save", [this](const httplib::Request&, httplib::Response& res) { answerJson(res, hooks_.save()); });

  s.Post("/api/action", [this](const httplib::Request& req, httplib::Response& res) {
    const json body = json::parse(req.body, nullptr, false);
    if (!body.is_object() || !body.value("action", json()).is_string()) {
      res.status = 400;
      return;
    }
    const json axis = body.value("axis", json(-1));
    answerJson(res, hooks_.act(body["action"], axis.is_number_integer() ? axis.get<int>() : -1));
  });

  s.Post("/api/record/start", [this](const httplib::Request&, httplib::Response& res) {
    answerJson(res, hooks_.record(true));
  });
  s.Post("/api/record/stop", [this](const httplib::Request&, httplib::Response& res) {
    answerJson(res, hooks_.record(false));
  });
  s.Get(R"(/api/recordings/([A-Za-z0-9_.-]+))", [this](const httplib::Request& req, httplib::Response& res) {
    const std::string name = req.matches[1];
    const std::string path = hooks_.recordingPath(name);
    std::ifstream file(path, std::ios::binary);
    if (path.empty() || !file) {
      res.status = 404;
      return;
    }
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    res.set_header("Content-Disposition", "attachment; filename=\"" + name + "\"");
    res.set_content(bytes, "text/csv");
  });
}

}  // namespace host
