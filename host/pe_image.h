// A small loader for the driver's own 32-bit x86 DLLs: it maps an image into
// this process, applies its base relocations and binds its imports to the
// host's stand-ins for the platform's modules, so the shipped binaries run
// under the host engine. Only images that import nothing but services the
// host knows for that kind of image load.
#pragma once

#include <cstdint>
#include <map>
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

// The services an image may import: module name (lower case) to service
// name to the host's stand-in.
using ModuleServices = std::map<std::string, std::map<std::string, void*>>;

// The graphics DLL's: the engine's services in win32k.sys.
const ModuleServices& KernelModeServices();
// The printer interface DLL's: KERNEL32's heap and debugger output and
// USER32's printf.
const ModuleServices& InterfaceDllServices();

class PeImage {
 public:
  // Throws PeImageError naming what is wrong with the image.
  static std::unique_ptr<PeImage> Load(const std::string& path,
                                       const ModuleServices& services = KernelModeServices());
  static std::unique_ptr<PeImage> Load(const std::vector<uint8_t>& file, const std::string& name,
                                       const ModuleServices& services = KernelModeServices());
  ~PeImage();
  PeImage(const PeImage&) = delete;
  PeImage& operator=(const PeImage&) = delete;

  // The graphics DLL's entry point, to be called as DrvEnableDriver.
  DrvEnableDriverEntry entry() const { return entry_; }
  // An exported function by name; nullptr when the image exports none.
  void* Export(const std::string& name) const;
  // "module!service" for every import, in the image's order.
  const std::vector<std::string>& imports() const { return imports_; }

 private:
  PeImage() = default;
  uint8_t* base_ = nullptr;
  size_t size_ = 0;
  DrvEnableDriverEntry entry_ = nullptr;
  std::map<std::string, uint32_t> exports_;  // name to RVA
  std::vector<std::string> imports_;
  friend class PeMapper;
};

// Whether this process can run the image's code at all (32-bit x86 only).
constexpr bool kCanRunPeImages = sizeof(void*) == 4;

}  // namespace host
