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
constexpr PublicField kPublicFields[] = {
    {DM_ORIENTATION, 78},      {DM_PAPERSIZE, 80},        {DM_PAPERLENGTH, 82},
    {DM_PAPERWIDTH, 84},       {DM_SCALE, 86},            {DM_COPIES, 88},
    {DM_DEFAULTSOURCE, 90},    {DM_PRINTQUALITY, 92},     {DM_COLOR, 94},
    {DM_DUPLEX, 96},           {DM_YRESOLUTION, 98},      {DM_TTOPTION, 100},
    {DM_COLLATE, 102},         {DM_FORMNAME, 166},        {DM_LOGPIXELS, 168},
    {DM_BITSPERPEL, 172},      {DM_PELSWIDTH, 176},       {DM_PELSHEIGHT, 180},
    {DM_DISPLAYFLAGS, 184},    {DM_DISPLAYFREQUENCY, 188}, {DM_ICMMETHOD, 192},
    {DM_ICMINTENT, 196},       {DM_MEDIATYPE, 200},       {DM_DITHERTYPE, 204},
    {DM_PANNINGWIDTH, 216},    {DM_PANNINGHEIGHT, 220},
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

// TRUE when a record at least holds the header it is judged by: a public
// part of 72 bytes or more. Reads dmSize only.
BOOL HoldsHeader(const DEVMODEW* pdm) {
  return pdm != nullptr && pdm->dmSize >= DRV_UI_HEADER_BYTES;
}

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

BOOL HasRoom(const DEVMODEW* pdmOut, PLONG pcbNeeded, ULONG cbNeeded) {
  return pdmOut != nullptr && *pcbNeeded >= 0 && static_cast<ULONG>(*pcbNeeded) >= cbNeeded;
}

// The output keeps its own header (the version it asked for) and receives
// the public fields both records hold, and the private block only from a
// valid record of the driver's own into a record of the driver's own. A
// record of the driver's own that cannot be given a private block receives
// the printer's defaults there, so it leaves valid.
void Convert(const WCHAR* pwszPrinterName, const DEVMODEW* pdmIn, DEVMODEW* pdmOut) {
  ULONG cbIn = pdmIn->dmSize;
  ULONG cbOut = pdmOut->dmSize;
  ULONG cbCommon = cbIn < cbOut ? cbIn : cbOut;
  DrvCopyBytes(pdmOut->dmDeviceName, pdmIn->dmDeviceName, sizeof pdmIn->dmDeviceName);
  // Without room for dmFields in both records there is no field to convert.
  if (cbCommon >= DRV_UI_FIELDS_END) {
    DWORD dwKept = pdmOut->dmFields & FieldsBeyond(cbIn);
    DrvCopyBytes(reinterpret_cast<BYTE*>(pdmOut) + DRV_UI_HEADER_BYTES,
                 reinterpret_cast<const BYTE*>(pdmIn) + DRV_UI_HEADER_BYTES,
                 cbCommon - DRV_UI_HEADER_BYTES);
    pdmOut->dmFields = (pdmIn->dmFields & ~FieldsBeyond(cbCommon)) | dwKept;
  }
  if (!IsValidDrvDevMode(pdmOut)) return;
  DrvDevMode* lpOut = reinterpret_cast<DrvDevMode*>(pdmOut);
  if (IsValidDrvDevMode(pdmIn)) {
    DrvCopyBytes(lpOut->abCarried220, reinterpret_cast<const DrvDevMode*>(pdmIn)->abCarried220,
                 DRV_DRIVER_EXTRA);
    return;
  }
  DrvDevMode* lpDefaults = UiNewDevMode(pwszPrinterName, nullptr);
  if (lpDefaults == nullptr) return;
  DrvCopyBytes(lpOut->abCarried220, lpDefaults->abCarried220, DRV_DRIVER_EXTRA);
  DrvFreePtr(lpDefaults);
}

BOOL CopyDefaults(const WCHAR* pwszPrinterName, DEVMODEW* pdmOut, PLONG pcbNeeded) {
  if (!HasRoom(pdmOut, pcbNeeded, DRV_UI_DEVMODE_BYTES)) {
    return AskForRoom(pcbNeeded, DRV_UI_DEVMODE_BYTES);
  }
  DrvDevMode* lpDefaults = UiNewDevMode(pwszPrinterName, nullptr);
  if (lpDefaults == nullptr) return FALSE;
  DrvCopyBytes(pdmOut, lpDefaults, DRV_UI_DEVMODE_BYTES);
  DrvFreePtr(lpDefaults);
  *pcbNeeded = static_cast<LONG>(DRV_UI_DEVMODE_BYTES);
  return TRUE;
}

// The output's header says which version it wants; it must be there.
BOOL ConvertToCallersVersion(const WCHAR* pwszPrinterName, const DEVMODEW* pdmIn,
                             DEVMODEW* pdmOut, PLONG pcbNeeded) {
  if (!HoldsHeader(pdmIn)) return Refuse(ERROR_INVALID_PARAMETER);
  if (pdmOut == nullptr || *pcbNeeded < static_cast<LONG>(DRV_UI_HEADER_BYTES) ||
      !HoldsHeader(pdmOut)) {
    return Refuse(ERROR_INVALID_PARAMETER);
  }
  ULONG cbNeeded = RecordBytes(pdmOut);
  if (!HasRoom(pdmOut, pcbNeeded, cbNeeded)) return AskForRoom(pcbNeeded, cbNeeded);
  Convert(pwszPrinterName, pdmIn, pdmOut);
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
  DrvDevMode* lpOut = UiNewDevMode(pwszPrinterName, nullptr);
  if (lpOut == nullptr) return FALSE;
  Convert(pwszPrinterName, pdmIn, &lpOut->dm);
  DrvCopyBytes(pdmOut, lpOut, DRV_UI_DEVMODE_BYTES);
  DrvFreePtr(lpOut);
  *pcbNeeded = static_cast<LONG>(DRV_UI_DEVMODE_BYTES);
  return TRUE;
}

}  // namespace

// Called by the spooler when a record crosses between driver versions
// (client and server) or when it wants the driver's defaults. TRUE with
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
