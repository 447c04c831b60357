#include "host/text_object.h"

#include <algorithm>
#include <limits>
#include <map>
#include <mutex>
#include <stdexcept>

namespace host {

namespace {
// Text objects of every thread, found by the STROBJ the driver hands back.
struct Registry {
  std::mutex mutex;
  std::map<STROBJ*, TextObject*> objects;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

std::vector<GLYPHPOS> Positions(const std::vector<HGLYPH>& glyphs) {
  std::vector<GLYPHPOS> positions(glyphs.size());
  for (size_t i = 0; i < glyphs.size(); ++i) {
    positions[i].hg = glyphs[i];
    positions[i].ptl = {static_cast<LONG>(i) * 8, 0};
  }
  return positions;
}
}  // namespace

TextObject::TextObject() {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.objects[&stro_] = this;
}

TextObject::~TextObject() {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.objects.erase(&stro_);
}

TextObject* TextObject::Find(STROBJ* stro) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  auto it = registry.objects.find(stro);
  return it == registry.objects.end() ? nullptr : it->second;
}

size_t LiveTextObjects() {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  return registry.objects.size();
}

void TextObject::SetString(std::u16string_view text) {
  // cGlyphs would count a longer string short.
  if (text.size() > std::numeric_limits<ULONG>::max()) {
    throw std::length_error("a text object counts at most 2^32 - 1 characters");
  }
  text_.assign(text);
  stro_.pwszOrg = reinterpret_cast<LPWSTR>(text_.data());
  stro_.cGlyphs = static_cast<ULONG>(text_.size());
}

void TextObject::SetGlyphs(std::vector<HGLYPH> glyphs) {
  array_ = Positions(glyphs);
  stro_.pgp = array_.data();
  stro_.cGlyphs = static_cast<ULONG>(glyphs.size());
}

void TextObject::SetEnumeration(std::vector<HGLYPH> glyphs, std::vector<ULONG> batches) {
  enumerated_ = Positions(glyphs);
  batches_ = batches.empty() ? std::vector<ULONG>{static_cast<ULONG>(glyphs.size())} : batches;
  stro_.pgp = nullptr;
  stro_.pwszOrg = nullptr;
  stro_.cGlyphs = static_cast<ULONG>(glyphs.size());
}

void TextObject::EnumStart() {
  ++enum_starts_;
  next_batch_ = 0;
  next_glyph_ = 0;
}

// TRUE while more batches follow; the last batch comes with FALSE, and so
// does every call after it, with no glyphs.
BOOL TextObject::Enum(ULONG* count, GLYPHPOS** glyphs) {
  ++enum_calls_;
  *count = 0;
  *glyphs = enumerated_.data();
  if (ddi_error_at_ && *ddi_error_at_ == next_batch_) {
    ++next_batch_;
    return static_cast<BOOL>(DDI_ERROR);
  }
  if (next_batch_ >= batches_.size()) return endless_ ? TRUE : FALSE;
  const size_t left = enumerated_.size() - next_glyph_;
  const size_t take = std::min<size_t>(batches_[next_batch_], left);
  *glyphs = enumerated_.data() + next_glyph_;
  *count = static_cast<ULONG>(take);
  next_glyph_ += take;
  ++next_batch_;
  return next_batch_ < batches_.size() || endless_ ? TRUE : FALSE;
}

}  // namespace host
