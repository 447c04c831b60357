// A text object as the engine hands it to DrvTextOut: an STROBJ carrying the
// string (pwszOrg), a GLYPHPOS array (pgp), or neither, in which case the
// glyphs are enumerated in batches of chosen sizes. The STROBJ's fields may
// be changed directly to build any shape.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"

namespace host {

class TextObject {
 public:
  TextObject();
  ~TextObject();
  TextObject(const TextObject&) = delete;
  TextObject& operator=(const TextObject&) = delete;

  // Each sets cGlyphs to the number of characters or glyphs given. A
  // string reuses the room of the one before; one longer than cGlyphs can
  // count throws std::length_error.
  void SetString(std::u16string_view text);
  void SetGlyphs(std::vector<HGLYPH> glyphs);
  // pgp and pwszOrg NULL. Batch i delivers the next batches[i] glyphs (or
  // what is left); no batches means one batch of everything.
  void SetEnumeration(std::vector<HGLYPH> glyphs, std::vector<ULONG> batches = {});
  void AnswerDdiErrorAt(size_t batch) { ddi_error_at_ = batch; }
  // A faulty engine: after the batches, TRUE for ever with no glyphs.
  void AnswerTrueForever() { endless_ = true; }

  STROBJ* stro() { return &stro_; }
  const std::u16string& text() const { return text_; }

  int enum_starts() const { return enum_starts_; }
  int enum_calls() const { return enum_calls_; }

  // The engine's side of STROBJ_vEnumStart and STROBJ_bEnum.
  void EnumStart();
  BOOL Enum(ULONG* count, GLYPHPOS** glyphs);

  static TextObject* Find(STROBJ* stro);

 private:
  STROBJ stro_{};
  std::u16string text_;
  std::vector<GLYPHPOS> array_;        // pgp
  std::vector<GLYPHPOS> enumerated_;   // what the enumeration delivers
  std::vector<ULONG> batches_;
  std::optional<size_t> ddi_error_at_;
  bool endless_ = false;
  size_t next_batch_ = 0;
  size_t next_glyph_ = 0;
  int enum_starts_ = 0;
  int enum_calls_ = 0;
};

size_t LiveTextObjects();

}  // namespace host
