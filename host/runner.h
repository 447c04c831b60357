// Drives a driver as the engine does: loads it through its entry point only
// and then calls every driver function through the table it handed back,
// by index, in the order of the engine's printing protocol.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "engine/engine.h"
#include "host/text_object.h"

namespace host {

using DrvEnableDriverEntry = BOOL(APIENTRY*)(ULONG, ULONG, DRVENABLEDATA*);

class Driver {
 public:
  explicit Driver(DrvEnableDriverEntry entry);

  bool loaded() const { return loaded_; }
  const DRVENABLEDATA& data() const { return data_; }
  PFN Function(ULONG index) const;  // nullptr when the table lacks it

  DHPDEV EnablePDEV(DEVMODEW* pdm, ULONG cjCaps, GDIINFO* pdevcaps, ULONG cjDevInfo,
                    DEVINFO* pdi, HDEV hdev, LPWSTR pwszDeviceName, HANDLE hDriver) const;
  void CompletePDEV(DHPDEV dhpdev, HDEV hdev) const;
  BOOL ResetPDEV(DHPDEV dhpdevOld, DHPDEV dhpdevNew) const;
  void DisablePDEV(DHPDEV dhpdev) const;
  HSURF EnableSurface(DHPDEV dhpdev) const;
  void DisableSurface(DHPDEV dhpdev) const;
  BOOL StartDoc(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId) const;
  BOOL EndDoc(SURFOBJ* pso, FLONG fl) const;
  BOOL StartPage(SURFOBJ* pso) const;
  BOOL SendPage(SURFOBJ* pso) const;
  BOOL TextOut(SURFOBJ* pso, STROBJ* pstro) const;
  ULONG DitherColor(DHPDEV dhpdev, ULONG iMode, ULONG rgb, ULONG* pul) const;
  void Free(PVOID pv, ULONG_PTR id) const;

 private:
  template <typename Fn>
  Fn Get(ULONG index) const {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(functions_[index]));
  }
  DRVENABLEDATA data_{};
  bool loaded_ = false;
  // Looked up once at load, not on every call.
  std::array<PFN, INDEX_LAST> functions_{};
};

// A device as the engine holds it, from creation to release: enabled from a
// caller's device mode (or none), completed, and given its surface.
class Device {
 public:
  Device(const Driver& driver, const DEVMODEW* devmode, std::u16string name, HANDLE printer);
  ~Device();
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  // True when the device and its surface were created.
  bool ok() const { return dhpdev_ != nullptr && hsurf_ != nullptr; }
  DHPDEV dhpdev() const { return dhpdev_; }
  HSURF hsurf() const { return hsurf_; }
  HDEV hdev() const { return hdev_; }
  SURFOBJ* surface() { return &surfobj_; }
  const GDIINFO& gdiinfo() const { return gdiinfo_; }
  const DEVINFO& devinfo() const { return devinfo_; }

  BOOL StartDoc(const std::u16string& name = u"textrelay", DWORD job = 1);
  BOOL StartPage();
  BOOL Text(TextObject& text);
  BOOL Text(std::u16string_view text);  // one line, carried in pwszOrg
  BOOL SendPage();
  BOOL EndDoc(FLONG fl = 0);

  // Disables the surface and the device; safe to call again.
  void Release();

 private:
  const Driver& driver_;
  std::u16string name_;
  DHPDEV dhpdev_ = nullptr;
  HSURF hsurf_ = nullptr;
  HDEV hdev_;
  SURFOBJ surfobj_{};
  GDIINFO gdiinfo_{};
  DEVINFO devinfo_{};
};

}  // namespace host
