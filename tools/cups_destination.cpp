#include <cstdio>

#include "tools/destination.h"
#include "tools/failure.h"

#if TEXTRELAY_HAS_CUPS
#include <cups/cups.h>
#include <dlfcn.h>
#endif

namespace textrelay {

#if TEXTRELAY_HAS_CUPS

namespace {

// libcups, loaded when a job goes to a queue. Linked in, it and what it
// brings (TLS, Kerberos, D-Bus: some thirty libraries) would be loaded,
// relocated and set up on every run of the command, which is most of a
// small job's time, though few jobs go to a queue. Loaded once, kept.
struct CupsLibrary {
  template <typename Function>
  Function* Find(const char* name) {
    void* symbol = handle != nullptr ? dlsym(handle, name) : nullptr;
    if (symbol == nullptr && error.empty()) error = dlerror();
    return reinterpret_cast<Function*>(symbol);
  }

#define TEXTRELAY_CUPS_FUNCTION(name) decltype(&::name) name = Find<decltype(::name)>(#name)
  void* handle = dlopen(TEXTRELAY_LIBCUPS, RTLD_NOW | RTLD_LOCAL);
  std::string error = handle != nullptr ? "" : dlerror();
  TEXTRELAY_CUPS_FUNCTION(cupsCancelJob2);
  TEXTRELAY_CUPS_FUNCTION(cupsCreateJob);
  TEXTRELAY_CUPS_FUNCTION(cupsEncryption);
  TEXTRELAY_CUPS_FUNCTION(cupsFinishDocument);
  TEXTRELAY_CUPS_FUNCTION(cupsLastErrorString);
  TEXTRELAY_CUPS_FUNCTION(cupsServer);
  TEXTRELAY_CUPS_FUNCTION(cupsSetServer);
  TEXTRELAY_CUPS_FUNCTION(cupsStartDocument);
  TEXTRELAY_CUPS_FUNCTION(cupsWriteRequestData);
  TEXTRELAY_CUPS_FUNCTION(httpClose);
  TEXTRELAY_CUPS_FUNCTION(httpConnect2);
  TEXTRELAY_CUPS_FUNCTION(ippPort);
#undef TEXTRELAY_CUPS_FUNCTION
};

const CupsLibrary& LoadCups(const std::string& where) {
  static const CupsLibrary library;
  if (!library.error.empty()) throw Failure(where + ": cannot load libcups: " + library.error);
  return library;
}

// One raw job per document on a CUPS queue, titled with the document's
// name. SERVER is a host[:port] or the path of a local socket; without it
// the client's configured server is used.
class CupsQueue : public Destination {
 public:
  explicit CupsQueue(const std::string& uri) : cups_(LoadCups(uri)), where_(uri) {
    const std::string target = uri.substr(std::string_view("cups:").size());
    const size_t at = target.find('@');
    queue_ = target.substr(0, at);
    if (at != std::string::npos) server_ = target.substr(at + 1);
    if (queue_.empty()) throw Failure(uri + ": expected cups:QUEUE[@SERVER]");
  }
  // A job left open by a failure is cancelled, so no part of it prints.
  ~CupsQueue() override {
    if (job_open_) cups_.cupsCancelJob2(http_, queue_.c_str(), job_, 0);
    if (http_ != nullptr) cups_.httpClose(http_);
  }

  void BeginJob(const std::string& title) override {
    if (http_ == nullptr) http_ = Connect();
    job_ = cups_.cupsCreateJob(http_, queue_.c_str(), title.c_str(), 0, nullptr);
    if (job_ == 0) Fail("cannot create a job");
    job_open_ = true;
    if (cups_.cupsStartDocument(http_, queue_.c_str(), job_, title.c_str(), CUPS_FORMAT_RAW, 1) !=
        HTTP_STATUS_CONTINUE) {
      Fail("cannot send the document");
    }
  }

  void Write(std::span<const uint8_t> bytes) override {
    if (cups_.cupsWriteRequestData(http_, reinterpret_cast<const char*>(bytes.data()),
                                   bytes.size()) != HTTP_STATUS_CONTINUE) {
      Fail("sending the document failed");
    }
  }

  void EndJob() override {
    if (cups_.cupsFinishDocument(http_, queue_.c_str()) > IPP_STATUS_OK_CONFLICTING) {
      Fail("the job was not accepted");
    }
    job_open_ = false;
    std::printf("%s: job %d\n", where_.c_str(), job_);
    std::fflush(stdout);
  }

 private:
  [[noreturn]] void Fail(const std::string& what) {
    throw Failure(where_ + ": " + what + ": " + cups_.cupsLastErrorString());
  }

  http_t* Connect() {
    if (!server_.empty()) cups_.cupsSetServer(server_.c_str());
    http_t* http = cups_.httpConnect2(cups_.cupsServer(), cups_.ippPort(), nullptr, AF_UNSPEC,
                                      cups_.cupsEncryption(), 1, kConnectTimeoutMs, nullptr);
    if (http == nullptr) Fail(std::string("cannot connect to ") + cups_.cupsServer());
    return http;
  }

  static constexpr int kConnectTimeoutMs = 30000;
  const CupsLibrary& cups_;
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
