// The commands behind the command line. Each returns the exit status or
// throws Failure.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/settings.h"

namespace textrelay {

class Destination;

// What an empty line becomes when the device ends lines with a terminator:
// the driver writes nothing at all for a call with no characters.
enum class EmptyLines {
  kFeed,  // one space, so that the terminator follows and the paper feeds
  kSkip,  // nothing, for command-language files where a space would matter
};

struct PrintOptions {
  Settings settings;
  std::string devmode_file;
  std::vector<std::string> files;
  int lines_per_page = 0;  // 0: one page until a form feed
  bool one_document = false;
  bool replace_invalid = false;
  EmptyLines empty_lines = EmptyLines::kFeed;
  std::string code_page = "WINDOWS-1252";
  bool strict = false;
  std::string output = "-";
  std::string trace;  // empty: nowhere; "-": standard error
  bool hexdump = false;
  std::string driver_path;
  // Names the one input in notes and as the document instead of its path
  // (a CUPS job's title); empty: the path.
  std::string input_name;
  // Checked before each line: once set, the lines stop and the document is
  // ended as usual, so the printer is left at a clean page and document end.
  const std::atomic<bool>* stop = nullptr;
};

// Where a note that does not stop the job goes: the command's
// "textrelay: ..." lines, a CUPS filter's WARNING: lines.
using NoteSink = std::function<void(const std::string&)>;

int RunPrint(const PrintOptions& options);
int RunPrint(const PrintOptions& options, const NoteSink& note);
// Prints to the destination `open` makes once the inputs passed their check,
// instead of the one options.output names.
using DestinationOpener = std::function<std::unique_ptr<Destination>()>;
int RunPrint(const PrintOptions& options, const NoteSink& note, const DestinationOpener& open);

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
