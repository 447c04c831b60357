// Building, checking and merging the driver's device mode.
#pragma once

#include "devmode/drv_devmode.h"

// Writes the driver's defaults for the device name into the record without
// clearing it first: bytes the defaults do not cover keep their value, and so
// do the units after each copied name's NUL. The name goes into dmDeviceName
// cut to 31 units and into wszPrivateDeviceName cut to 291, each with its
// NUL; nothing is written past either field. A NULL name is the empty name.
// Traces the name as 8-bit text, units above 0xFF as '?'.
void GetDefaultDrvDevMode(const WCHAR* pwszDeviceName, DrvDevMode* lpDrvDevMode);

// TRUE when the record's header makes it this driver's own (version 0x0401,
// driver version 0x0100, 220 public bytes, 7008 private bytes). Reads only
// the header, offsets 64 to 71, and traces all four checks; NULL is FALSE.
BOOL IsValidDrvDevMode(const DEVMODEW* lpDrvDevMode);

// Takes over the caller's announced orientation, paper length and width and
// copies where they lie within the destination's limits, and the whole
// private block when the caller's record is this driver's own. The source
// must not be NULL and must hold at least its 72-byte header.
//
// Older callers send a shorter public part. A field the source's dmSize does
// not cover (offset + width > dmSize) is not there: it is treated as if its
// dmFields bit were clear, neither read nor traced, and a source too short to
// hold dmFields takes over no public field. The private block is read only
// from a source whose header is valid, which makes it 7228 bytes long.
void MergeDevModes(DrvDevMode* lpDrvDevModeDst, const DEVMODEW* lpDrvDevModeSrc);
