#include <linux/sockios.h>
#include <netdb.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <utility>

#include "tools/destination.h"
#include "tools/failure.h"

namespace textrelay {

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;
constexpr Milliseconds kConnectTimeout{10'000};
constexpr Milliseconds kAcknowledgementPoll{10};
constexpr int kRepliesPerWake = 16;
// poll() takes an int of milliseconds.
constexpr Milliseconds kLongestPoll{3'600'000};
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

int ConnectWithTimeout(const addrinfo& address, const std::string& where, Milliseconds timeout) {
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
  if (Await(fd, POLLOUT, timeout)) getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
  if (error == 0) return fd;
  close(fd);
  errno = error;
  return -1;
}

// "1.5 s", "300 s".
std::string InSeconds(Milliseconds span) {
  char text[32];
  std::snprintf(text, sizeof text, "%g s", static_cast<double>(span.count()) / 1000);
  return text;
}

// A raw printer port: one connection per job. A job is complete once the
// printer's side has acknowledged every byte, which is all TCP can confirm:
// whether the printer then closes, keeps the connection or talks back says
// nothing more. Whatever it says is read and dropped, so that a printer
// that waits to be heard is never stuck. The whole job, from connecting to
// the last acknowledgement, has one deadline.
class TcpPrinter : public Destination {
 public:
  TcpPrinter(const std::string& uri, Milliseconds deadline)
      : where_(uri), endpoint_(ParseEndpoint(uri)), deadline_(deadline) {}
  // A job still open here has failed: it is cut off with a reset, so that
  // no byte of it goes out after the command has said it did not arrive.
  ~TcpPrinter() override {
    if (fd_ < 0) return;
    const linger abort{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    close(fd_);
  }

  void BeginJob(const std::string&) override {
    ends_ = Clock::now() + deadline_;
    sent_ = 0;
    printer_closed_ = false;
    fd_ = Connect();
  }

  void Write(std::span<const uint8_t> bytes) override {
    while (!bytes.empty()) {
      if (!AwaitPrinter(POLLOUT)) continue;
      const ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (sent <= 0) FailLost(errno);
      sent_ += static_cast<uint64_t>(sent);
      bytes = bytes.subspan(static_cast<size_t>(sent));
    }
  }

  // Unacknowledged bytes raise no event, so their count is looked at
  // every few milliseconds.
  void EndJob() override {
    while (Acknowledged() < sent_) AwaitPrinter(0, kAcknowledgementPoll);
    DropReplies();
    close(std::exchange(fd_, -1));
  }

 private:
  [[noreturn]] void Fail(const std::string& why) { throw Failure(where_ + ": " + why); }
  [[noreturn]] void FailSending(const std::string& why) {
    Fail(why + " (" + std::to_string(Acknowledged()) + " bytes acknowledged)");
  }
  [[noreturn]] void FailLost(int error) {
    FailSending(std::string("connection lost: ") + std::strerror(error));
  }

  Milliseconds Left() const {
    return std::chrono::duration_cast<Milliseconds>(ends_ - Clock::now());
  }

  int Connect() {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int status = getaddrinfo(endpoint_.host.c_str(), endpoint_.port.c_str(), &hints, &found);
    if (status != 0) Fail(gai_strerror(status));
    int fd = -1;
    for (const addrinfo* address = found; address != nullptr && fd < 0; address = address->ai_next) {
      fd = ConnectWithTimeout(*address, where_, std::clamp(Left(), Milliseconds{0}, kConnectTimeout));
    }
    const int error = errno;
    freeaddrinfo(found);
    errno = error;
    if (fd < 0) FailWithErrno(where_ + ": connect failed");
    return fd;
  }

  // The bytes sent that the printer's side has acknowledged: those no
  // longer in the socket's queue.
  uint64_t Acknowledged() const {
    int queued = 0;
    if (ioctl(fd_, SIOCOUTQ, &queued) != 0) return 0;
    return sent_ - static_cast<uint64_t>(queued);
  }

  // Waits at most `most` (and never past the deadline) for the events while
  // reading what the printer says; whether they came. Throws once the
  // deadline has passed or the connection is lost.
  bool AwaitPrinter(short events, Milliseconds most = Milliseconds::max()) {
    const Milliseconds left = Left();
    if (left <= Milliseconds{0}) {
      FailSending("the printer did not take the job within " + InSeconds(deadline_));
    }
    const short listened = static_cast<short>(events | (printer_closed_ ? 0 : POLLIN));
    pollfd watched{fd_, listened, 0};
    const Milliseconds wait = std::min({left, most, kLongestPoll});
    if (poll(&watched, 1, static_cast<int>(wait.count())) <= 0) return false;
    if ((watched.revents & (POLLERR | POLLHUP)) != 0) FailLost(PendingError());
    if ((watched.revents & POLLIN) != 0) DropReplies();
    return (watched.revents & events) != 0;
  }

  // Status bytes and the like, read and dropped, a few blocks at a time so
  // that a chatty printer cannot hold the job past its deadline.
  void DropReplies() {
    char reply[4096];
    for (int block = 0; block < kRepliesPerWake && !printer_closed_; ++block) {
      const ssize_t got = recv(fd_, reply, sizeof reply, MSG_DONTWAIT);
      if (got == 0) printer_closed_ = true;
      if (got >= 0 || errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return;
      FailLost(errno);
    }
  }

  int PendingError() const {
    int error = ECONNRESET;
    socklen_t length = sizeof error;
    getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length);
    return error != 0 ? error : ECONNRESET;
  }

  std::string where_;
  Endpoint endpoint_;
  Milliseconds deadline_;
  Clock::time_point ends_{};
  int fd_ = -1;
  uint64_t sent_ = 0;
  bool printer_closed_ = false;
};

}  // namespace

std::unique_ptr<Destination> OpenTcpDestination(const std::string& uri,
                                                std::chrono::milliseconds deadline) {
  return std::make_unique<TcpPrinter>(uri, deadline);
}

}  // namespace textrelay
