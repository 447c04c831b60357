// The record every entry point works from is the one the graphics driver
// builds at device creation, by the same code.
#include "ui/ui.h"

DrvDevMode* UiNewDevMode(const WCHAR* pwszPrinterName, const DEVMODEW* pdmCaller) {
  DrvDevMode* lpDrvDevMode = static_cast<DrvDevMode*>(DrvAllocPtr(DRV_UI_DEVMODE_BYTES));
  if (lpDrvDevMode == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  UiBuildDevMode(pwszPrinterName, pdmCaller, lpDrvDevMode);
  return lpDrvDevMode;
}

void UiBuildDevMode(const WCHAR* pwszPrinterName, const DEVMODEW* pdmCaller,
                    DrvDevMode* lpDrvDevMode) {
  GetDefaultDrvDevMode(pwszPrinterName, lpDrvDevMode);
  // The merge reads no field a short public part does not hold.
  if (pdmCaller != nullptr) MergeDevModes(lpDrvDevMode, pdmCaller);
}
