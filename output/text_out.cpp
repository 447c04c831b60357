#include "driver/driver.h"
#include "driver/functions.h"
#include "pdev/pdevice.h"

// Glyph indices sit 29 below the character codes the printer expects.
#define DRV_GLYPH_INDEX_OFFSET 29

// The largest count whose bytes and terminator still fit a signed count.
#define DRV_MAX_CHARACTERS ((ULONG)0x7FFFFFFD)

// The largest count whose buffer still fits when a corrected copy of the
// engine's string shares the block: 2 bytes per unit, 1 per byte, 2 spare.
#define DRV_MAX_CHARACTERS_WITH_COPY ((ULONG)((0xFFFFFFFFu - 2) / 3))

// An engine that keeps answering TRUE must not hold the call for ever; a
// sound one needs no more calls than glyphs, and this many spare.
#define DRV_SPARE_ENUM_CALLS ((ULONG)64)

struct LineTerminator {
  ULONG cj;
  BYTE ab[2];
};

// Indexed by the device's line terminator mode; any other mode adds nothing.
static const LineTerminator gaLineTerminators[] = {
    {0, {0, 0}},
    {2, {0x0D, 0x0A}},  // CR LF
    {1, {0x0D, 0}},     // CR
    {1, {0x0A, 0}},     // LF
};

#define DRV_LINE_TERMINATOR_MODES ((BYTE)(sizeof(gaLineTerminators) / sizeof(gaLineTerminators[0])))

static BOOL IsGlyphIndexText(const STROBJ* pstro) {
  return (pstro->flAccel & SO_GLYPHINDEX_TEXTOUT) != 0;
}

// Glyph indices are corrected on a private copy, so the engine's string
// stays as the engine made it and the same STROBJ always sends the same
// bytes. The copy shares the text's block.
static ULONG CopyBytesFor(const STROBJ* pstro) {
  if (pstro->pwszOrg == nullptr || !IsGlyphIndexText(pstro)) return 0;
  return pstro->cGlyphs * (ULONG)sizeof(WCHAR);
}

// The engine's string in the ANSI code page, cut at cGlyphs bytes; returns
// the bytes produced. lpwszCopy has room for cGlyphs units when the text is
// glyph indices.
static ULONG GatherFromString(STROBJ* pstro, BYTE* lpString, WCHAR* lpwszCopy) {
  DrvDebugPrint("DrvTextOut: Original string has been provided.");
  const ULONG cGlyphs = pstro->cGlyphs;
  WCHAR* pwsz = pstro->pwszOrg;
  if (IsGlyphIndexText(pstro)) {
    for (ULONG i = 0; i < cGlyphs; ++i) {
      lpwszCopy[i] = (WCHAR)(pwsz[i] + DRV_GLYPH_INDEX_OFFSET);
    }
    pwsz = lpwszCopy;
  }
  ULONG cjProduced = 0;
  EngUnicodeToMultiByteN(reinterpret_cast<PCHAR>(lpString), cGlyphs, &cjProduced, pwsz,
                         cGlyphs * (ULONG)sizeof(WCHAR));
  return cjProduced < cGlyphs ? cjProduced : cGlyphs;
}

// Only the lowest byte of a glyph handle reaches the printer.
static void TakeGlyphs(BYTE* lpDst, const GLYPHPOS* pgp, ULONG c, BYTE byOffset) {
  for (ULONG i = 0; i < c; ++i) lpDst[i] = (BYTE)(pgp[i].hg + byOffset);
}

static BYTE OffsetFor(const STROBJ* pstro) {
  return IsGlyphIndexText(pstro) ? (BYTE)DRV_GLYPH_INDEX_OFFSET : (BYTE)0;
}

static ULONG GatherFromGlyphPos(const STROBJ* pstro, BYTE* lpString) {
  DrvDebugPrint("DrvTextOut: GLYPHPOS's have been provided.");
  TakeGlyphs(lpString, pstro->pgp, pstro->cGlyphs, OffsetFor(pstro));
  return pstro->cGlyphs;
}

// Runs the enumeration to its end, keeping at most cGlyphs bytes: only
// what the engine delivered is sent. FALSE when the engine reports an error
// or never ends; nothing may be sent then.
static BOOL GatherByEnumeration(STROBJ* pstro, BYTE* lpString, ULONG* pcjTaken) {
  DrvDebugPrint("DrvTextOut: GLYPHPOS's must be enumerated.");
  const ULONG cGlyphs = pstro->cGlyphs;
  const BYTE byOffset = OffsetFor(pstro);
  ULONG cjTaken = 0;
  STROBJ_vEnumStart(pstro);
  for (ULONG cCalls = 0; cCalls < cGlyphs + DRV_SPARE_ENUM_CALLS; ++cCalls) {
    ULONG c = 0;
    GLYPHPOS* pgp = nullptr;
    const BOOL bMore = STROBJ_bEnum(pstro, &c, &pgp);
    if (bMore == (BOOL)DDI_ERROR) {
      DrvDebugPrint("DrvTextOut: STROBJ_bEnum failed!");
      return FALSE;
    }
    if (c > cGlyphs - cjTaken) c = cGlyphs - cjTaken;
    if (c > 0) TakeGlyphs(lpString + cjTaken, pgp, c, byOffset);
    cjTaken += c;
    if (bMore == FALSE) {
      *pcjTaken = cjTaken;
      return TRUE;
    }
  }
  DrvDebugPrint("DrvTextOut: STROBJ_bEnum does not end!");
  return FALSE;
}

// The string's own UTF-16 text wins over the glyphs; glyphs the engine
// did not lay out are enumerated.
static BOOL GatherText(STROBJ* pstro, BYTE* lpString, WCHAR* lpwszCopy, ULONG* pcjText) {
  if (pstro->pwszOrg != nullptr) {
    *pcjText = GatherFromString(pstro, lpString, lpwszCopy);
    return TRUE;
  }
  if (pstro->pgp != nullptr) {
    *pcjText = GatherFromGlyphPos(pstro, lpString);
    return TRUE;
  }
  return GatherByEnumeration(pstro, lpString, pcjText);
}

// The terminator goes straight behind the text, into the two spare bytes.
static ULONG AppendLineTerminator(BYTE* lpString, ULONG cjText, BYTE byMode) {
  if (byMode >= DRV_LINE_TERMINATOR_MODES) return cjText;
  const LineTerminator* lpTerminator = &gaLineTerminators[byMode];
  DrvCopyBytes(lpString + cjText, lpTerminator->ab, lpTerminator->cj);
  return cjText + lpTerminator->cj;
}

static BOOL SendText(PDevice* lpPDevice, STROBJ* pstro) {
  const ULONG cGlyphs = pstro->cGlyphs;
  if (cGlyphs == 0) {
    DrvDebugPrint("DrvTextOut: There are no characters!");
    return TRUE;
  }
  DrvDebugPrint("DrvTextOut: lNumCharacters [%ld].", (LONG)cGlyphs);
  if (cGlyphs > DRV_MAX_CHARACTERS) {
    DrvDebugPrint("DrvTextOut: [%ld] characters cannot be buffered!", (LONG)cGlyphs);
    return FALSE;
  }
  const ULONG cjCopy = CopyBytesFor(pstro);
  BYTE* lpBlock = nullptr;
  if (cjCopy == 0 || cGlyphs <= DRV_MAX_CHARACTERS_WITH_COPY) {
    lpBlock = static_cast<BYTE*>(DrvAllocPtr(cjCopy + cGlyphs + 2));
  }
  if (lpBlock == nullptr) {
    DrvDebugPrint("DrvTextOut: Failed to allocate [%ld] bytes!", (LONG)cGlyphs);
    return FALSE;
  }
  DrvDebugPrint("DrvTextOut: Allocated [%ld] bytes for the string.", (LONG)cGlyphs);
  // The copy comes first, at the block's WCHAR-aligned start.
  BYTE* lpString = lpBlock + cjCopy;
  ULONG cjText = 0;
  if (!GatherText(pstro, lpString, reinterpret_cast<WCHAR*>(lpBlock), &cjText)) {
    DrvFreePtr(lpBlock);
    return FALSE;
  }
  const ULONG cj = AppendLineTerminator(lpString, cjText, lpPDevice->byLineTerminator);
  // The precision keeps the trace inside the bytes about to be written.
  DrvDebugPrint("DrvTextOut: lpString [%.*s].", (int)cj, reinterpret_cast<const char*>(lpString));
  const BOOL bResult = DrvWriteSpool(lpPDevice, lpString, cj);
  DrvFreePtr(lpBlock);
  return bResult;
}

// Called by the engine for every string drawn on the device's surface, the
// one hooked drawing call. Sends the string's bytes and the device's line
// terminator in one spooler write; nothing is drawn. TRUE for an empty
// string; FALSE when the count cannot be buffered, the buffer cannot be
// allocated, the enumeration fails or the write fails. The text buffer is
// freed before returning; the engine's records are only read.
BOOL APIENTRY DrvTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*,
                         BRUSHOBJ*, BRUSHOBJ*, POINTL*, MIX) {
  PDevice* lpPDevice = reinterpret_cast<PDevice*>(pso->dhpdev);
  DrvDebugPrint("DrvTextOut:");
  const BOOL bResult = SendText(lpPDevice, pstro);
  DrvDebugPrint("DrvTextOut: Returning [%d]", bResult);
  return bResult;
}
