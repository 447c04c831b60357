#include <cstdio>

#include "tools/commands.h"
#include "tools/devmode_file.h"
#include "tools/line_reader.h"

namespace textrelay {

int RunDevModeNew(const DevModeNewOptions& options) {
  const CallerDevMode caller = BuildCallerDevMode(options.settings, Widen(options.name));
  for (const Refusal& refusal : PredictDevice(&caller).refusals) {
    if (options.strict) throw Failure(Describe(refusal) + "; " + options.output + " not written");
    Note(Describe(refusal));
  }
  WriteDevModeFile(caller.record, options.output);
  return 0;
}

int RunDevModeShow(const std::string& path) {
  std::fputs(ShowDevMode(ReadDevModeFile(path)).c_str(), stdout);
  return 0;
}

int RunDevModeCheck(const std::string& path) {
  enum { kOwn = 0, kNotOwn = 1, kUnreadable = 2 };
  try {
    const CallerDevMode caller = ReadDevModeFile(path);
    const std::string why = WhyNotOwn(*caller.dm());
    if (why.empty()) {
      std::printf("%s: the driver's own device mode\n", path.c_str());
      return kOwn;
    }
    std::printf("%s: not the driver's own device mode: %s\n", path.c_str(), why.c_str());
    return kNotOwn;
  } catch (const Unreadable& unreadable) {
    std::printf("%s\n", unreadable.what());
    return kUnreadable;
  }
}

}  // namespace textrelay
