// What a CUPS job asks of the textrelaytoraw filter, read the way CUPS
// filters read it: the PPD's defaults first, then the job's options, which
// CUPS has already merged with the queue's defaults. The result is the
// print the textrelay command would make with the same settings.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tools/commands.h"

namespace textrelay {

// Option names as keys, lower case: CUPS compares them without case.
using JobOptions = std::map<std::string, std::string>;

// The PPD's *Default lines and its paper sizes, in points.
struct PpdFacts {
  struct PaperSize {
    double width = 0;
    double length = 0;
  };
  JobOptions defaults;
  std::map<std::string, PaperSize> sizes;  // lower-case name
};

PpdFacts ParsePpd(std::string_view text);
// Throws Failure naming the file when it cannot be read.
PpdFacts ReadPpd(const std::string& path);

// CUPS's option string, "name=value name2='a b' flag", as cupsParseOptions
// reads it.
JobOptions ParseJobOptions(const std::string& text);

// The job's copies as CUPS passes them; throws Failure unless a count.
SHORT ParseCopies(const std::string& text);

// The command's options for the job: settings, code page and what to do
// with invalid UTF-8 and empty lines; a setting neither the job nor the PPD
// gives stays the driver's. Throws Failure on a value that is not one of
// the setting's choices; a value printed as the nearest one the driver
// knows (a reversed orientation) or a size the queue cannot use (printed on
// the queue's default size) adds a warning.
PrintOptions JobPrintOptions(const PpdFacts& ppd, const JobOptions& job, SHORT copies,
                             std::vector<std::string>& warnings);

// Whether a job of CUPS's content type that is not UTF-8 goes to the printer
// unchanged: printer data or data CUPS does not recognise, unless RawData
// (the queue's or the job's) refuses it. Throws Failure on a value that is
// not one of its choices.
bool SendsBinaryUnchanged(const PpdFacts& ppd, const JobOptions& job,
                          std::string_view content_type);

// The settings the device ends up with and how the input is taken, in one
// line for the job's log.
std::string DescribeJob(const PrintOptions& options, std::string_view content_type);

}  // namespace textrelay
