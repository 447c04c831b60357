// Conversions between the driver's record and records of other versions and
// sizes, for spoolers and clients that do not run the same driver version.
#include "ui/ui.h"

namespace {

// The public fields that dmFields announces, by where they end: a field a
// record's public part does not hold cannot be announced by it.
struct PublicField {
  DWORD dwBit;
  ULONG cbEnd;
};
#define DRV_UI_END(f) \
  static_cast<ULONG>(offsetof(DEVMODEW, f) + sizeof(static_cast<DEVMODEW*>(nullptr)->f))
constexpr PublicField kPublicFields[] = {
    {DM_ORIENTATION, DRV_UI_END(dmOrientation)},
    {DM_PAPERSIZE, DRV_UI_END(dmPaperSize)},
    {DM_PAPERLENGTH, DRV_UI_END(dmPaperLength)},
    {DM_PAPERWIDTH, DRV_UI_END(dmPaperWidth)},
    {DM_SCALE, DRV_UI_END(dmScale)},
    {DM_COPIES, DRV_UI_END(dmCopies)},
    {DM_DEFAULTSOURCE, DRV_UI_END(dmDefaultSource)},
    {DM_PRINTQUALITY, DRV_UI_END(dmPrintQuality)},
    {DM_COLOR, DRV_UI_END(dmColor)},
    {DM_DUPLEX, DRV_UI_END(dmDuplex)},
    {DM_YRESOLUTION, DRV_UI_END(dmYResolution)},
    {DM_TTOPTION, DRV_UI_END(dmTTOption)},
    {DM_COLLATE, DRV_UI_END(dmCollate)},
    {DM_FORMNAME, DRV_UI_END(dmFormName)},
    {DM_LOGPIXELS, DRV_UI_END(dmLogPixels)},
    {DM_BITSPERPEL, DRV_UI_END(dmBitsPerPel)},
    {DM_PELSWIDTH, DRV_UI_END(dmPelsWidth)},
    {DM_PELSHEIGHT, DRV_UI_END(dmPelsHeight)},
    {DM_DISPLAYFLAGS, DRV_UI_END(dmDisplayFlags)},
    {DM_DISPLAYFREQUENCY, DRV_UI_END(dmDisplayFrequency)},
    {DM_ICMMETHOD, DRV_UI_END(dmICMMethod)},
    {DM_ICMINTENT, DRV_UI_END(dmICMIntent)},
    {DM_MEDIATYPE, DRV_UI_END(dmMediaType)},
    {DM_DITHERTYPE, DRV_UI_END(dmDitherType)},
    {DM_PANNINGWIDTH, DRV_UI_END(dmPanningWidth)},
    {DM_PANNINGHEIGHT, DRV_UI_END(dmPanningHeight)},
};

// The dmFields bits of the fields that lie beyond cbPublic bytes.
DWORD FieldsBeyond(ULONG cbPublic) {
  DWORD dwBits = 0;
  for (const PublicField& field : kPublicFields) {
    if (field.cbEnd > cbPublic) dwBits |= field.dwBit;
  }
  return dwBits;
}

// A public part shorter than this cannot even hold the header that says so.
#define DRV_UI_HEADER_BYTES ((ULONG)offsetof(DEVMODEW, dmFields))
#define DRV_UI_FIELDS_END ((ULONG)offsetof(DEVMODEW, dmOrientation))

// TRUE when there is a record and the interface takes it. Reads dmSize only.
BOOL HoldsHeader(const DEVMODEW* pdm) { return pdm != nullptr && UiTakesRecord(pdm); }

ULONG RecordBytes(const DEVMODEW* pdm) {
  return static_cast<ULONG>(pdm->dmSize) + pdm->dmDriverExtra;
}

BOOL Refuse(DWORD dwError) {
  SetLastError(dwError);
  return FALSE;
}

// Asks for more room: the caller learns the size and nothing is written.
BOOL AskForRoom(PLONG pcbNeeded, ULONG cbNeeded) {
  *pcbNeeded = static_cast<LONG>(cbNeeded);
  return Refuse(ERROR_INSUFFICIENT_BUFFER);
}

// The device name, and the public fields both records hold with the
// dmFields bits of those the output keeps.
void CopyPublicPart(const DEVMODEW* pdmIn, DEVMODEW* pdmOut) {
  ULONG cbIn = pdmIn->dmSize;
  ULONG cbOut = pdmOut->dmSize;
  ULONG cbCommon = cbIn < cbOut ? cbIn : cbOut;
  DrvCopyBytes(pdmOut->dmDeviceName, pdmIn->dmDeviceName, sizeof pdmIn->dmDeviceName);
  // Without room for dmFields in both records there is no field to convert.
  if (cbCommon < DRV_UI_FIELDS_END) return;
  DWORD dwKept = pdmOut->dmFields & FieldsBeyond(cbIn);
  DrvCopyBytes(reinterpret_cast<BYTE*>(pdmOut) + DRV_UI_HEADER_BYTES,
               reinterpret_cast<const BYTE*>(pdmIn) + DRV_UI_HEADER_BYTES,
               cbCommon - DRV_UI_HEADER_BYTES);
  pdmOut->dmFields = (pdmIn->dmFields & ~FieldsBeyond(cbCommon)) | dwKept;
}

BOOL HasRoom(const DEVMODEW* pdmOut, PLONG pcbNeeded, ULONG cbNeeded) {
  return pdmOut != nullptr && *pcbNeeded >= 0 && static_cast<ULONG>(*pcbNeeded) >= cbNeeded;
}

// The output keeps its own header (the version it asked for) and receives
// the public fields both records hold, and the private block only from a
// valid record of the driver's own into a record of the driver's own. A
// record of the driver's own that cannot be given a private block receives
// the printer's defaults there, so it leaves valid. The copy leaves the
// output's header as it is, so what the output is can be judged first:
// FALSE (ERROR_NOT_ENOUGH_MEMORY) with nothing written when there was no
// memory for the defaults.
BOOL Convert(const WCHAR* pwszPrinterName, const DEVMODEW* pdmIn, DEVMODEW* pdmOut) {
  BOOL bOwnOut = IsValidDrvDevMode(pdmOut);
  BOOL bOwnIn = IsValidDrvDevMode(pdmIn);
  DrvDevMode* lpDefaults = nullptr;
  if (bOwnOut && !bOwnIn) {
    lpDefaults = UiNewDevMode(nullptr, pwszPrinterName, nullptr);
    if (lpDefaults == nullptr) return FALSE;
  }
  CopyPublicPart(pdmIn, pdmOut);
  if (bOwnOut) {
    const DrvDevMode* lpSource =
        bOwnIn ? reinterpret_cast<const DrvDevMode*>(pdmIn) : lpDefaults;
    DrvCopyBytes(reinterpret_cast<DrvDevMode*>(pdmOut)->abCarried220, lpSource->abCarried220,
                 DRV_DRIVER_EXTRA);
  }
  if (lpDefaults != nullptr) DrvFreePtr(lpDefaults);
  return TRUE;
}

BOOL CopyDefaults(const WCHAR* pwszPrinterName, DEVMODEW* pdmOut, PLONG pcbNeeded) {
  if (!HasRoom(pdmOut, pcbNeeded, DRV_UI_DEVMODE_BYTES)) {
    return AskForRoom(pcbNeeded, DRV_UI_DEVMODE_BYTES);
  }
  DrvDevMode* lpDefaults = UiNewDevMode(nullptr, pwszPrinterName, nullptr);
  if (lpDefaults == nullptr) return FALSE;
  DrvCopyBytes(pdmOut, lpDefaults, DRV_UI_DEVMODE_BYTES);
  DrvFreePtr(lpDefaults);
  *pcbNeeded = static_cast<LONG>(DRV_UI_DEVMODE_BYTES);
  return TRUE;
}

// The output's header says which version it wants; it must be there. With
// no output the caller asks for the size, which is the driver's own record's.
BOOL ConvertToCallersVersion(const WCHAR* pwszPrinterName, const DEVMODEW* pdmIn,
                             DEVMODEW* pdmOut, PLONG pcbNeeded) {
  if (!HoldsHeader(pdmIn)) return Refuse(ERROR_INVALID_PARAMETER);
  if (pdmOut == nullptr) return AskForRoom(pcbNeeded, DRV_UI_DEVMODE_BYTES);
  if (*pcbNeeded < static_cast<LONG>(DRV_UI_HEADER_BYTES) || !HoldsHeader(pdmOut)) {
    return Refuse(ERROR_INVALID_PARAMETER);
  }
  ULONG cbNeeded = RecordBytes(pdmOut);
  if (!HasRoom(pdmOut, pcbNeeded, cbNeeded)) return AskForRoom(pcbNeeded, cbNeeded);
  if (!Convert(pwszPrinterName, pdmIn, pdmOut)) return Refuse(ERROR_NOT_ENOUGH_MEMORY);
  *pcbNeeded = static_cast<LONG>(cbNeeded);
  return TRUE;
}

// The driver has no record of the oldest version of its own, so the input
// is converted to the current version, as the platform asks of such drivers.
BOOL ConvertToCurrentVersion(const WCHAR* pwszPrinterName, const DEVMODEW* pdmIn,
                             DEVMODEW* pdmOut, PLONG pcbNeeded) {
  if (!HoldsHeader(pdmIn)) return Refuse(ERROR_INVALID_PARAMETER);
  if (!HasRoom(pdmOut, pcbNeeded, DRV_UI_DEVMODE_BYTES)) {
    return AskForRoom(pcbNeeded, DRV_UI_DEVMODE_BYTES);
  }
  DrvDevMode* lpOut = UiNewDevMode(nullptr, pwszPrinterName, nullptr);
  if (lpOut == nullptr) return FALSE;
  BOOL bConverted = Convert(pwszPrinterName, pdmIn, &lpOut->dm);
  if (bConverted) DrvCopyBytes(pdmOut, lpOut, DRV_UI_DEVMODE_BYTES);
  DrvFreePtr(lpOut);
  if (!bConverted) return Refuse(ERROR_NOT_ENOUGH_MEMORY);
  *pcbNeeded = static_cast<LONG>(DRV_UI_DEVMODE_BYTES);
  return TRUE;
}

}  // namespace

// Called by the spooler when a record crosses between driver versions
// (client and server) or when it wants the driver's defaults: with no
// printer handle, these are the built-in ones. TRUE with
// *pcbNeeded set to the size written; FALSE with SetLastError otherwise. A
// buffer too small gets ERROR_INSUFFICIENT_BUFFER and the size it needs,
// with nothing written. Reads no record beyond dmSize + dmDriverExtra.
BOOL APIENTRY DrvConvertDevMode(LPTSTR pPrinterName, PDEVMODE pdmIn, PDEVMODE pdmOut,
                                PLONG pcbNeeded, DWORD fMode) {
  DrvDebugPrint("DrvConvertDevMode: pdmIn [%08lx], pdmOut [%08lx], fMode [%ld].",
                DRV_TRACE_PTR(pdmIn), DRV_TRACE_PTR(pdmOut), static_cast<long>(fMode));
  if (pcbNeeded == nullptr) return Refuse(ERROR_INVALID_PARAMETER);
  switch (fMode) {
    case CDM_DRIVER_DEFAULT: return CopyDefaults(pPrinterName, pdmOut, pcbNeeded);
    case CDM_CONVERT: return ConvertToCallersVersion(pPrinterName, pdmIn, pdmOut, pcbNeeded);
    case CDM_CONVERT351: return ConvertToCurrentVersion(pPrinterName, pdmIn, pdmOut, pcbNeeded);
    default: return Refuse(ERROR_INVALID_PARAMETER);
  }
}
