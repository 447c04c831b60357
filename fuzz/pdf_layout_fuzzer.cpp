// The layout step with any characters at any places: every character that
// takes a cell comes out, once, and no place makes a line or a run of blank
// lines without end.
//
// Input: records of a flags byte (bit 0: the glyph starts a new page; bit 1:
// its numbers are raw 32-bit floats, NaN and infinity among them) followed
// by x, y, advance and size (raw: four Le32; else x and y as signed Le16
// quarter points, advance and size as bytes of quarter and half points) and
// the character as Le32.
#include <bit>
#include <cmath>
#include <string>
#include <vector>

#include "fuzz/contract.h"
#include "tools/pdf/layout.h"

namespace {

using fuzz::Require;
using textrelay::pdf::Glyph;
using textrelay::pdf::Page;

float Raw(fuzz::Input& in) { return std::bit_cast<float>(in.Le32()); }
float Quarters(fuzz::Input& in) { return static_cast<int16_t>(in.Le16()) / 4.0f; }

std::vector<Page> Pages(fuzz::Input& in) {
  std::vector<Page> pages(1);
  while (!in.empty()) {
    const uint8_t flags = in.Byte();
    if ((flags & 1) != 0) pages.emplace_back();
    Glyph glyph;
    if ((flags & 2) != 0) {
      glyph = {Raw(in), Raw(in), Raw(in), Raw(in), 0};
    } else {
      glyph.x = Quarters(in);
      glyph.y = Quarters(in);
      glyph.advance = in.Byte() / 4.0f;
      glyph.size = in.Byte() / 2.0f;
    }
    glyph.character = in.Le32();
    pages.back().push_back(glyph);
  }
  return pages;
}

bool Usable(const Glyph& g) {
  return textrelay::pdf::Places(g.character) && std::isfinite(g.x) && std::isfinite(g.y) &&
         std::isfinite(g.advance) && std::isfinite(g.size);
}

size_t CodePoints(const std::string& line) {
  size_t count = 0;
  for (const char c : line) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

// Checks one page's lines; answers how many characters they place.
size_t CheckPage(const std::vector<std::string>& lines, size_t usable) {
  size_t placed = 0;
  int blank_run = 0;
  for (const std::string& line : lines) {
    blank_run = line.empty() ? blank_run + 1 : 0;
    Require(blank_run <= textrelay::pdf::kMaxBlankLines, "a run of blank lines past the cap");
    Require(line.empty() || line.back() != ' ', "a trailing space");
    for (const char c : line) Require(static_cast<unsigned char>(c) >= 0x20, "a control in a line");
    const size_t points = CodePoints(line);
    Require(points <= textrelay::pdf::kMaxColumn + 1 + usable, "a line past the column cap");
    for (const char c : line) placed += c != ' ' && (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }
  return placed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const std::vector<Page> pages = Pages(in);
  const textrelay::pdf::Grid grid = textrelay::pdf::MeasureGrid(pages);
  Require(grid.column > 0 && grid.row > 0 && std::isfinite(grid.column) && std::isfinite(grid.row),
          "a grid without a finite step");
  for (size_t i = 0; i < pages.size(); ++i) {
    const auto end = i + 1 < pages.size() ? textrelay::pdf::PageEnd::kFill
                                          : textrelay::pdf::PageEnd::kLastText;
    size_t usable = 0;
    for (const Glyph& glyph : pages[i]) usable += Usable(glyph);
    const size_t placed = CheckPage(textrelay::pdf::PageLines(pages[i], grid, end), usable);
    Require(placed == usable, "a character lost or made up");
  }
  return 0;
}
