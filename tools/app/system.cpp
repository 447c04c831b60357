#include "tools/app/system.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "tools/app/pdf_job.h"
#include "tools/app/setting_strings.h"

namespace textrelay::app {

namespace {

struct Named {
  std::string_view name;
  int value;
};

constexpr Named kLogLevels[] = {
    {"fatal", PAPPL_LOGLEVEL_FATAL}, {"error", PAPPL_LOGLEVEL_ERROR}, {"warn", PAPPL_LOGLEVEL_WARN},
    {"info", PAPPL_LOGLEVEL_INFO},   {"debug", PAPPL_LOGLEVEL_DEBUG},
};

// server-options: each adds its flag, "none" clears them all and the two
// "no-" ones clear theirs.
constexpr Named kServerOptions[] = {
    {"dnssd-host", PAPPL_SOPTIONS_DNSSD_HOST},     {"raw-socket", PAPPL_SOPTIONS_RAW_SOCKET},
    {"usb-printer", PAPPL_SOPTIONS_USB_PRINTER},   {"web-log", PAPPL_SOPTIONS_WEB_LOG},
    {"web-network", PAPPL_SOPTIONS_WEB_NETWORK},   {"web-remote", PAPPL_SOPTIONS_WEB_REMOTE},
    {"web-security", PAPPL_SOPTIONS_WEB_SECURITY}, {"no-tls", PAPPL_SOPTIONS_NO_TLS},
};

const char* Option(const char* name, int num_options, cups_option_t* options) {
  return cupsGetOption(name, num_options, options);
}

pappl_loglevel_t LogLevel(const char* value) {
  for (const Named& level : kLogLevels) {
    if (value != nullptr && level.name == value) return static_cast<pappl_loglevel_t>(level.value);
  }
  return PAPPL_LOGLEVEL_WARN;
}

pappl_soptions_t ServerOptions(const char* value) {
  int flags = PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE;
  std::string_view rest = value != nullptr ? value : "";
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    const std::string_view word = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    if (word == "none") flags = PAPPL_SOPTIONS_NONE;
    if (word == "no-multi-queue") flags &= ~PAPPL_SOPTIONS_MULTI_QUEUE;
    if (word == "no-web-interface") flags &= ~PAPPL_SOPTIONS_WEB_INTERFACE;
    for (const Named& option : kServerOptions) {
      if (option.name == word) flags |= option.value;
    }
  }
  return static_cast<pappl_soptions_t>(flags);
}

// The framework's choice of spool folder: under SNAP_COMMON, the system's
// spool for root, ~/.config for anyone else, the temporary folder last.
std::string SpoolDirectory() {
  const std::string name = kApplicationName;
  if (const char* snap = std::getenv("SNAP_COMMON")) return std::string(snap) + "/" + name + ".d";
  if (getuid() == 0) {
    const std::string spool = "/var/spool";
    if (access(spool.c_str(), X_OK) == 0 || (errno == ENOENT && mkdir(spool.c_str(), 0777) == 0)) {
      return spool + "/" + name;
    }
  } else if (const char* home = std::getenv("HOME")) {
    const std::string config = std::string(home) + "/.config";
    if (access(config.c_str(), X_OK) == 0 || (errno == ENOENT && mkdir(config.c_str(), 0777) == 0)) {
      return config + "/" + name + ".d";
    }
  }
  return std::string(papplGetTempDir()) + "/" + name + std::to_string(getuid()) + ".d";
}

bool Port(const char* value, int& port) {
  if (value == nullptr) return true;
  char* end = nullptr;
  errno = 0;
  const long number = std::strtol(value, &end, 10);
  if (number < 0 || number > 65535 || errno == ERANGE || *end != '\0') return false;
  port = static_cast<int>(number);
  return true;
}

}  // namespace

pappl_system_t* CreateSystem(int num_options, cups_option_t* options, void* data) {
  int port = 0;
  if (!Port(Option("server-port", num_options, options), port)) {
    std::fprintf(stderr, "%s: Bad 'server-port' value.\n", kApplicationName);
    return nullptr;
  }
  const char* spool = Option("spool-directory", num_options, options);
  const std::string spool_directory = spool != nullptr ? spool : SpoolDirectory();
  pappl_system_t* system = papplSystemCreate(
      ServerOptions(Option("server-options", num_options, options)), kApplicationName, port,
      "_print,_universal", spool_directory.c_str(), Option("log-file", num_options, options),
      LogLevel(Option("log-level", num_options, options)),
      Option("auth-service", num_options, options), /*tls_only=*/false);
  if (system == nullptr) return nullptr;
  if (const char* group = Option("admin-group", num_options, options)) {
    papplSystemSetAdminGroup(system, group);
  }
  if (const char* host = Option("server-hostname", num_options, options)) {
    papplSystemSetHostName(system, host);
  }
  if (Option("private-server", num_options, options) == nullptr) {
    papplSystemAddListeners(system, Option("listen-hostname", num_options, options));
  }
  AddPdfFilter(system, data);
  AddSettingStrings(system);
  return system;
}

}  // namespace textrelay::app
