#include "host/user_mode_services.h"

#include <string>

#include "host/engine.h"

namespace {
thread_local DWORD last_error = 0;
}  // namespace

extern "C" VOID APIENTRY SetLastError(DWORD dwErrCode) { last_error = dwErrCode; }

extern "C" DWORD APIENTRY GetLastError() { return last_error; }

namespace host::usermode {

namespace {
// "Heap" in memory order.
constexpr ULONG kHeapTag = 'H' | ('e' << 8) | ('a' << 16) | (static_cast<ULONG>('p') << 24);

HANDLE TheHeap() { return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x00150000)); }

bool IsTheHeap(HANDLE hHeap, const char* service) {
  if (hHeap == TheHeap()) return true;
  Engine::Get().findings.Add(std::string(service) + ": not the process heap");
  return false;
}
}  // namespace

HANDLE APIENTRY GetProcessHeap() { return TheHeap(); }

PVOID APIENTRY HeapAlloc(HANDLE hHeap, DWORD dwFlags, ULONG_PTR dwBytes) {
  if (!IsTheHeap(hHeap, "HeapAlloc")) return nullptr;
  const ULONG flags = (dwFlags & kHeapZeroMemory) ? FL_ZERO_MEMORY : 0;
  return Engine::Get().pool.Alloc(flags, static_cast<ULONG>(dwBytes), kHeapTag);
}

BOOL APIENTRY HeapFree(HANDLE hHeap, DWORD, PVOID lpMem) {
  if (!IsTheHeap(hHeap, "HeapFree")) return FALSE;
  // Freeing NULL is allowed and does nothing.
  if (lpMem != nullptr) Engine::Get().pool.Free(lpMem);
  return TRUE;
}

VOID APIENTRY OutputDebugStringA(const char* lpOutputString) {
  Engine::Get().trace.Write(lpOutputString == nullptr ? "" : lpOutputString);
}

BOOL APIENTRY WritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  return Engine::Get().spooler.Write(hPrinter, pBuf, cbBuf, pcWritten);
}

}  // namespace host::usermode
