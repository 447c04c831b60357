#include "tools/pdf/font_characters.h"

#include <GfxFont.h>
#include <fofi/FoFiTrueType.h>

#include <cstring>
#include <utility>

namespace textrelay::pdf {

namespace {

// The cmaps that map Unicode, best first, and how far each reaches.
struct UnicodeCmap {
  int platform;
  int encoding;
  char32_t last;
};
constexpr UnicodeCmap kUnicodeCmaps[] = {
    {3, 10, 0x10FFFF}, {0, 4, 0x10FFFF}, {3, 1, 0xFFFF}, {0, 3, 0xFFFF}, {0, 0, 0xFFFF},
};

// Every glyph's lowest character: where two characters share a glyph
// (a space and a no-break space), the one a plain text file would hold.
std::vector<char32_t> Reverse(const FoFiTrueType& font, int cmap, char32_t last) {
  std::vector<char32_t> characters;
  for (char32_t c = last; c > 0; --c) {
    const int glyph = font.mapCodeToGID(cmap, c);
    if (glyph <= 0) continue;
    if (static_cast<size_t>(glyph) >= characters.size()) characters.resize(glyph + 1);
    characters[glyph] = c;
  }
  return characters;
}

}  // namespace

bool FontCharacters::NamesGlyphs(const GfxFont& font) {
  if (font.getType() != fontCIDType2 && font.getType() != fontCIDType2OT) return false;
  if (font.hasToUnicodeCMap()) return false;
  const GooString* collection = static_cast<const GfxCIDFont&>(font).getCollection();
  return collection != nullptr && std::strcmp(collection->c_str(), "Adobe-Identity") == 0;
}

FontCharacters::GlyphCharacters FontCharacters::Read(GfxFont& font, XRef* xref) {
  const std::optional<std::vector<unsigned char>> data = font.readEmbFontFile(xref);
  if (!data || data->empty()) return {};
  const std::unique_ptr<FoFiTrueType> truetype =
      FoFiTrueType::make(data->data(), static_cast<int>(data->size()));
  if (!truetype) return {};
  for (const UnicodeCmap& wanted : kUnicodeCmaps) {
    const int cmap = truetype->findCmap(wanted.platform, wanted.encoding);
    if (cmap >= 0) return Reverse(*truetype, cmap, wanted.last);
  }
  return {};
}

char32_t FontCharacters::Character(GfxFont& font, XRef* xref, unsigned code) {
  Ref id;
  if (!font.getEmbeddedFontID(&id)) return 0;
  auto found = fonts_.find(id);
  if (found == fonts_.end()) found = fonts_.emplace(id, Read(font, xref)).first;
  const GlyphCharacters& characters = found->second;
  // The code is the CID; a CIDToGIDMap, when the font has one, gives the glyph.
  const auto& cid_font = static_cast<const GfxCIDFont&>(font);
  unsigned glyph = code;
  if (cid_font.getCIDToGID() != nullptr) {
    if (code >= cid_font.getCIDToGIDLen()) return 0;
    glyph = static_cast<unsigned>(cid_font.getCIDToGID()[code]);
  }
  return glyph < characters.size() ? characters[glyph] : 0;
}

}  // namespace textrelay::pdf
