// A small loader for the driver's own 32-bit x86 DLL: it maps the image into
// this process, applies its base relocations and binds its imports to the
// host engine's services, so the shipped binary runs under the host engine.
// Only images that import nothing but the known engine services load.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/runner.h"

namespace host {

class PeImageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class PeImage {
 public:
  // Throws PeImageError naming what is wrong with the image.
  static std::unique_ptr<PeImage> Load(const std::string& path);
  static std::unique_ptr<PeImage> Load(const std::vector<uint8_t>& file, const std::string& name);
  ~PeImage();
  PeImage(const PeImage&) = delete;
  PeImage& operator=(const PeImage&) = delete;

  // The image's entry point, to be called as DrvEnableDriver.
  DrvEnableDriverEntry entry() const { return entry_; }
  const std::vector<std::string>& imports() const { return imports_; }

 private:
  PeImage() = default;
  uint8_t* base_ = nullptr;
  size_t size_ = 0;
  DrvEnableDriverEntry entry_ = nullptr;
  std::vector<std::string> imports_;
  friend class PeMapper;
};

// Whether this process can run the image's code at all (32-bit x86 only).
constexpr bool kCanRunPeImages = sizeof(void*) == 4;

}  // namespace host
