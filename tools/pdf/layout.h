// The layout step: characters placed on a page by their positions become
// lines of text. Each character lands on a grid whose column is the
// document's typical character width and whose row is its line pitch, so
// that columns of monospaced text (a receipt, a listing) come back where
// they were, and a gap of blank lines stays a gap.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace textrelay::pdf {

// One character as the page draws it, in points, y growing downwards:
// its origin on the baseline, how far it moves the pen, and its font size.
struct Glyph {
  float x = 0;
  float y = 0;
  float advance = 0;
  float size = 0;
  char32_t character = 0;
};

using Page = std::vector<Glyph>;

// The grid every page of one document is laid on. Origins are the document's
// leftmost character and its highest first line, so that indentation and a
// page's leading blank lines show against the other pages.
struct Grid {
  double left = 0;
  double top = 0;
  double column = 1;
  double row = 1;
  // Baselines closer than this are one line (accents, mixed sizes).
  double same_line = 0.5;
};

// Characters that place nothing (spaces, controls, surrogates, non-finite
// positions) are left out before the grid is measured; a document without
// any gives the default grid.
Grid MeasureGrid(const std::vector<Page>& pages);

// A page's lines in UTF-8, top to bottom, without line breaks or trailing
// spaces; blank lines between and above its text are kept, those below it
// are not. Characters that would share a cell move right, so none is lost.
// Gaps and indents are capped (kMaxColumn, kMaxBlankLines), so no position
// makes a line or a run of blank lines without end.
std::vector<std::string> PageLines(const Page& page, const Grid& grid);

constexpr int kMaxColumn = 1000;
constexpr int kMaxBlankLines = 500;

// Whether a character takes a cell of its own; spaces are gaps in the grid.
bool Places(char32_t character);

}  // namespace textrelay::pdf
