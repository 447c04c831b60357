// The engine service that GDI does not offer a user-mode graphics DLL and
// that only it needs: the spooler write, from the spooler's WritePrinter.
// Memory and the trace come from the backend both user-mode DLLs share
// (windows/common/user_mode_services.cpp).
#include <windows.h>
#include <winspool.h>
#include <winddi.h>

// Called by the core for every spooler write, with the printer handle the
// engine passed to DrvEnablePDEV; in user mode that handle is the spooler's
// own, which WritePrinter takes. FALSE when the spooler refuses the write.
BOOL APIENTRY EngWritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  return WritePrinter(hPrinter, pBuf, cbBuf, pcWritten);
}
