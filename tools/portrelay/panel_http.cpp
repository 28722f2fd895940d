#include "panel_http.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http.hpp>
#include <algorithm>
#include <chrono>
#include <list>
#include <mutex>
#include <thread>

namespace host {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

constexpr std::uint64_t kBodyLimit = 64 * 1024;  // a chain or an action is a few hundred bytes
constexpr std::uint32_t kHeaderLimit = 16 * 1024;
constexpr auto kIdleLimit = std::chrono::seconds(60);    // a kept-alive connection without a request
constexpr auto kWriteLimit = std::chrono::seconds(10);   // a browser that stopped reading
constexpr auto kAcceptRetry = std::chrono::milliseconds(100);  // after a failed accept (out of descriptors)
constexpr size_t kMaxConnections = 32;                   // a browser opens at most 6 per panel

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string decoded(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 && hexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The value of `name` in "a=1&b=2", or nothing.
bool findParameter(const std::string& query, const std::string& name, std::string& value) {
  size_t at = 0;
  while (at <= query.size()) {
    const size_t end = std::min(query.find('&', at), query.size());
    const std::string pair = query.substr(at, end - at);
    const size_t equals = pair.find('=');
    if (decoded(pair.substr(0, equals)) == name) {
      value = equals == std::string::npos ? "" : decoded(pair.substr(equals + 1));
      return true;
    }
    at = end + 1;
  }
  return false;
}

HttpRequest toRequest(const http::request<http::string_body>& message) {
  HttpRequest request;
  request.method = std::string(message.method_string());
  const std::string target(message.target());
  const size_t question = target.find('?');
  request.path = target.substr(0, question);
  if (question != std::string::npos) request.query = target.substr(question + 1);
  request.body = message.body();
  for (const auto& field : message) request.headers.emplace_back(field.name_string(), field.value());
  return request;
}

}  // namespace

std::string HttpRequest::header(const std::string& name) const {
  for (const auto& [key, value] : headers)
    if (beast::iequals(key, name)) return value;
  return "";
}

std::string HttpRequest::parameter(const std::string& name) const {
  std::string value;
  findParameter(query, name, value);
  return value;
}

bool HttpRequest::hasParameter(const std::string& name) const {
  std::string value;
  return findParameter(query, name, value);
}

// One browser connection. Its every operation runs on its own thread, in its
// own context: started, then run to its end by await(); the close that
// stop() posts runs there too, so it cancels whatever the thread waits for.
struct HttpServer::Connection {
  asio::io_context context;
  beast::tcp_stream stream{context};
  std::thread thread;
  std::atomic<bool> finished{false};

  void await() {
    context.restart();
    context.run();
  }
  void end() {
    asio::post(context, [this] {
      beast::error_code ignored;
      stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
      stream.close();
    });
  }
};

struct HttpServer::Network {
  asio::io_context context;  // the accept thread's
  tcp::acceptor acceptor{context};
  asio::steady_timer retry{context};
  std::thread acceptThread;
  std::mutex mutex;
  std::list<std::shared_ptr<Connection>> connections;

  // Joins the threads of connections that have ended (under the mutex).
  void reap() {
    for (auto it = connections.begin(); it != connections.end();) {
      if (!(*it)->finished.load()) {
        ++it;
        continue;
      }
      (*it)->thread.join();
      it = connections.erase(it);
    }
  }
};

HttpServer::HttpServer(Handler handler) : handler_(std::move(handler)), network_(std::make_unique<Network>()) {}

HttpServer::~HttpServer() { stop(); }

bool HttpServer::listen(const std::string& address, int port) {
  beast::error_code error;
  const auto ip = asio::ip::make_address_v4(address, error);
  if (error || port < 1 || port > 65535) return false;
  const tcp::endpoint endpoint(ip, static_cast<unsigned short>(port));
  tcp::acceptor& acceptor = network_->acceptor;
  acceptor.open(endpoint.protocol(), error);
#if !defined(_WIN32)
  // A restarted panel gets its port back while the last run's connections
  // linger; on Windows the same option would let two programs share a port.
  if (!error) acceptor.set_option(asio::socket_base::reuse_address(true), error);
#endif
  if (!error) acceptor.bind(endpoint, error);
  if (!error) acceptor.listen(asio::socket_base::max_listen_connections, error);
  if (error) {
    acceptor.close(error);
    return false;
  }
  acceptNext();
  network_->acceptThread = std::thread([this] { network_->context.run(); });
  return true;
}

void HttpServer::acceptNext() {
  auto connection = std::make_shared<Connection>();
  network_->acceptor.async_accept(connection->stream.socket(), [this, connection](beast::error_code error) {
    if (error == asio::error::operation_aborted || stopping_.load()) return;
    if (error) {
      network_->retry.expires_after(kAcceptRetry);
      network_->retry.async_wait([this](beast::error_code waited) {
        if (!waited && !stopping_.load()) acceptNext();
      });
      return;
    }
    {
      std::lock_guard lock(network_->mutex);
      network_->reap();
      if (network_->connections.size() < kMaxConnections) {
        network_->connections.push_back(connection);
        connection->thread = std::thread([this, connection] { serve(*connection); });
      }
    }
    acceptNext();
  });
}

void HttpServer::stop() {
  stopping_.store(true);
  asio::post(network_->context, [this] {
    beast::error_code ignored;
    network_->acceptor.close(ignored);
    network_->retry.cancel();
  });
  if (network_->acceptThread.joinable()) network_->acceptThread.join();
  std::list<std::shared_ptr<Connection>> open;
  {
    std::lock_guard lock(network_->mutex);
    open.swap(network_->connections);
  }
  for (const auto& connection : open) connection->end();
  for (const auto& connection : open) connection->thread.join();
}

void HttpServer::serve(Connection& connection) {
  beast::flat_buffer buffer;
  beast::error_code error;
  const auto done = [&error](beast::error_code result, std::size_t) { error = result; };
  try {
    while (!stopping_.load()) {
      http::request_parser<http::string_body> parser;
      parser.header_limit(kHeaderLimit);
      parser.body_limit(kBodyLimit);
      connection.stream.expires_after(kIdleLimit);
      http::async_read(connection.stream, buffer, parser, done);
      connection.await();
      if (stopping_.load()) break;
      // A request that cannot be read whole is answered (too large, or not
      // HTTP) and the connection closes; one cut off by the browser is not.
      const bool tooLarge = error == http::error::body_limit || error == http::error::header_limit;
      const bool malformed = !tooLarge && error.category() == http::make_error_code(http::error::bad_target).category() &&
                             error != http::error::end_of_stream && error != http::error::partial_message;
      if (error && !tooLarge && !malformed) break;
      const http::request<http::string_body>& message = parser.get();
      HttpResponse response;
      if (error) {
        response = HttpResponse{tooLarge ? 413 : 400, "text/plain",
                                tooLarge ? "the request is too large\n" : "not a request the panel reads\n", {}, {}};
      } else {
        try {
          response = handler_(toRequest(message));
        } catch (const std::exception&) {
          response = HttpResponse{500, "text/plain", "the panel could not answer\n", {}, {}};
        }
      }
      const bool keepAlive = !error && !response.stream && message.keep_alive();
      connection.stream.expires_after(kWriteLimit);
      if (response.stream) {
        // An endless body: no length; it ends when the connection closes.
        http::response<http::empty_body> head{static_cast<http::status>(response.status), message.version()};
        if (!response.contentType.empty()) head.set(http::field::content_type, response.contentType);
        for (const auto& [name, value] : response.headers) head.insert(name, value);
        head.keep_alive(false);
        http::response_serializer<http::empty_body> serializer{head};
        http::async_write_header(connection.stream, serializer, done);
        connection.await();
        std::string piece;
        while (!error && !stopping_.load() && response.stream(piece) && !stopping_.load()) {
          connection.stream.expires_after(kWriteLimit);
          asio::async_write(connection.stream, asio::buffer(piece), done);
          connection.await();
        }
        break;
      }
      http::response<http::string_body> reply{static_cast<http::status>(response.status), message.version()};
      if (!response.contentType.empty()) reply.set(http::field::content_type, response.contentType);
      for (const auto& [name, value] : response.headers) reply.insert(name, value);
      reply.body() = std::move(response.body);
      reply.keep_alive(keepAlive);
      reply.prepare_payload();
      if (message.method() == http::verb::head) reply.body().clear();  // the length stays: that of a GET
      http::async_write(connection.stream, reply, done);
      connection.await();
      if (error || !keepAlive) break;
    }
    beast::error_code ignored;
    connection.stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
  } catch (const std::exception&) {
    // A failure of this connection alone (such as no memory for a request): it closes.
  }
  connection.finished.store(true);
}

}  // namespace host
