// A PDF's text as lines: what a printer of text can print of a PDF.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tools/pdf/layout.h"

namespace textrelay::pdf {

// The pages to read, from 1; a range past the document's end reads to it.
struct PageRange {
  unsigned first = 1;
  unsigned last = ~0u;
};

// The characters of every page in the range, read with poppler. `stop`,
// asked before each page, ends the reading early. Throws Failure, ending
// "; nothing was sent", for a file that is not a PDF or is damaged, one
// encrypted with a password, one whose permissions forbid printing, and a
// range that holds none of its pages.
std::vector<Page> ReadPages(const std::string& path, PageRange range = {},
                            const std::function<bool()>& stop = {});

// Writes the pages' lines to `out` as UTF-8, each ended by LF, page after
// page with nothing between them; every page but the last runs to the
// document's lowest line. Throws Failure when no page holds a
// character (a scan, a picture): nothing is written then.
void WriteLines(const std::vector<Page>& pages, FILE* out);

}  // namespace textrelay::pdf
