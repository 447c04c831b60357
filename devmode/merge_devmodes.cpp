#include "devmode/devmode.h"
#include "driver/driver.h"

namespace {

// One public setting the merge may take over: its dmFields bit, its offset
// (the same in the caller's DEVMODEW and in ours) and its trace lines.
struct FieldMerge {
  DWORD dwField;
  ULONG ib;
  const char* pszAnnounced;
  const char* pszNew;
  const char* pszOutOfRange;
};

constexpr FieldMerge kOrientation = {
    DM_ORIENTATION,
    offsetof(DEVMODEW, dmOrientation),
    "MergeDevModes: DM_ORIENTATION.",
    "MergeDevModes: New Orientation [%d].",
    "MergeDevModes: Orientation %d out of range; using old value.",
};
constexpr FieldMerge kPaperLength = {
    DM_PAPERLENGTH,
    offsetof(DEVMODEW, dmPaperLength),
    "MergeDevModes: DM_PAPERLENGTH.",
    "MergeDevModes: New PaperLength [%d].",
    "MergeDevModes: PaperLength %d out of range; using old value.",
};
constexpr FieldMerge kPaperWidth = {
    DM_PAPERWIDTH,
    offsetof(DEVMODEW, dmPaperWidth),
    "MergeDevModes: DM_PAPERWIDTH.",
    "MergeDevModes: New PaperWidth [%d].",
    "MergeDevModes: PaperWidth %d out of range; using old value.",
};
constexpr FieldMerge kCopies = {
    DM_COPIES,
    offsetof(DEVMODEW, dmCopies),
    "MergeDevModes: DM_COPIES.",
    "MergeDevModes: New Copies [%d].",
    "MergeDevModes: Copies %d out of range; using old value.",
};

// Older callers send a shorter public part; what dmSize leaves out is not
// there to read.
BOOL Holds(const DEVMODEW* lpSrc, ULONG ib, ULONG cj) { return ib + cj <= lpSrc->dmSize; }

BOOL Announces(const DEVMODEW* lpSrc, const FieldMerge& f) {
  return Holds(lpSrc, offsetof(DEVMODEW, dmFields), sizeof(DWORD)) &&
         (lpSrc->dmFields & f.dwField) != 0 && Holds(lpSrc, f.ib, sizeof(SHORT));
}

SHORT* Field(DEVMODEW* pdm, const FieldMerge& f) {
  return reinterpret_cast<SHORT*>(reinterpret_cast<BYTE*>(pdm) + f.ib);
}
const SHORT* Field(const DEVMODEW* pdm, const FieldMerge& f) {
  return reinterpret_cast<const SHORT*>(reinterpret_cast<const BYTE*>(pdm) + f.ib);
}

// A setting the source does not announce is neither read nor traced.
void MergeField(DEVMODEW* lpDst, const DEVMODEW* lpSrc, const FieldMerge& f, SHORT sMin,
                SHORT sMax) {
  if (!Announces(lpSrc, f)) return;
  DrvDebugPrint(f.pszAnnounced);
  int iValue = *Field(lpSrc, f);
  if (iValue < sMin || iValue > sMax) {
    DrvDebugPrint(f.pszOutOfRange, iValue);
    return;
  }
  *Field(lpDst, f) = static_cast<SHORT>(iValue);
  DrvDebugPrint(f.pszNew, iValue);
}

}  // namespace

void MergeDevModes(DrvDevMode* lpDrvDevModeDst, const DEVMODEW* lpDrvDevModeSrc) {
  DrvDebugPrint("MergeDevModes: lpDrvDevModeSrc [%08lx], lpDrvDevModeDst [%08lx].",
                DRV_TRACE_PTR(lpDrvDevModeSrc), DRV_TRACE_PTR(lpDrvDevModeDst));

  // The limits are read at each test: a source's own arrive only with its
  // private block, after its values were judged.
  DEVMODEW* lpDst = &lpDrvDevModeDst->dm;
  MergeField(lpDst, lpDrvDevModeSrc, kOrientation, DMORIENT_PORTRAIT, DMORIENT_LANDSCAPE);
  MergeField(lpDst, lpDrvDevModeSrc, kPaperLength, lpDrvDevModeDst->sMinPaperLength,
             lpDrvDevModeDst->sMaxPaperLength);
  MergeField(lpDst, lpDrvDevModeSrc, kPaperWidth, lpDrvDevModeDst->sMinPaperWidth,
             lpDrvDevModeDst->sMaxPaperWidth);
  MergeField(lpDst, lpDrvDevModeSrc, kCopies, lpDrvDevModeDst->sMinCopies,
             lpDrvDevModeDst->sMaxCopies);

  if (!IsValidDrvDevMode(lpDrvDevModeSrc)) {
    DrvDebugPrint("MergeDevModes: lpDrvDevModeSrc is an invalid DrvDevMode!");
    return;
  }
  DrvDebugPrint("MergeDevModes: Source is a valid DrvDevMode.");
  // A valid header makes the source a whole DrvDevMode.
  DrvCopyBytes(reinterpret_cast<BYTE*>(lpDrvDevModeDst) + sizeof(DEVMODEW),
               reinterpret_cast<const BYTE*>(lpDrvDevModeSrc) + sizeof(DEVMODEW), DRV_DRIVER_EXTRA);
}
