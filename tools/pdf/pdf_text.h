// A PDF's text as lines: what a printer of text can print of a PDF.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tools/pdf/layout.h"

namespace textrelay::pdf {

// Every page's characters, read with poppler. `stop`, asked before each
// page, ends the reading early. Throws Failure, ending "; nothing was
// sent", for a file that is not a PDF or is damaged, one encrypted with a
// password, and one whose permissions forbid printing.
std::vector<Page> ReadPages(const std::string& path, const std::function<bool()>& stop = {});

// Writes the pages' lines to `out` as UTF-8, each ended by LF, page after
// page with nothing between them; every page but the last runs to the
// document's lowest line. Throws Failure when no page holds a
// character (a scan, a picture): nothing is written then.
void WriteLines(const std::vector<Page>& pages, FILE* out);

}  // namespace textrelay::pdf
