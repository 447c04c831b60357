// The PPD of a textrelay queue, generated at build time: the settings'
// options from the settings table with their English labels, and the paper
// limits from the driver's defaults.
#pragma once

#include <string>
#include <string_view>

#include "tools/strings_file.h"

namespace textrelay {

// The template with @PROJECT_VERSION@, @SETTINGS@ (a line of its own),
// @PAPER_LIMITS@, @MIN_WIDTH@, @MAX_WIDTH@, @MIN_LENGTH@ and @MAX_LENGTH@
// (points) filled in. Throws Failure for a missing label or one a PPD
// cannot carry.
std::string MakePpd(std::string_view ppd_template, const Strings& english,
                    std::string_view version);

}  // namespace textrelay
