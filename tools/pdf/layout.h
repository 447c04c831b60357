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

// The grid every page of one document is laid on. Its edges are the
// document's leftmost character and its highest and lowest lines, so that
// indentation and a page's blank lines show against the other pages.
struct Grid {
  double left = 0;
  double top = 0;
  double bottom = 0;
  double column = 1;
  double row = 1;
  // Baselines closer than this are one line (accents, mixed sizes).
  double same_line = 0.5;
};

// Characters that place nothing (spaces, controls, surrogates, non-finite
// positions) are left out before the grid is measured; a document without
// any gives the default grid.
Grid MeasureGrid(const std::vector<Page>& pages);

// Where a page's lines stop: at its last line of text, or at the grid's
// lowest line, so that the next page's lines start where they would on paper
// (a text file's blank lines at a page's end are kept).
enum class PageEnd { kLastText, kFill };

// A page's lines in UTF-8, top to bottom, without line breaks or trailing
// spaces, with blank lines wherever rows of the grid hold no text.
// Characters that would share a cell move right, so none is lost. Gaps and
// indents are capped (kMaxColumn, kMaxBlankLines), so no position makes a
// line or a run of blank lines without end.
std::vector<std::string> PageLines(const Page& page, const Grid& grid, PageEnd end);

constexpr int kMaxColumn = 1000;
constexpr int kMaxBlankLines = 500;

// Whether a character takes a cell of its own; spaces are gaps in the grid.
bool Places(char32_t character);

}  // namespace textrelay::pdf
