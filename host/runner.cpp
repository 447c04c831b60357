#include "host/runner.h"

#include <atomic>
#include <vector>

namespace host {

namespace {
using PFN_EnablePDEV = DHPDEV(APIENTRY*)(DEVMODEW*, LPWSTR, ULONG, HSURF*, ULONG, ULONG*, ULONG,
                                         DEVINFO*, HDEV, LPWSTR, HANDLE);
using PFN_CompletePDEV = VOID(APIENTRY*)(DHPDEV, HDEV);
using PFN_ResetPDEV = BOOL(APIENTRY*)(DHPDEV, DHPDEV);
using PFN_DisablePDEV = VOID(APIENTRY*)(DHPDEV);
using PFN_EnableSurface = HSURF(APIENTRY*)(DHPDEV);
using PFN_DisableSurface = VOID(APIENTRY*)(DHPDEV);
using PFN_StartDoc = BOOL(APIENTRY*)(SURFOBJ*, LPWSTR, DWORD);
using PFN_EndDoc = BOOL(APIENTRY*)(SURFOBJ*, FLONG);
using PFN_Page = BOOL(APIENTRY*)(SURFOBJ*);
using PFN_TextOut = BOOL(APIENTRY*)(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*,
                                    BRUSHOBJ*, BRUSHOBJ*, POINTL*, MIX);
using PFN_DitherColor = ULONG(APIENTRY*)(DHPDEV, ULONG, ULONG, ULONG*);
using PFN_Free = VOID(APIENTRY*)(PVOID, ULONG_PTR);

// The engine's own device handles; the driver only stores and passes them.
// Devices may be made on several threads at once.
HDEV NextDeviceHandle() {
  static std::atomic<uintptr_t> next = 0x7000;
  return reinterpret_cast<HDEV>(next.fetch_add(4, std::memory_order_relaxed) + 4);
}
}  // namespace

Driver::Driver(DrvEnableDriverEntry entry) {
  loaded_ = entry(DDI_DRIVER_VERSION_NT4, sizeof(DRVENABLEDATA), &data_) != FALSE;
  for (ULONG index = 0; index < functions_.size(); ++index) functions_[index] = Function(index);
}

PFN Driver::Function(ULONG index) const {
  for (ULONG i = 0; loaded_ && i < data_.c; ++i) {
    if (data_.pdrvfn[i].iFunc == index) return data_.pdrvfn[i].pfn;
  }
  return nullptr;
}

DHPDEV Driver::EnablePDEV(DEVMODEW* pdm, ULONG cjCaps, GDIINFO* pdevcaps, ULONG cjDevInfo,
                          DEVINFO* pdi, HDEV hdev, LPWSTR pwszDeviceName, HANDLE hDriver) const {
  return Get<PFN_EnablePDEV>(INDEX_DrvEnablePDEV)(pdm, nullptr, 0, nullptr, cjCaps,
                                                  reinterpret_cast<ULONG*>(pdevcaps), cjDevInfo,
                                                  pdi, hdev, pwszDeviceName, hDriver);
}

void Driver::CompletePDEV(DHPDEV dhpdev, HDEV hdev) const {
  Get<PFN_CompletePDEV>(INDEX_DrvCompletePDEV)(dhpdev, hdev);
}

BOOL Driver::ResetPDEV(DHPDEV dhpdevOld, DHPDEV dhpdevNew) const {
  return Get<PFN_ResetPDEV>(INDEX_DrvResetPDEV)(dhpdevOld, dhpdevNew);
}

void Driver::DisablePDEV(DHPDEV dhpdev) const { Get<PFN_DisablePDEV>(INDEX_DrvDisablePDEV)(dhpdev); }

HSURF Driver::EnableSurface(DHPDEV dhpdev) const {
  return Get<PFN_EnableSurface>(INDEX_DrvEnableSurface)(dhpdev);
}

void Driver::DisableSurface(DHPDEV dhpdev) const {
  Get<PFN_DisableSurface>(INDEX_DrvDisableSurface)(dhpdev);
}

BOOL Driver::StartDoc(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId) const {
  return Get<PFN_StartDoc>(INDEX_DrvStartDoc)(pso, pwszDocName, dwJobId);
}

BOOL Driver::EndDoc(SURFOBJ* pso, FLONG fl) const { return Get<PFN_EndDoc>(INDEX_DrvEndDoc)(pso, fl); }

BOOL Driver::StartPage(SURFOBJ* pso) const { return Get<PFN_Page>(INDEX_DrvStartPage)(pso); }

BOOL Driver::SendPage(SURFOBJ* pso) const { return Get<PFN_Page>(INDEX_DrvSendPage)(pso); }

// The engine hands over its clip, font, brushes and origin; this driver
// never looks at them, so the host passes none.
BOOL Driver::TextOut(SURFOBJ* pso, STROBJ* pstro) const {
  return Get<PFN_TextOut>(INDEX_DrvTextOut)(pso, pstro, nullptr, nullptr, nullptr, nullptr,
                                            nullptr, nullptr, nullptr, 0x0D0D);
}

ULONG Driver::DitherColor(DHPDEV dhpdev, ULONG iMode, ULONG rgb, ULONG* pul) const {
  return Get<PFN_DitherColor>(INDEX_DrvDitherColor)(dhpdev, iMode, rgb, pul);
}

void Driver::Free(PVOID pv, ULONG_PTR id) const { Get<PFN_Free>(INDEX_DrvFree)(pv, id); }

Device::Device(const Driver& driver, const DEVMODEW* devmode, std::u16string name, HANDLE printer)
    : driver_(driver), name_(std::move(name)), hdev_(NextDeviceHandle()) {
  dhpdev_ = driver_.EnablePDEV(const_cast<DEVMODEW*>(devmode), sizeof(GDIINFO), &gdiinfo_,
                               sizeof(DEVINFO), &devinfo_, hdev_,
                               reinterpret_cast<LPWSTR>(name_.data()), printer);
  if (dhpdev_ == nullptr) return;
  driver_.CompletePDEV(dhpdev_, hdev_);
  hsurf_ = driver_.EnableSurface(dhpdev_);
  surfobj_.hsurf = hsurf_;
  surfobj_.dhpdev = dhpdev_;
  surfobj_.hdev = hdev_;
}

Device::~Device() { Release(); }

BOOL Device::StartDoc(const std::u16string& name, DWORD job) {
  std::u16string doc = name;
  return driver_.StartDoc(&surfobj_, reinterpret_cast<LPWSTR>(doc.data()), job);
}

BOOL Device::StartPage() { return driver_.StartPage(&surfobj_); }

BOOL Device::Text(TextObject& text) { return driver_.TextOut(&surfobj_, text.stro()); }

BOOL Device::Text(std::u16string_view line) {
  TextObject text;
  text.SetString(line);
  return Text(text);
}

BOOL Device::SendPage() { return driver_.SendPage(&surfobj_); }

BOOL Device::EndDoc(FLONG fl) { return driver_.EndDoc(&surfobj_, fl); }

void Device::Release() {
  if (dhpdev_ == nullptr) return;
  driver_.DisableSurface(dhpdev_);
  driver_.DisablePDEV(dhpdev_);
  dhpdev_ = nullptr;
  hsurf_ = nullptr;
}

}  // namespace host
