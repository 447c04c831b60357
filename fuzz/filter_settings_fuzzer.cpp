// The CUPS filter's settings from a job's options string and a PPD's text,
// both from outside: either a Failure that names what is wrong, or settings
// that the driver takes as its own record.
//
// Input: Le16 length and the options string, Le16 length and the copies
// text, then the PPD's text.
#include <string>

#include "devmode/devmode.h"
#include "fuzz/contract.h"
#include "tools/failure.h"
#include "tools/filter_settings.h"
#include "tools/settings.h"

namespace {

using fuzz::Require;

std::string Text(fuzz::Input& in, size_t count) {
  const std::vector<uint8_t> bytes = in.Bytes(count);
  return std::string(bytes.begin(), bytes.end());
}

void RequireSettings(const textrelay::PrintOptions& options, SHORT copies) {
  const textrelay::Settings& s = options.settings;
  Require(!s.line_terminator || *s.line_terminator <= 3, "a line terminator the driver lacks");
  Require(!s.orientation || *s.orientation == DMORIENT_PORTRAIT ||
              *s.orientation == DMORIENT_LANDSCAPE,
          "an orientation that is neither side");
  Require(!s.paper_width || *s.paper_width >= 1, "a paper width below 0.1 mm");
  Require(!s.paper_length || *s.paper_length >= 1, "a paper length below 0.1 mm");
  Require(s.paper_width.has_value() == s.paper_length.has_value(), "half a paper size");
  Require(s.copies == copies, "copies other than the job's");
  const textrelay::CallerDevMode caller = textrelay::BuildCallerDevMode(s, u"textrelay");
  Require(IsValidDrvDevMode(caller.dm()), "the settings make no record of the driver's own");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const std::string options_text = Text(in, in.Le16());
  const std::string copies_text = Text(in, in.Le16());
  const std::vector<uint8_t> ppd_bytes = in.Rest();
  const std::string_view ppd_text(reinterpret_cast<const char*>(ppd_bytes.data()), ppd_bytes.size());

  fuzz::Session session;
  try {
    const textrelay::PpdFacts ppd = textrelay::ParsePpd(ppd_text);
    const textrelay::JobOptions job = textrelay::ParseJobOptions(options_text);
    const SHORT copies = textrelay::ParseCopies(copies_text.empty() ? "1" : copies_text);
    std::vector<std::string> warnings;
    const textrelay::PrintOptions options = textrelay::JobPrintOptions(ppd, job, copies, warnings);
    RequireSettings(options, copies);
  } catch (const textrelay::Failure& failure) {
    Require(std::string(failure.what()).size() > 0, "a Failure that names nothing");
  }
  session.Finish();
  return 0;
}
