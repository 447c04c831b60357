// What the printer can do, as the graphics driver would describe it for the
// same record: the spooler and applications ask before they create a device.
#include "ui/ui.h"

namespace {

// One paper (the record's own size), one bin, one resolution: the record is
// the whole truth about the page, and nothing else is offered.
#define DRV_UI_PAPER_NAME_UNITS 64
#define DRV_UI_BIN_NAME_UNITS 24

// Writes a list of cItems entries of cbItem bytes when there is somewhere to
// write it, and answers the count either way.
DWORD AnswerList(VOID* pvOutput, const void* lpItems, ULONG cbItem, DWORD cItems) {
  if (pvOutput != nullptr) DrvCopyBytes(pvOutput, lpItems, cbItem * cItems);
  return cItems;
}

DWORD AnswerName(VOID* pvOutput, const WCHAR* pwszName, ULONG cchField) {
  if (pvOutput != nullptr) {
    WCHAR* pwszField = static_cast<WCHAR*>(pvOutput);
    DrvFillBytes(pwszField, 0, cchField * sizeof(WCHAR));
    DrvCopyName(pwszField, cchField, pwszName);
  }
  return 1;
}

LONG MakeLong(SHORT sLow, SHORT sHigh) {
  return static_cast<LONG>((static_cast<ULONG>(static_cast<USHORT>(sHigh)) << 16) |
                           static_cast<USHORT>(sLow));
}

DWORD Answer(const DrvDevMode& dm, WORD iDevCap, VOID* pvOutput) {
  switch (iDevCap) {
    case DC_FIELDS: return dm.dm.dmFields;
    case DC_PAPERS: {
      WORD wPaper = static_cast<WORD>(dm.dm.dmPaperSize);
      return AnswerList(pvOutput, &wPaper, sizeof wPaper, 1);
    }
    case DC_PAPERNAMES:
      return AnswerName(pvOutput, DRV_WIDE("Custom size"), DRV_UI_PAPER_NAME_UNITS);
    case DC_PAPERSIZE: {
      // Tenths of a millimetre, width first; the page is never rotated.
      POINT pt = {dm.dm.dmPaperWidth, dm.dm.dmPaperLength};
      return AnswerList(pvOutput, &pt, sizeof pt, 1);
    }
    case DC_MINEXTENT: return static_cast<DWORD>(MakeLong(dm.sMinPaperWidth, dm.sMinPaperLength));
    case DC_MAXEXTENT: return static_cast<DWORD>(MakeLong(dm.sMaxPaperWidth, dm.sMaxPaperLength));
    case DC_BINS: {
      WORD wBin = static_cast<WORD>(dm.dm.dmDefaultSource);
      return AnswerList(pvOutput, &wBin, sizeof wBin, 1);
    }
    case DC_BINNAMES: return AnswerName(pvOutput, DRV_WIDE("Tractor"), DRV_UI_BIN_NAME_UNITS);
    case DC_ENUMRESOLUTIONS: {
      // Both axes print at dmPrintQuality: dmYResolution is never used.
      LONG alDpi[2] = {dm.dm.dmPrintQuality, dm.dm.dmPrintQuality};
      return AnswerList(pvOutput, alDpi, sizeof alDpi, 1);
    }
    case DC_SIZE: return dm.dm.dmSize;
    case DC_EXTRA: return dm.dm.dmDriverExtra;
    case DC_VERSION: return dm.dm.dmSpecVersion;
    case DC_DRIVER: return dm.dm.dmDriverVersion;
    case DC_COPIES: return static_cast<DWORD>(dm.sMaxCopies > 0 ? dm.sMaxCopies : 1);
    case DC_TRUETYPE: return DCTT_BITMAP;
    // Landscape is the same page as portrait: nothing is rotated.
    case DC_ORIENTATION: return 0;
    // No duplex, collation, colour or stapling; no files beside the DLLs,
    // no page description language, no media lists.
    case DC_DUPLEX:
    case DC_COLLATE:
    case DC_COLORDEVICE:
    case DC_STAPLE:
    case DC_FILEDEPENDENCIES:
    case DC_PERSONALITY:
    case DC_MEDIATYPENAMES:
    case DC_MEDIATYPES:
      return 0;
    case DC_MEDIAREADY:
      return AnswerName(pvOutput, DRV_WIDE("Custom size"), DRV_UI_PAPER_NAME_UNITS);
    case DC_NUP: {
      DWORD dwOnePage = 1;
      return AnswerList(pvOutput, &dwOnePage, sizeof dwOnePage, 1);
    }
    default: return GDI_ERROR;
  }
}

}  // namespace

// Called by the spooler (DeviceCapabilities) with the printer's handle and
// name and an optional caller's record. Answers for the record the graphics
// driver would build from them, or without one for the print queue's
// default; lists are written only when pvOutput is given, and
// counted either way. GDI_ERROR for an index this printer does not know,
// for a record the interface does not take (ERROR_INVALID_PARAMETER) or
// when no memory is left.
DWORD APIENTRY DrvDeviceCapabilities(HANDLE hPrinter, PWSTR pDeviceName, WORD iDevCap,
                                     VOID* pvOutput, PDEVMODE pDevMode) {
  DrvDebugPrint("DrvDeviceCapabilities: hPrinter [%08lx], iDevCap [%d].", DRV_TRACE_PTR(hPrinter),
                static_cast<int>(iDevCap));
  if (!UiTakesRecord(pDevMode)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return GDI_ERROR;
  }
  DrvDevMode* lpDrvDevMode = UiNewDevMode(hPrinter, pDeviceName, pDevMode);
  if (lpDrvDevMode == nullptr) return GDI_ERROR;
  DWORD dwResult = Answer(*lpDrvDevMode, iDevCap, pvOutput);
  DrvFreePtr(lpDrvDevMode);
  return dwResult;
}
