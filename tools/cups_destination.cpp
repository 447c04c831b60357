#include <cstdio>

#include "tools/destination.h"
#include "tools/failure.h"

#if TEXTRELAY_HAS_CUPS
#include <cups/cups.h>
#endif

namespace textrelay {

#if TEXTRELAY_HAS_CUPS

namespace {

// One raw job per document on a CUPS queue, titled with the document's
// name. SERVER is a host[:port] or the path of a local socket; without it
// the client's configured server is used.
class CupsQueue : public Destination {
 public:
  explicit CupsQueue(const std::string& uri) : where_(uri) {
    const std::string target = uri.substr(std::string_view("cups:").size());
    const size_t at = target.find('@');
    queue_ = target.substr(0, at);
    if (at != std::string::npos) server_ = target.substr(at + 1);
    if (queue_.empty()) throw Failure(uri + ": expected cups:QUEUE[@SERVER]");
  }
  // A job left open by a failure is cancelled, so no part of it prints.
  ~CupsQueue() override {
    if (job_open_) cupsCancelJob2(http_, queue_.c_str(), job_, 0);
    if (http_ != nullptr) httpClose(http_);
  }

  void BeginJob(const std::string& title) override {
    if (http_ == nullptr) http_ = Connect();
    job_ = cupsCreateJob(http_, queue_.c_str(), title.c_str(), 0, nullptr);
    if (job_ == 0) Fail("cannot create a job");
    job_open_ = true;
    if (cupsStartDocument(http_, queue_.c_str(), job_, title.c_str(), CUPS_FORMAT_RAW, 1) !=
        HTTP_STATUS_CONTINUE) {
      Fail("cannot send the document");
    }
  }

  void Write(std::span<const uint8_t> bytes) override {
    if (cupsWriteRequestData(http_, reinterpret_cast<const char*>(bytes.data()), bytes.size()) !=
        HTTP_STATUS_CONTINUE) {
      Fail("sending the document failed");
    }
  }

  void EndJob() override {
    if (cupsFinishDocument(http_, queue_.c_str()) > IPP_STATUS_OK_CONFLICTING) {
      Fail("the job was not accepted");
    }
    job_open_ = false;
    std::printf("%s: job %d\n", where_.c_str(), job_);
    std::fflush(stdout);
  }

 private:
  [[noreturn]] void Fail(const std::string& what) {
    throw Failure(where_ + ": " + what + ": " + cupsLastErrorString());
  }

  http_t* Connect() {
    if (!server_.empty()) cupsSetServer(server_.c_str());
    http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                                kConnectTimeoutMs, nullptr);
    if (http == nullptr) Fail(std::string("cannot connect to ") + cupsServer());
    return http;
  }

  static constexpr int kConnectTimeoutMs = 30000;
  std::string where_;
  std::string queue_;
  std::string server_;
  http_t* http_ = nullptr;
  int job_ = 0;
  bool job_open_ = false;
};

}  // namespace

std::unique_ptr<Destination> OpenCupsDestination(const std::string& uri) {
  return std::make_unique<CupsQueue>(uri);
}

#else

std::unique_ptr<Destination> OpenCupsDestination(const std::string& uri) {
  throw Failure(uri + ": this build of textrelay has no CUPS support");
}

#endif

}  // namespace textrelay
