// The commands behind the command line. Each returns the exit status or
// throws Failure.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/settings.h"

namespace textrelay {

struct PrintOptions {
  Settings settings;
  std::string devmode_file;
  std::vector<std::string> files;
  int lines_per_page = 0;  // 0: one page until a form feed
  bool one_document = false;
  bool replace_invalid = false;
  std::string code_page = "WINDOWS-1252";
  bool strict = false;
  std::string output = "-";
  std::string trace;  // empty: nowhere; "-": standard error
  bool hexdump = false;
  std::string driver_path;
};

int RunPrint(const PrintOptions& options);

struct DevModeNewOptions {
  Settings settings;
  std::string name = "textrelay";
  std::string output;
  bool strict = false;
};

int RunDevModeNew(const DevModeNewOptions& options);
int RunDevModeShow(const std::string& path);
int RunDevModeCheck(const std::string& path);

// One line on standard error: a note that does not stop the job.
void Note(const std::string& text);

}  // namespace textrelay
