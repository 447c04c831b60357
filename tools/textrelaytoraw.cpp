// textrelaytoraw: the CUPS filter of the textrelay queue. CUPS runs it as
//   textrelaytoraw JOB USER TITLE COPIES OPTIONS [FILE]
// with the queue's PPD in the environment; it prints the UTF-8 text of FILE
// (or standard input) through the driver exactly as `textrelay print` does
// and writes the driver's bytes to standard output for the backend.
// What stops the job is one ERROR: line on standard error, and what does
// not a WARNING: line; CUPS shows them as the job's and printer's messages.
// PAGE: lines count the pages the driver sent, for CUPS's accounting.
//
// CUPS routes text to it, and also what it takes for printer data or does
// not recognise: a receipt that begins with printer commands is text all
// the same. The bytes decide: UTF-8 prints through the driver, anything
// else goes to the printer unchanged (unless the queue refuses that).
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "tools/commands.h"
#include "tools/failure.h"
#include "tools/filter_settings.h"

namespace textrelay {
namespace {

// Set when CUPS cancels or holds the job: the print ends the document as
// the driver would, so that the printer's next job starts on a fresh line.
std::atomic<bool> terminate_asked{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set in a signal handler");

extern "C" void OnTerminate(int) { terminate_asked.store(true); }

// Restarts what the signal interrupts: a write to the backend goes on.
void CatchTerminate() {
  struct sigaction action {};
  action.sa_handler = OnTerminate;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
}

void Report(const char* level, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", level, text.c_str());
}

// cupsd reads a filter's messages and reaps the filter in either order; if
// it reaps a failed filter first, the job's message becomes "Filter failed"
// and the ERROR: line that says why is only logged. So a failing filter
// waits, two seconds at most, until its messages have been read.
void AwaitMessagesRead() {
  std::fflush(stderr);
  for (int wait = 0; wait < 200; ++wait) {
    int unread = 0;
    if (ioctl(STDERR_FILENO, FIONREAD, &unread) != 0 || unread == 0) return;
    usleep(10000);
  }
}

// Set up from the PPD's defaults and the job's options, then print.
int Filter(const std::vector<std::string>& arguments) {
  const char* ppd_path = std::getenv("PPD");
  const PpdFacts ppd = ppd_path != nullptr ? ReadPpd(ppd_path) : PpdFacts{};
  const char* type = std::getenv("CONTENT_TYPE");
  const std::string content_type = type != nullptr ? type : "text/plain";
  const JobOptions job = ParseJobOptions(arguments[5]);
  std::vector<std::string> warnings;
  PrintOptions options = JobPrintOptions(ppd, job, ParseCopies(arguments[4]), warnings);
  options.send_binary_unchanged = SendsBinaryUnchanged(ppd, job, content_type);
  for (const std::string& warning : warnings) Report("WARNING", warning);
  Report("DEBUG", "textrelaytoraw: " + DescribeJob(options, content_type));
  if (arguments.size() == 7) options.files = {arguments[6]};
  options.input_name = arguments[3];
  options.stop = &terminate_asked;
  options.page_sent = [](uint64_t page, int copies) {
    std::fprintf(stderr, "PAGE: %llu %d\n", static_cast<unsigned long long>(page), copies);
  };
  return RunPrint(options, [](const std::string& note) { Report("WARNING", note); });
}

}  // namespace
}  // namespace textrelay

int main(int argc, char** argv) {
  // A closed pipe is reported by its write, not by a signal.
  std::signal(SIGPIPE, SIG_IGN);
  textrelay::CatchTerminate();
  if (argc != 6 && argc != 7) {
    std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argv[0]);
    return 1;
  }
  try {
    return textrelay::Filter({argv, argv + argc});
  } catch (const std::exception& failure) {
    textrelay::Report("ERROR", failure.what());
    textrelay::AwaitMessagesRead();
    return 1;
  }
}
