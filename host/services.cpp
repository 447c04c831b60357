// The engine services, as the driver links to them.
#include "engine/engine.h"
#include "host/engine.h"
#include "host/text_object.h"

using host::Engine;

namespace {
// A function in the platform's convention keeps ten vector registers that
// this build's functions may change, so each of its calls into this build's
// code saves and restores them all. The driver traces twelve times a line,
// nearly always with no sink: on that path the trace service calls only
// functions in its own convention, and the registers stay where they are.
[[gnu::noinline]] host::Trace& APIENTRY EngineTrace() { return Engine::Get().trace; }

// The message arguments first, in the registers the service got them in,
// so that the service's call here moves nothing.
[[gnu::noinline]] void APIENTRY FormatTrace(PCHAR prefix, PCHAR message, va_list ap,
                                            host::JobState* job) {
  host::Trace& trace = job != nullptr ? job->trace : EngineTrace();
  if (trace.sink() != host::Trace::Sink::kNone) trace.Print(prefix, message, ap);
}

// What follows the leading ASCII the service converts itself, calling
// nothing: the rest of a line beyond ASCII, or a whole line in a code page
// not yet looked at.
[[gnu::noinline]] ULONG APIENTRY ConvertText(PCHAR out, ULONG max, PWSTR in, ULONG units) {
  return Engine::Get().ThreadCodePage().Convert(out, max, reinterpret_cast<const char16_t*>(in),
                                                units);
}
}  // namespace

extern "C" {

PVOID APIENTRY EngAllocMem(ULONG Flags, ULONG MemSize, ULONG Tag) {
  return Engine::Get().Alloc(Flags, MemSize, Tag);
}

VOID APIENTRY EngFreeMem(PVOID Mem) { Engine::Get().Free(Mem); }

BOOL APIENTRY EngWritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  return Engine::Get().Write(hPrinter, pBuf, cbBuf, pcWritten);
}

HBITMAP APIENTRY EngCreateBitmap(SIZEL sizl, LONG lWidth, ULONG iFormat, FLONG fl, PVOID pvBits) {
  return Engine::Get().CreateBitmap(sizl, lWidth, iFormat, fl, pvBits);
}

BOOL APIENTRY EngAssociateSurface(HSURF hsurf, HDEV hdev, FLONG flHooks) {
  return Engine::Get().Associate(hsurf, hdev, flHooks);
}

BOOL APIENTRY EngDeleteSurface(HSURF hsurf) { return Engine::Get().DeleteSurface(hsurf); }

HPALETTE APIENTRY EngCreatePalette(ULONG iMode, ULONG cColors, ULONG* pulColors, FLONG flRed,
                                   FLONG flGreen, FLONG flBlue) {
  return Engine::Get().CreatePalette(iMode, cColors, pulColors, flRed, flGreen, flBlue);
}

BOOL APIENTRY EngDeletePalette(HPALETTE hpal) { return Engine::Get().DeletePalette(hpal); }

VOID APIENTRY EngUnicodeToMultiByteN(PCHAR MultiByteString, ULONG MaxBytesInMultiByteString,
                                     PULONG BytesInMultiByteString, PWSTR UnicodeString,
                                     ULONG BytesInUnicodeString) {
  host::JobState* job = host::OpenJob();
  const ULONG units = BytesInUnicodeString / 2;
  const ULONG copied =
      job != nullptr ? job->code_page.ConvertLeadingAscii(
                           MultiByteString, MaxBytesInMultiByteString,
                           reinterpret_cast<const char16_t*>(UnicodeString), units)
                     : 0;
  ULONG produced = copied;
  if (copied != units && copied != MaxBytesInMultiByteString) {
    produced += ConvertText(MultiByteString + copied, MaxBytesInMultiByteString - copied,
                            UnicodeString + copied, units - copied);
  }
  if (BytesInMultiByteString != nullptr) *BytesInMultiByteString = produced;
}

VOID APIENTRY STROBJ_vEnumStart(STROBJ* pstro) {
  host::TextObject* text = host::TextObject::Find(pstro);
  if (text == nullptr) {
    Engine::Get().ThreadFindings().Add("STROBJ_vEnumStart: not a text object of the engine");
    return;
  }
  text->EnumStart();
}

BOOL APIENTRY STROBJ_bEnum(STROBJ* pstro, ULONG* pc, PGLYPHPOS* ppgpos) {
  host::TextObject* text = host::TextObject::Find(pstro);
  if (text == nullptr) {
    Engine::Get().ThreadFindings().Add("STROBJ_bEnum: not a text object of the engine");
    *pc = 0;
    return FALSE;
  }
  return text->Enum(pc, ppgpos);
}

VOID APIENTRY EngDebugPrint(PCHAR StandardPrefix, PCHAR DebugMessage, va_list ap) {
  host::JobState* job = host::OpenJob();
  // A job that keeps no trace, the usual case, returns at once.
  if (job != nullptr && job->trace.sink() == host::Trace::Sink::kNone) return;
  FormatTrace(StandardPrefix, DebugMessage, ap, job);
}

}  // extern "C"
