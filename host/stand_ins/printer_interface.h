// The printer interface DLL's six entry points as the spooler holds them:
// pointers with the platform's argument lists and calling convention, taken
// from the linked-in code or from a loaded DLL's exports.
#pragma once

#include <functional>
#include <string>

#include "ui/printui.h"

namespace host {

struct PrinterInterface {
  LONG(APIENTRY* DrvDocumentPropertySheets)(PPROPSHEETUI_INFO, LPARAM) = nullptr;
  LONG(APIENTRY* DrvDevicePropertySheets)(PPROPSHEETUI_INFO, LPARAM) = nullptr;
  BOOL(APIENTRY* DrvConvertDevMode)(LPTSTR, PDEVMODE, PDEVMODE, PLONG, DWORD) = nullptr;
  DWORD(APIENTRY* DrvDeviceCapabilities)(HANDLE, PWSTR, WORD, VOID*, PDEVMODE) = nullptr;
  BOOL(APIENTRY* DevQueryPrintEx)(PDEVQUERYPRINT_INFO) = nullptr;
  BOOL(APIENTRY* DrvPrinterEvent)(LPWSTR, INT, DWORD, LPARAM) = nullptr;
};

// The exports looked up by name (lookup answers nullptr for a missing one);
// missing() then names the first entry point not found, or is empty.
PrinterInterface PrinterInterfaceFrom(const std::function<void*(const char*)>& lookup,
                                      std::string* missing);

}  // namespace host
