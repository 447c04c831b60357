// A surface and a palette as the engine records them when a driver creates
// them.
#pragma once

#include <vector>

#include "engine/engine.h"

namespace host {

struct Surface {
  SIZEL size{};
  LONG lWidth = 0;
  ULONG format = 0;
  FLONG flags = 0;
  PVOID bits = nullptr;
  bool associated = false;
  HDEV hdev = nullptr;
  FLONG hooks = 0;
};

struct Palette {
  ULONG mode = 0;
  std::vector<ULONG> colors;
  FLONG red = 0, green = 0, blue = 0;
};

// The palette EngCreatePalette describes; no colors for a palette of
// bit fields.
inline Palette MakePalette(ULONG mode, ULONG count, const ULONG* colors, FLONG red, FLONG green,
                           FLONG blue) {
  Palette palette{mode, {}, red, green, blue};
  if (colors != nullptr) palette.colors.assign(colors, colors + count);
  return palette;
}

}  // namespace host
