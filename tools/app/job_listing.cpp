#include "tools/app/job_listing.h"

#include <cups/cups.h>
#include <pappl/pappl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "tools/app/system.h"

namespace textrelay::app {

namespace {

struct HttpCloser {
  void operator()(http_t* http) const { httpClose(http); }
};
struct IppDeleter {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using Connection = std::unique_ptr<http_t, HttpCloser>;
using Message = std::unique_ptr<ipp_t, IppDeleter>;

// The server's local socket where the framework's main loop puts it: the
// user's own server first, then root's.
std::string SocketPath(uid_t uid) {
  if (uid != 0) return std::string(papplGetTempDir()) + "/" + kApplicationName + std::to_string(uid) + ".sock";
  if (const char* snap = std::getenv("SNAP_COMMON")) return std::string(snap) + "/" + kApplicationName + ".sock";
  return std::string("/run/") + kApplicationName + ".sock";
}

Connection Connect() {
  for (uid_t uid : {getuid(), uid_t{0}}) {
    Connection http(httpConnect2(SocketPath(uid).c_str(), 0, nullptr, AF_UNSPEC,
                                 HTTP_ENCRYPTION_IF_REQUESTED, 1, 30000, nullptr));
    if (http) return http;
  }
  return nullptr;
}

std::string PrinterNamed(const std::vector<std::string>& arguments) {
  for (size_t i = 1; i + 1 < arguments.size(); ++i) {
    if (arguments[i] == "-d") return arguments[i + 1];
  }
  return "";
}

std::string DefaultPrinter(http_t* http) {
  ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_DEFAULT);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  const Message response(cupsDoRequest(http, request, "/ipp/system"));
  const char* name = ippGetString(ippFindAttribute(response.get(), "printer-name", IPP_TAG_NAME), 0, nullptr);
  return name != nullptr ? name : "";
}

Message GetJobs(http_t* http, const std::string& printer) {
  static const char* const kWanted[] = {"job-id", "job-name", "job-originating-user-name", "job-state",
                                        "job-state-message"};
  const std::string resource = "/ipp/print/" + printer;
  char uri[1024];
  httpAssembleURI(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, resource.c_str());
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOBS);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                static_cast<int>(std::size(kWanted)), nullptr, kWanted);
  return Message(cupsDoRequest(http, request, resource.c_str()));
}

void PrintJob(ipp_t* response, ipp_attribute_t*& attr) {
  int id = 0;
  int state = IPP_JSTATE_PENDING;
  const char* name = "(none)";
  const char* user = "(unknown)";
  const char* message = "";
  for (; attr != nullptr && ippGetGroupTag(attr) == IPP_TAG_JOB; attr = ippNextAttribute(response)) {
    const std::string attribute = ippGetName(attr);
    if (attribute == "job-id") id = ippGetInteger(attr, 0);
    if (attribute == "job-state") state = ippGetInteger(attr, 0);
    if (attribute == "job-name") name = ippGetString(attr, 0, nullptr);
    if (attribute == "job-originating-user-name") user = ippGetString(attr, 0, nullptr);
    if (attribute == "job-state-message") message = ippGetString(attr, 0, nullptr);
  }
  const bool stopped = state == IPP_JSTATE_ABORTED || state == IPP_JSTATE_CANCELED;
  std::printf("%d %-12s %-16s %s%s%s\n", id, ippEnumString("job-state", state), user, name,
              stopped && *message ? " - " : "", stopped ? message : "");
}

}  // namespace

int ListJobs(const std::vector<std::string>& arguments) {
  const Connection http = Connect();
  if (!http) {
    std::fprintf(stderr, "%s: the server is not running\n", kApplicationName);
    return 1;
  }
  std::string printer = PrinterNamed(arguments);
  if (printer.empty()) printer = DefaultPrinter(http.get());
  if (printer.empty()) {
    std::fprintf(stderr, "%s: no default printer; name one with -d\n", kApplicationName);
    return 1;
  }
  const Message response = GetJobs(http.get(), printer);
  if (cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) {
    std::fprintf(stderr, "%s: jobs of %s: %s\n", kApplicationName, printer.c_str(), cupsLastErrorString());
    return 1;
  }
  ipp_attribute_t* attr = ippFirstAttribute(response.get());
  while (attr != nullptr) {
    if (ippGetGroupTag(attr) != IPP_TAG_JOB) {
      attr = ippNextAttribute(response.get());
      continue;
    }
    PrintJob(response.get(), attr);
  }
  return 0;
}

}  // namespace textrelay::app
