#include "tools/app/options_command.h"

#include <pappl/pappl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tools/app/job_settings.h"

namespace textrelay::app {

namespace {

using Connection = std::unique_ptr<http_t, decltype(&httpClose)>;
using Response = std::unique_ptr<ipp_t, decltype(&ippDelete)>;

std::string ArgumentOf(int argc, char** argv, std::string_view flag) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (argv[i] == flag) return argv[i + 1];
  }
  return {};
}

// Where the framework's sub-commands find the server of the same name.
std::string ServerSocket(const std::string& base_name) {
  if (getuid() != 0) return std::string(papplGetTempDir()) + "/" + base_name + std::to_string(getuid()) + ".sock";
  if (const char* snap = std::getenv("SNAP_COMMON")) return std::string(snap) + "/" + base_name + ".sock";
  return "/run/" + base_name + ".sock";
}

Connection Connect(const std::string& host, int port) {
  return {httpConnect2(host.c_str(), port, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 30000, nullptr),
          httpClose};
}

std::string DefaultPrinter(http_t* http) {
  ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_DEFAULT);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  const Response response(cupsDoRequest(http, request, "/ipp/system"), ippDelete);
  const char* name = ippGetString(ippFindAttribute(response.get(), "printer-name", IPP_TAG_NAME), 0, nullptr);
  return name != nullptr ? name : "";
}

Response PrinterDefaults(http_t* http, const std::string& uri, const std::string& resource) {
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  std::vector<std::string> names;
  for (const VendorSetting& setting : VendorSettings()) names.push_back(std::string(setting.row->name) + "-default");
  std::vector<const char*> pointers;
  for (const std::string& name : names) pointers.push_back(name.c_str());
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                static_cast<int>(pointers.size()), nullptr, pointers.data());
  return {cupsDoRequest(http, request, resource.c_str()), ippDelete};
}

void PrintSetting(const SettingRow& row, ipp_t* response) {
  const std::string default_name = std::string(row.name) + "-default";
  char value[256] = "";
  ippAttributeString(ippFindAttribute(response, default_name.c_str(), IPP_TAG_ZERO), value, sizeof value);
  for (const SettingChoice& choice : row.choices) {
    std::printf("  -o %s=%s%s\n", row.name, choice.ipp, std::strcmp(value, choice.ipp) == 0 ? " (default)" : "");
  }
}

// The printer's URI and resource: -u's, else the local server's printer.
struct Target {
  Connection http{nullptr, httpClose};
  std::string uri;
  std::string resource;
};

Target FindTarget(int argc, char** argv, const std::string& base_name) {
  Target target;
  target.uri = ArgumentOf(argc, argv, "-u");
  if (!target.uri.empty()) {
    char scheme[32], user[256], host[256], resource[1024];
    int port = 0;
    if (httpSeparateURI(HTTP_URI_CODING_ALL, target.uri.c_str(), scheme, sizeof scheme, user, sizeof user, host,
                        sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK) {
      return target;
    }
    target.http = Connect(host, port);
    target.resource = resource;
    return target;
  }
  target.http = Connect(ServerSocket(base_name), 0);
  if (!target.http) return target;
  std::string name = ArgumentOf(argc, argv, "-d");
  if (name.empty()) name = DefaultPrinter(target.http.get());
  target.resource = "/ipp/print/" + name;
  target.uri = "ipp://localhost" + target.resource;
  return target;
}

}  // namespace

int ShowDriverOptions(int argc, char** argv) {
  const char* slash = std::strrchr(argv[0], '/');
  const std::string base_name = slash != nullptr ? slash + 1 : argv[0];
  const Target target = FindTarget(argc, argv, base_name);
  const Response response = target.http ? PrinterDefaults(target.http.get(), target.uri, target.resource)
                                        : Response(nullptr, ippDelete);
  if (cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE || !response) {
    std::fprintf(stderr, "%s: the printer's driver settings cannot be read: %s\n", base_name.c_str(),
                 cupsLastErrorString());
    return 1;
  }
  std::puts("\nDriver settings (job options; as printer defaults NAME-default=VALUE):");
  for (const VendorSetting& setting : VendorSettings()) PrintSetting(*setting.row, response.get());
  return 0;
}

}  // namespace textrelay::app
