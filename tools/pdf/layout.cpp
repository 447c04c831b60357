#include "tools/pdf/layout.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace textrelay::pdf {

namespace {

// No grid step is finer than this, so a position's cell is always finite.
constexpr double kFinestStep = 1e-3;
constexpr double kUsualPitch = 1.2;

bool Usable(const Glyph& glyph) {
  return Places(glyph.character) && std::isfinite(glyph.x) && std::isfinite(glyph.y) &&
         std::isfinite(glyph.advance) && std::isfinite(glyph.size);
}

Page UsableGlyphs(const Page& page) {
  Page usable;
  std::copy_if(page.begin(), page.end(), std::back_inserter(usable), Usable);
  return usable;
}

double Median(std::vector<double> values, double otherwise) {
  if (values.empty()) return otherwise;
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

struct Line {
  double y;  // its highest baseline
  Page glyphs;
};

// The page's glyphs grouped into lines by baseline, top to bottom, each
// line left to right; glyphs at one x keep the order the page drew them.
std::vector<Line> Lines(Page glyphs, double same_line) {
  std::stable_sort(glyphs.begin(), glyphs.end(),
                   [](const Glyph& a, const Glyph& b) { return a.y < b.y; });
  std::vector<Line> lines;
  for (const Glyph& glyph : glyphs) {
    if (lines.empty() || glyph.y - lines.back().y >= same_line) lines.push_back({glyph.y, {}});
    lines.back().glyphs.push_back(glyph);
  }
  for (Line& line : lines) {
    std::stable_sort(line.glyphs.begin(), line.glyphs.end(),
                     [](const Glyph& a, const Glyph& b) { return a.x < b.x; });
  }
  return lines;
}

// How many steps from `from` to `to`, rounded, within [0, most].
int Steps(double from, double to, double step, int most) {
  const double steps = std::round((to - from) / step);
  return static_cast<int>(std::clamp(steps, 0.0, static_cast<double>(most)));
}

void AppendUtf8(std::string& text, char32_t c) {
  if (c < 0x80) {
    text += static_cast<char>(c);
  } else if (c < 0x800) {
    text += static_cast<char>(0xC0 | c >> 6);
    text += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    text += static_cast<char>(0xE0 | c >> 12);
    text += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    text += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    text += static_cast<char>(0xF0 | c >> 18);
    text += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    text += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    text += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string LineText(const Page& glyphs, const Grid& grid) {
  std::string text;
  int next_column = 0;
  for (const Glyph& glyph : glyphs) {
    const int column = std::max(Steps(grid.left, glyph.x, grid.column, kMaxColumn), next_column);
    text.append(static_cast<size_t>(column - next_column), ' ');
    AppendUtf8(text, glyph.character);
    next_column = column + 1;
  }
  return text;
}

}  // namespace

bool Places(char32_t c) {
  if (c <= 0x20 || (c >= 0x7F && c <= 0xA0)) return false;  // controls, spaces
  if (c >= 0xD800 && c <= 0xDFFF) return false;               // surrogates
  if (c >= 0x2000 && c <= 0x200B) return false;               // typographic spaces
  return c != 0x3000 && c != 0xFEFF && c <= 0x10FFFF;
}

Grid MeasureGrid(const std::vector<Page>& pages) {
  Grid grid;
  std::vector<double> advances, sizes;
  grid.left = std::numeric_limits<double>::infinity();
  for (const Page& page : pages) {
    for (const Glyph& glyph : UsableGlyphs(page)) {
      if (glyph.advance > 0) advances.push_back(glyph.advance);
      if (glyph.size > 0) sizes.push_back(glyph.size);
      grid.left = std::min(grid.left, static_cast<double>(glyph.x));
    }
  }
  if (!std::isfinite(grid.left)) return Grid{};
  const double size = Median(sizes, 1);
  grid.column = std::max(Median(advances, size * 0.6), kFinestStep);
  grid.same_line = std::max(size / 2, kFinestStep);
  grid.top = std::numeric_limits<double>::infinity();
  grid.bottom = -std::numeric_limits<double>::infinity();
  double row = std::numeric_limits<double>::infinity();
  for (const Page& page : pages) {
    const std::vector<Line> lines = Lines(UsableGlyphs(page), grid.same_line);
    if (lines.empty()) continue;
    grid.top = std::min(grid.top, lines.front().y);
    grid.bottom = std::max(grid.bottom, lines.back().y);
    for (size_t i = 1; i < lines.size(); ++i) row = std::min(row, lines[i].y - lines[i - 1].y);
  }
  // The closest lines give the pitch, but no more than text is set at (1.2
  // sizes): in a document whose lines all stand apart, a gap is still seen
  // as blank lines.
  grid.row = std::max(std::min(row, size * kUsualPitch), kFinestStep);
  return grid;
}

std::vector<std::string> PageLines(const Page& page, const Grid& grid, PageEnd end) {
  std::vector<std::string> text;
  double above = grid.top;
  // The rows from `above` down to `y`, less the one that holds text.
  const auto blank_rows = [&](double y, int held) {
    const int steps = Steps(above, y, grid.row, kMaxBlankLines + 1) + (text.empty() ? 1 : 0);
    text.insert(text.end(), static_cast<size_t>(std::clamp(steps - held, 0, kMaxBlankLines)),
                std::string());
  };
  for (const Line& line : Lines(UsableGlyphs(page), grid.same_line)) {
    blank_rows(line.y, 1);
    text.push_back(LineText(line.glyphs, grid));
    above = line.y;
  }
  if (end == PageEnd::kFill) blank_rows(grid.bottom, 0);
  return text;
}

}  // namespace textrelay::pdf
