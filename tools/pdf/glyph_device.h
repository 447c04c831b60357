// A poppler output device that draws nothing and keeps every character a
// page shows, with its place on the page in points, for the layout step.
#pragma once

#include <OutputDev.h>

#include "tools/pdf/font_characters.h"
#include "tools/pdf/layout.h"

namespace textrelay::pdf {

class GlyphDevice : public OutputDev {
 public:
  explicit GlyphDevice(XRef* xref) : xref_(xref) {}

  // Characters at their places, y downwards; no pictures or paths.
  bool upsideDown() override { return true; }
  bool useDrawChar() override { return true; }
  bool interpretType3Chars() override { return false; }
  bool needNonText() override { return false; }

  void startPage(int, GfxState*, XRef*) override { page_.clear(); }
  void drawChar(GfxState* state, double x, double y, double dx, double dy, double origin_x,
                double origin_y, CharCode code, int bytes, const Unicode* u, int u_length) override;

  // The glyphs of the page last displayed; the device starts empty again.
  Page TakePage() { return std::move(page_); }

 private:
  void Add(const Glyph& where, char32_t character);

  XRef* xref_;
  FontCharacters font_characters_;
  Page page_;
};

}  // namespace textrelay::pdf
