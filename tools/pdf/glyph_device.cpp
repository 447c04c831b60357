#include "tools/pdf/glyph_device.h"

#include <GfxFont.h>
#include <GfxState.h>

#include <cmath>

namespace textrelay::pdf {

void GlyphDevice::Add(const Glyph& where, char32_t character) {
  if (!Places(character)) return;
  Glyph glyph = where;
  glyph.character = character;
  page_.push_back(glyph);
}

void GlyphDevice::drawChar(GfxState* state, double x, double y, double dx, double dy, double,
                           double, CharCode code, int, const Unicode* u, int u_length) {
  const std::shared_ptr<GfxFont>& font = state->getFont();
  if (!font) return;
  double page_x, page_y, advance_x, advance_y;
  state->transform(x, y, &page_x, &page_y);
  state->transformDelta(dx, dy, &advance_x, &advance_y);
  const Glyph where{static_cast<float>(page_x), static_cast<float>(page_y),
                    static_cast<float>(std::hypot(advance_x, advance_y)),
                    static_cast<float>(state->getTransformedFontSize()), 0};
  if (FontCharacters::NamesGlyphs(*font)) {
    Add(where, font_characters_.Character(*font, xref_, code));
    return;
  }
  // A ligature's characters follow one another on the grid.
  for (int i = 0; i < u_length; ++i) Add(where, u[i]);
}

}  // namespace textrelay::pdf
