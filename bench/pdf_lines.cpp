// A PDF's text as the printer application prints it: every page read with
// poppler and laid out as lines, written to standard output.
// Usage: pdf_lines FILE.pdf
#include <cstdio>

#include "tools/failure.h"
#include "tools/pdf/pdf_text.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: pdf_lines FILE.pdf\n", stderr);
    return 2;
  }
  try {
    textrelay::pdf::WriteLines(textrelay::pdf::ReadPages(argv[1]), stdout);
    return 0;
  } catch (const textrelay::Failure& failure) {
    std::fprintf(stderr, "pdf_lines: %s\n", failure.what());
    return 1;
  }
}
