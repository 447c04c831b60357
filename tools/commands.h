// The commands behind the command line. Each returns the exit status or
// throws Failure.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/destination.h"
#include "tools/settings.h"

namespace textrelay {

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
  // What a network printer has for each document (see OpenDestination).
  std::chrono::milliseconds deadline = kNetworkDeadline;
  std::string trace;  // empty: nowhere; "-": standard error
  bool hexdump = false;
  std::string driver_path;
  // Names the one input in notes and as the document instead of its path
  // (a CUPS job's title); empty: the path.
  std::string input_name;
  // Printer data rather than text (a bitmap, a firmware file): when an
  // input is not UTF-8, every input is sent unchanged, each copy, instead
  // of as text.
  bool send_binary_unchanged = false;
  // Set by someone else (a signal handler, another thread) to end the job
  // early: no line is read once it is seen, the document being printed ends
  // as the driver ends it (its form feed, when on, after the last whole
  // line) and no other document starts. A document spooled whole for its
  // copies or a port is not sent if it had not begun, and no copy starts
  // after the one being sent. Null: the job runs to its end.
  const std::atomic<bool>* stop = nullptr;
  // Told of each page the driver has sent, by its number in the job, and
  // how many times it goes to the printer; a document sent unchanged is one
  // page.
  std::function<void(uint64_t page, int copies)> page_sent;
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
