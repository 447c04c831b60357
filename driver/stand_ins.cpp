// Table entries whose functions are not built yet: each traces and fails.
#include "driver/driver.h"
#include "driver/functions.h"

DHPDEV APIENTRY DrvEnablePDEV(DEVMODEW*, LPWSTR, ULONG, HSURF*, ULONG, ULONG*, ULONG,
                              DEVINFO*, HDEV, LPWSTR, HANDLE) {
  DrvDebugPrint("DrvEnablePDEV: not built yet!");
  return nullptr;
}
VOID APIENTRY DrvCompletePDEV(DHPDEV, HDEV) { DrvDebugPrint("DrvCompletePDEV: not built yet!"); }
BOOL APIENTRY DrvResetPDEV(DHPDEV, DHPDEV) {
  DrvDebugPrint("DrvResetPDEV: not built yet!");
  return FALSE;
}
VOID APIENTRY DrvDisablePDEV(DHPDEV) { DrvDebugPrint("DrvDisablePDEV: not built yet!"); }
HSURF APIENTRY DrvEnableSurface(DHPDEV) {
  DrvDebugPrint("DrvEnableSurface: not built yet!");
  return nullptr;
}
VOID APIENTRY DrvDisableSurface(DHPDEV) { DrvDebugPrint("DrvDisableSurface: not built yet!"); }
BOOL APIENTRY DrvStartDoc(SURFOBJ*, LPWSTR, DWORD) {
  DrvDebugPrint("DrvStartDoc: not built yet!");
  return FALSE;
}
BOOL APIENTRY DrvEndDoc(SURFOBJ*, FLONG) {
  DrvDebugPrint("DrvEndDoc: not built yet!");
  return FALSE;
}
BOOL APIENTRY DrvStartPage(SURFOBJ*) {
  DrvDebugPrint("DrvStartPage: not built yet!");
  return FALSE;
}
BOOL APIENTRY DrvSendPage(SURFOBJ*) {
  DrvDebugPrint("DrvSendPage: not built yet!");
  return FALSE;
}
BOOL APIENTRY DrvTextOut(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*,
                         BRUSHOBJ*, POINTL*, MIX) {
  DrvDebugPrint("DrvTextOut: not built yet!");
  return FALSE;
}
