// Characters for fonts that name glyphs rather than characters: a CID
// TrueType font on the Identity encoding without a ToUnicode map (what a
// text-to-PDF filter embeds) draws glyph numbers, and only the embedded
// font's own cmap says which character each glyph shows.
#pragma once

#include <Object.h>

#include <map>
#include <vector>

class GfxFont;
class XRef;

namespace textrelay::pdf {

class FontCharacters {
 public:
  // Whether the font's codes are glyph numbers this class can name.
  static bool NamesGlyphs(const GfxFont& font);

  // The character the code draws in the font, or 0 when its cmap has none.
  // Each font's cmap is read once per document.
  char32_t Character(GfxFont& font, XRef* xref, unsigned code);

 private:
  // Glyph number to character; empty for a font without a usable cmap.
  using GlyphCharacters = std::vector<char32_t>;
  static GlyphCharacters Read(GfxFont& font, XRef* xref);

  std::map<Ref, GlyphCharacters> fonts_;
};

}  // namespace textrelay::pdf
