#include "tools/app/saved_jobs.h"

#include <pappl/pappl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace textrelay::app {

std::string StateFilePath(const std::string& program) {
  const char* snap = std::getenv("SNAP_COMMON");
  if (snap != nullptr && access(snap, X_OK) == 0) return std::string(snap) + "/" + program + ".state";
  if (getuid() == 0) return "/var/lib/" + program + ".state";
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && access(config, X_OK) == 0) return std::string(config) + "/" + program + ".state";
  if (const char* home = std::getenv("HOME")) return std::string(home) + "/.config/" + program + ".state";
  return std::string(papplGetTempDir()) + "/" + program + std::to_string(getuid()) + ".state";
}

// The framework quotes every value and escapes a quote inside one, so
// ` state="5"` is the option itself, never part of a name.
int RequeueInterruptedJobs(const std::string& state_file) {
  std::ifstream in(state_file);
  if (!in) return 0;
  static const std::string kProcessing = " state=\"5\"", kPending = " state=\"3\"";
  std::ostringstream out;
  std::string line;
  int requeued = 0;
  while (std::getline(in, line)) {
    const size_t found = line.rfind(kProcessing);
    if (line.rfind("Job ", 0) == 0 && found != std::string::npos) {
      line.replace(found, kProcessing.size(), kPending);
      ++requeued;
    }
    out << line << '\n';
  }
  in.close();
  if (requeued == 0) return 0;
  // Written beside and renamed over it, so the state is never half-written.
  const std::string written = state_file + ".requeued";
  struct stat original {};
  if (stat(state_file.c_str(), &original) != 0) return 0;
  std::ofstream file(written, std::ios::trunc);
  file << out.str();
  file.close();
  if (!file || chmod(written.c_str(), original.st_mode & 07777) != 0 ||
      std::rename(written.c_str(), state_file.c_str()) != 0) {
    std::remove(written.c_str());
    return 0;
  }
  return requeued;
}

}  // namespace textrelay::app
