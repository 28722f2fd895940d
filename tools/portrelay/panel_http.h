// The panel's HTTP/1.1 server: one thread accepts, one thread serves each
// connection (the panel has one or a few browsers), keep-alive, bounded
// requests, and an endless response for a Server-Sent Events stream. The
// requests are answered by one handler; this file knows nothing of routes.
#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace host {

struct HttpRequest {
  std::string method;  // "GET", "POST", ...
  std::string path;    // "/api/live", without the query
  std::string query;   // what followed '?', as sent
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;

  // The header's value ("" when absent); names compare without case.
  std::string header(const std::string& name) const;
  // The query parameter's value, decoded; "" when absent.
  std::string parameter(const std::string& name) const;
  bool hasParameter(const std::string& name) const;
};

struct HttpResponse {
  int status = 200;
  std::string contentType;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  // Set for an endless body: called for each next piece, which the server
  // sends as it comes, until it returns false, the server stops or the
  // browser goes away; the connection then closes.
  std::function<bool(std::string& piece)> stream;
};

class HttpServer {
 public:
  using Handler = std::function<HttpResponse(const HttpRequest&)>;

  explicit HttpServer(Handler handler);
  ~HttpServer();  // stops
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds the IPv4 address and port and starts serving; false when the
  // address cannot be bound (in use, or not an address of this machine).
  bool listen(const std::string& address, int port);
  // Closes the listening socket and every open connection, and waits for
  // every thread of the server; a stream's next piece is not asked for.
  void stop();
  bool stopping() const { return stopping_.load(); }

 private:
  struct Connection;
  struct Network;
  void acceptNext();
  void serve(Connection& connection);

  Handler handler_;
  std::unique_ptr<Network> network_;
  std::atomic<bool> stopping_{false};
};

}  // namespace host
