// The layout step: characters at places on pages become lines. The pages
// are written out as a text-to-PDF filter sets text (10 points a line,
// characters 6 points apart, from a margin), then moved, spaced and damaged
// the way other generators and hostile files do.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tools/pdf/layout.h"

namespace textrelay::pdf {
namespace {

constexpr float kLeft = 18, kTop = 40, kColumn = 6, kRow = 12, kSize = 10;

// A page set in monospace: each text's characters from its column on its row.
struct Set {
  int row;
  int column;
  std::u32string text;
};

Page Monospace(std::initializer_list<Set> sets) {
  Page page;
  for (const Set& set : sets) {
    for (size_t i = 0; i < set.text.size(); ++i) {
      page.push_back({kLeft + kColumn * static_cast<float>(set.column + static_cast<int>(i)),
                      kTop + kRow * static_cast<float>(set.row), kColumn, kSize, set.text[i]});
    }
  }
  return page;
}

Page With(Page page, std::initializer_list<Glyph> more) {
  page.insert(page.end(), more);
  return page;
}

Page Reversed(Page page) { return {page.rbegin(), page.rend()}; }

std::vector<std::string> Lines(const std::vector<Page>& pages) {
  const Grid grid = MeasureGrid(pages);
  std::vector<std::string> lines;
  for (size_t i = 0; i < pages.size(); ++i) {
    const PageEnd end = i + 1 < pages.size() ? PageEnd::kFill : PageEnd::kLastText;
    for (std::string& line : PageLines(pages[i], grid, end)) lines.push_back(std::move(line));
  }
  return lines;
}

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kHuge = 3e38f;

struct Case {
  const char* what;
  std::vector<Page> pages;
  std::vector<std::string> lines;
};

TEST(PdfLayout, Placement_LinesComeBackAsTheyWereSet) {
  const std::string far(kMaxColumn, ' ');
  const Case cases[] = {
      {"two columns keep their gap", {Monospace({{0, 0, U"Item"}, {0, 14, U"Price"},
                                                 {1, 0, U"Tea"}, {1, 15, U"3,00"}})},
       {"Item          Price", "Tea            3,00"}},
      {"a blank line stays, trailing spaces go", {Monospace({{0, 0, U"a  "}, {2, 0, U"b"}})},
       {"a", "", "b"}},
      {"indentation counts from the document's leftmost character, on any page",
       {Monospace({{0, 0, U"x"}}), Monospace({{0, 4, U"y"}})}, {"x", "    y"}},
      {"pages end at the document's lowest line; the last ends at its text",
       {Monospace({{0, 0, U"one"}, {3, 0, U"end"}}), Monospace({{0, 0, U"two"}}),
        Monospace({{1, 0, U"three"}})},
       {"one", "", "", "end", "two", "", "", "", "", "three"}},
      {"a page with no text is a page of blank lines", {Monospace({{0, 0, U"a"}, {1, 0, U"b"}}), Page{},
                                                        Monospace({{0, 0, U"c"}})},
       {"a", "b", "", "", "c"}},
      {"characters drawn in any order fall into place",
       {Reversed(Monospace({{0, 0, U"ab"}, {1, 2, U"cd"}}))}, {"ab", "  cd"}},
      {"an accent raised less than half a size stays on its line",
       {With(Monospace({{0, 0, U"e"}}), {{kLeft + kColumn, kTop - 3, kColumn, kSize, U'x'}})},
       {"ex"}},
      {"characters that would share a cell move right, in the order drawn",
       {{{kLeft, kTop, 2, kSize, U'i'}, {kLeft + 1, kTop, 2, kSize, U'l'}, {kLeft + 1, kTop, 2, kSize, U'j'},
         {kLeft + 2, kTop, 2, kSize, U'k'}}},
       {"iljk"}},
      {"every width of UTF-8", {Monospace({{0, 0, U"aé€𝄞"}})}, {"aé€𝄞"}},
      {"spaces, controls, surrogates and non-characters take no cell",
       {Monospace({{0, 0, U"a\u00A0\u2003\u3000\t\u0007\u0085b"},
                   {1, 0, std::u32string{U'c', char32_t{0xD800}, char32_t{0x110000}, U'd'}}})},
       {"a      b", "c  d"}},
      {"a glyph at no finite place is left out",
       {With(Monospace({{0, 0, U"ok"}}), {{kNaN, kTop, kColumn, kSize, U'x'},
                                          {kLeft, std::numeric_limits<float>::infinity(), kColumn, kSize, U'y'},
                                          {kLeft, kTop, kNaN, kSize, U'z'}})},
       {"ok"}},
      {"a far column is capped", {With(Monospace({{0, 0, U"a"}}), {{kHuge, kTop, kColumn, kSize, U'b'}})},
       {"a" + far.substr(1) + "b"}},
      {"a far line is capped",
       {With(Monospace({{0, 0, U"a"}, {1, 0, U"c"}}), {{kLeft, kHuge, kColumn, kSize, U'b'}})},
       [] {
         std::vector<std::string> lines(kMaxBlankLines + 3);
         lines[0] = "a";
         lines[1] = "c";
         lines.back() = "b";
         return lines;
       }()},
      {"zero advances and sizes still give a grid",
       {{{0, 0, 0, 0, U'a'}, {0, 5, 0, 0, U'b'}, {3, 5, 0, 0, U'c'}}}, {"a", "", "", "", "b    c"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Lines(c.pages), c.lines) << c.what;
}

TEST(PdfLayout, Grid_IsTheDocumentsCharacterWidthAndLinePitch) {
  // Proportional text: the column is the median advance, the row the
  // smallest pitch between lines on any page, and at most 1.2 sizes.
  const std::vector<Page> pages = {
      {{10, 100, 5, 10, U'a'}, {15, 100, 7, 10, U'b'}, {22, 100, 5, 10, U'c'}, {10, 130, 5, 10, U'd'}},
      {{12, 50, 9, 10, U'e'}, {12, 61, 5, 10, U'f'}},
  };
  const Grid grid = MeasureGrid(pages);
  EXPECT_EQ((std::vector<double>{grid.left, grid.top, grid.bottom, grid.column, grid.row}),
            (std::vector<double>{10, 50, 130, 5, 11}));
  EXPECT_EQ(MeasureGrid({Page{{0, 0, 6, 10, U'a'}, {0, 30, 6, 10, U'b'}}}).row, 12);
  EXPECT_EQ(MeasureGrid({Page{{kNaN, 1, 1, 1, U'a'}, {1, 1, 1, 1, U' '}}}).column, Grid{}.column);
}

}  // namespace
}  // namespace textrelay::pdf
