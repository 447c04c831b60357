// The record every entry point works from is the one the graphics driver
// builds at device creation, by the same code, from the caller's record or
// the print queue's default.
#include "ui/ui.h"

namespace {

// The spooler's answer at one level, in a block of DrvAllocPtr; NULL when
// it has none or there is no memory for it.
BYTE* AskSpooler(HANDLE hPrinter, DWORD dwLevel, DWORD* pcbAnswer) {
  DWORD cbNeeded = 0;
  if (GetPrinterW(hPrinter, dwLevel, nullptr, 0, &cbNeeded) || cbNeeded == 0) return nullptr;
  BYTE* lpAnswer = static_cast<BYTE*>(DrvAllocPtr(cbNeeded));
  if (lpAnswer == nullptr) return nullptr;
  if (!GetPrinterW(hPrinter, dwLevel, lpAnswer, cbNeeded, pcbAnswer)) {
    DrvFreePtr(lpAnswer);
    return nullptr;
  }
  *pcbAnswer = cbNeeded;
  return lpAnswer;
}

// A record the spooler placed in its answer, taken only when the whole of
// it, as its header claims, lies inside the answer.
const DEVMODEW* RecordIn(const BYTE* lpAnswer, DWORD cbAnswer, const DEVMODEW* pdm) {
  const BYTE* lpRecord = reinterpret_cast<const BYTE*>(pdm);
  if (pdm == nullptr || lpRecord < lpAnswer || lpRecord > lpAnswer + cbAnswer) return nullptr;
  DWORD cbLeft = static_cast<DWORD>(lpAnswer + cbAnswer - lpRecord);
  if (cbLeft < offsetof(DEVMODEW, dmFields) || !UiTakesRecord(pdm)) return nullptr;
  return static_cast<DWORD>(pdm->dmSize) + pdm->dmDriverExtra <= cbLeft ? pdm : nullptr;
}

const DEVMODEW* RecordAt(const BYTE* lpAnswer, DWORD cbAnswer, DWORD dwLevel) {
  if (dwLevel == 9 && cbAnswer >= sizeof(PRINTER_INFO_9W)) {
    return RecordIn(lpAnswer, cbAnswer, reinterpret_cast<const PRINTER_INFO_9W*>(lpAnswer)->pDevMode);
  }
  if (dwLevel == 2 && cbAnswer >= sizeof(PRINTER_INFO_2W)) {
    return RecordIn(lpAnswer, cbAnswer, reinterpret_cast<const PRINTER_INFO_2W*>(lpAnswer)->pDevMode);
  }
  return nullptr;
}

// The user's own default (level 9) takes precedence over the printer's
// (level 2), as for the spooler's own DocumentProperties.
constexpr DWORD kQueueLevels[] = {9, 2};

BOOL MergeQueueDefault(HANDLE hPrinter, DrvDevMode* lpDrvDevMode) {
  for (DWORD dwLevel : kQueueLevels) {
    DWORD cbAnswer = 0;
    BYTE* lpAnswer = AskSpooler(hPrinter, dwLevel, &cbAnswer);
    if (lpAnswer == nullptr) continue;
    const DEVMODEW* pdmQueue = RecordAt(lpAnswer, cbAnswer, dwLevel);
    if (pdmQueue != nullptr) MergeDevModes(lpDrvDevMode, pdmQueue);
    DrvFreePtr(lpAnswer);
    if (pdmQueue != nullptr) return TRUE;
  }
  return FALSE;
}

}  // namespace

DrvDevMode* UiNewDevMode(HANDLE hPrinter, const WCHAR* pwszPrinterName,
                         const DEVMODEW* pdmCaller) {
  DrvDevMode* lpDrvDevMode = static_cast<DrvDevMode*>(DrvAllocPtr(DRV_UI_DEVMODE_BYTES));
  if (lpDrvDevMode == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  UiBuildDevMode(hPrinter, pwszPrinterName, pdmCaller, lpDrvDevMode);
  return lpDrvDevMode;
}

void UiBuildDevMode(HANDLE hPrinter, const WCHAR* pwszPrinterName, const DEVMODEW* pdmCaller,
                    DrvDevMode* lpDrvDevMode) {
  GetDefaultDrvDevMode(pwszPrinterName, lpDrvDevMode);
  // The merge reads no field a short public part does not hold.
  if (pdmCaller != nullptr) {
    MergeDevModes(lpDrvDevMode, pdmCaller);
  } else if (hPrinter != nullptr) {
    MergeQueueDefault(hPrinter, lpDrvDevMode);
  }
}
