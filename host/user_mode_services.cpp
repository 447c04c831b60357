#include "host/user_mode_services.h"

#include <algorithm>
#include <cstring>

#include <string>

#include "host/engine.h"

namespace {
thread_local DWORD last_error = 0;
}  // namespace

extern "C" VOID APIENTRY SetLastError(DWORD dwErrCode) { last_error = dwErrCode; }

extern "C" DWORD APIENTRY GetLastError() { return last_error; }

namespace {

// The record goes after the level's PRINTER_INFO, aligned as a record is.
template <typename Info>
BOOL AnswerLevel(const std::vector<uint8_t>* record, LPBYTE pPrinter, DWORD cbBuf,
                 LPDWORD pcbNeeded) {
  const size_t at = (sizeof(Info) + 7) & ~size_t{7};
  const DWORD needed = static_cast<DWORD>(record ? at + record->size() : sizeof(Info));
  *pcbNeeded = needed;
  if (pPrinter == nullptr || cbBuf < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  Info info{};
  if (record) {
    std::copy(record->begin(), record->end(), pPrinter + at);
    info.pDevMode = reinterpret_cast<PDEVMODE>(pPrinter + at);
  }
  std::memcpy(pPrinter, &info, sizeof info);
  return TRUE;
}

}  // namespace

extern "C" BOOL APIENTRY GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter,
                                     DWORD cbBuf, LPDWORD pcbNeeded) {
  std::vector<uint8_t> record;
  if (!host::Engine::Get().spooler.DefaultRecord(hPrinter, Level, &record)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const std::vector<uint8_t>* found = record.empty() ? nullptr : &record;
  if (Level == 2) return AnswerLevel<PRINTER_INFO_2W>(found, pPrinter, cbBuf, pcbNeeded);
  if (Level == 9) return AnswerLevel<PRINTER_INFO_9W>(found, pPrinter, cbBuf, pcbNeeded);
  SetLastError(ERROR_INVALID_LEVEL);
  return FALSE;
}

namespace host::usermode {

namespace {
// "Heap" in memory order.
constexpr ULONG kHeapTag = 'H' | ('e' << 8) | ('a' << 16) | (static_cast<ULONG>('p') << 24);

HANDLE TheHeap() { return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x00150000)); }

bool IsTheHeap(HANDLE hHeap, const char* service) {
  if (hHeap == TheHeap()) return true;
  Engine::Get().ThreadFindings().Add(std::string(service) + ": not the process heap");
  return false;
}
}  // namespace

HANDLE APIENTRY GetProcessHeap() { return TheHeap(); }

PVOID APIENTRY HeapAlloc(HANDLE hHeap, DWORD dwFlags, ULONG_PTR dwBytes) {
  if (!IsTheHeap(hHeap, "HeapAlloc")) return nullptr;
  const ULONG flags = (dwFlags & kHeapZeroMemory) ? FL_ZERO_MEMORY : 0;
  return Engine::Get().Alloc(flags, static_cast<ULONG>(dwBytes), kHeapTag);
}

BOOL APIENTRY HeapFree(HANDLE hHeap, DWORD, PVOID lpMem) {
  if (!IsTheHeap(hHeap, "HeapFree")) return FALSE;
  // Freeing NULL is allowed and does nothing.
  if (lpMem != nullptr) Engine::Get().Free(lpMem);
  return TRUE;
}

VOID APIENTRY OutputDebugStringA(const char* lpOutputString) {
  Engine::Get().ThreadTrace().Write(lpOutputString == nullptr ? "" : lpOutputString);
}

BOOL APIENTRY WritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  return Engine::Get().Write(hPrinter, pBuf, cbBuf, pcWritten);
}

}  // namespace host::usermode
