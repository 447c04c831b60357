#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include "tools/destination.h"
#include "tools/failure.h"

namespace textrelay {

namespace {

using Milliseconds = std::chrono::milliseconds;
constexpr Milliseconds kConnectTimeout{10'000};
// A printer that takes no byte, or does not close, for this long is gone.
constexpr Milliseconds kStallTimeout{60'000};
constexpr const char* kRawPort = "9100";

struct Endpoint {
  std::string host;
  std::string port;
};

// HOST, HOST:PORT, [IPv6] or [IPv6]:PORT after the scheme.
Endpoint ParseEndpoint(const std::string& uri) {
  const std::string rest = uri.substr(std::strlen("tcp://"));
  Endpoint endpoint{rest, kRawPort};
  size_t host_end = rest.size();
  if (rest.starts_with("[")) {
    host_end = rest.find(']');
    if (host_end == std::string::npos) throw Failure(uri + ": missing ']'");
    endpoint.host = rest.substr(1, host_end - 1);
    ++host_end;
  } else {
    host_end = rest.rfind(':');
    if (host_end == std::string::npos) host_end = rest.size();
    endpoint.host = rest.substr(0, host_end);
  }
  if (host_end < rest.size()) {
    if (rest[host_end] != ':') throw Failure(uri + ": expected :PORT after the host");
    endpoint.port = rest.substr(host_end + 1);
  }
  if (endpoint.host.empty() || endpoint.port.empty()) {
    throw Failure(uri + ": expected tcp://HOST[:PORT]");
  }
  return endpoint;
}

// Waits for events on the socket; false on timeout.
bool Await(int fd, short events, Milliseconds timeout) {
  pollfd watched{fd, events, 0};
  int ready;
  do {
    ready = poll(&watched, 1, static_cast<int>(timeout.count()));
  } while (ready < 0 && errno == EINTR);
  return ready > 0;
}

int ConnectWithTimeout(const addrinfo& address, const std::string& where) {
  const int fd = socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                        address.ai_protocol);
  if (fd < 0) FailWithErrno(where);
  if (connect(fd, address.ai_addr, address.ai_addrlen) == 0) return fd;
  if (errno != EINPROGRESS) {
    const int error = errno;
    close(fd);
    errno = error;
    return -1;
  }
  int error = ETIMEDOUT;
  socklen_t length = sizeof error;
  if (Await(fd, POLLOUT, kConnectTimeout)) getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
  if (error == 0) return fd;
  close(fd);
  errno = error;
  return -1;
}

// A raw printer port: one connection per job. After the last byte the
// sending side is shut down and the printer's close awaited, so that the
// next job cannot run into this one.
class TcpPrinter : public Destination {
 public:
  explicit TcpPrinter(const std::string& uri) : where_(uri), endpoint_(ParseEndpoint(uri)) {}
  ~TcpPrinter() override {
    if (fd_ >= 0) close(fd_);
  }

  void BeginJob(const std::string&) override { fd_ = Connect(); }

  void Write(std::span<const uint8_t> bytes) override {
    while (!bytes.empty()) {
      if (!Await(fd_, POLLOUT, kStallTimeout)) Fail("the printer took no byte for a minute");
      const ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (sent <= 0) FailWithErrno(where_ + ": connection lost");
      bytes = bytes.subspan(static_cast<size_t>(sent));
    }
  }

  void EndJob() override {
    if (shutdown(fd_, SHUT_WR) != 0) FailWithErrno(where_ + ": connection lost");
    AwaitPrinterClose();
    close(std::exchange(fd_, -1));
  }

 private:
  [[noreturn]] void Fail(const std::string& why) { throw Failure(where_ + ": " + why); }

  int Connect() {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int status = getaddrinfo(endpoint_.host.c_str(), endpoint_.port.c_str(), &hints, &found);
    if (status != 0) Fail(gai_strerror(status));
    int fd = -1;
    for (const addrinfo* address = found; address != nullptr && fd < 0; address = address->ai_next) {
      fd = ConnectWithTimeout(*address, where_);
    }
    const int error = errno;
    freeaddrinfo(found);
    errno = error;
    if (fd < 0) FailWithErrno(where_ + ": connect failed");
    return fd;
  }

  // Whatever the printer says back is read and dropped. A reset means it
  // threw away bytes it had not read.
  void AwaitPrinterClose() {
    char reply[4096];
    for (;;) {
      if (!Await(fd_, POLLIN, kStallTimeout)) Fail("the printer did not close the connection");
      const ssize_t got = recv(fd_, reply, sizeof reply, 0);
      if (got == 0) return;
      if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (got < 0) FailWithErrno(where_ + ": connection lost");
    }
  }

  std::string where_;
  Endpoint endpoint_;
  int fd_ = -1;
};

}  // namespace

std::unique_ptr<Destination> OpenTcpDestination(const std::string& uri) {
  return std::make_unique<TcpPrinter>(uri);
}

}  // namespace textrelay
