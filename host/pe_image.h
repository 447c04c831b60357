// A small loader for the driver's own DLLs (i386 images in a 32-bit x86
// process, x86-64 images in an x86-64 one, ARM64 images in a 64-bit ARM
// one): it maps an image into this
// process, applies its base relocations and binds its imports to the host's
// stand-ins for the platform's modules, so the shipped binaries run natively
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
// The user-mode graphics DLL's: GDI32's engine services, the interface
// DLL's modules and WINSPOOL's write.
const ModuleServices& UserModeServices();
// A graphics DLL of either mode. Kernel-mode graphics DLLs exist for 32-bit
// x86 only, so a 64-bit process offers no win32k.sys (its EngDebugPrint
// takes this build's va_list, which a platform image does not pass).
// Every service is bound as host/platform_call.h makes it callable.
const ModuleServices& GraphicsDllServices();

class PeImage {
 public:
  // Throws PeImageError naming what is wrong with the image.
  static std::unique_ptr<PeImage> Load(const std::string& path,
                                       const ModuleServices& services = GraphicsDllServices());
  static std::unique_ptr<PeImage> Load(const std::vector<uint8_t>& file, const std::string& name,
                                       const ModuleServices& services = GraphicsDllServices());
  ~PeImage();
  PeImage(const PeImage&) = delete;
  PeImage& operator=(const PeImage&) = delete;

  // The graphics DLL's DrvEnableDriver: its export of that name (how the
  // engine finds it in a user-mode DLL, which has no entry point), else the
  // image's entry point (a kernel-mode DLL's is DrvEnableDriver).
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

constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kMachineArm64 = 0xAA64;

// Whether this process runs the code of images for that machine: i386
// images in a 32-bit x86 process, x86-64 images in an x86-64 one, ARM64
// images in a 64-bit ARM one.
constexpr bool CanRunPeImage(uint16_t machine) {
#if defined(__i386__)
  return machine == kMachineI386;
#elif defined(__x86_64__)
  return machine == kMachineAmd64;
#elif defined(__aarch64__)
  return machine == kMachineArm64;
#else
  static_cast<void>(machine);
  return false;
#endif
}

}  // namespace host
