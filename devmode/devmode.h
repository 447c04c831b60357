// Building, checking and merging the driver's device mode.
#pragma once

#include "devmode/drv_devmode.h"

// Writes the driver's defaults for the device name into the record without
// clearing it first: bytes the defaults do not cover keep their value.
void GetDefaultDrvDevMode(const WCHAR* pwszDeviceName, DrvDevMode* lpDrvDevMode);

// TRUE when the record's header makes it this driver's own (version 0x0401,
// driver version 0x0100, 220 public bytes, 7008 private bytes). Reads only
// the header; NULL is FALSE.
BOOL IsValidDrvDevMode(const DEVMODEW* lpDrvDevMode);

// Takes over the caller's announced orientation, paper length and width and
// copies where they lie within the destination's limits, and the whole
// private block when the caller's record is this driver's own. The source
// must not be NULL.
void MergeDevModes(DrvDevMode* lpDrvDevModeDst, const DEVMODEW* lpDrvDevModeSrc);
