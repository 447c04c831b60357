// DrvDevMode: the driver's device mode, an external format shared with the
// components that fill its private block. The public DEVMODEW of version
// 0x0401 is followed by 7008 private bytes; unnamed ranges are carried as
// opaque bytes. Multi-byte values are little-endian. The record holds no
// pointers, so its layout is the same on every build.
#pragma once

#include "engine/engine.h"

#define DRV_DRIVER_VERSION 0x0100
#define DRV_DRIVER_EXTRA 7008
#define DRV_PRIVATE_NAME_UNITS 292

struct DrvDevMode {
  DEVMODEW dm;
  BYTE abCarried220[520];
  WCHAR wszPrivateDeviceName[DRV_PRIVATE_NAME_UNITS];
  BYTE abCarried1324[4];
  SHORT sMinPaperLength;
  SHORT sMaxPaperLength;
  SHORT sMinPaperWidth;
  SHORT sMaxPaperWidth;
  BYTE abCarried1336[74];
  SHORT sMinCopies;
  SHORT sMaxCopies;
  BYTE abCarried1414[5812];
  BYTE byLineTerminator;
  BYTE byFormFeed;
};

static_assert(sizeof(DrvDevMode) == 7228, "DrvDevMode is 7228 bytes");
static_assert(sizeof(DrvDevMode) - sizeof(DEVMODEW) == DRV_DRIVER_EXTRA,
              "the private block follows the public part");
static_assert(offsetof(DrvDevMode, wszPrivateDeviceName) == 740, "");
static_assert(offsetof(DrvDevMode, sMinPaperLength) == 1328, "");
static_assert(offsetof(DrvDevMode, sMaxPaperLength) == 1330, "");
static_assert(offsetof(DrvDevMode, sMinPaperWidth) == 1332, "");
static_assert(offsetof(DrvDevMode, sMaxPaperWidth) == 1334, "");
static_assert(offsetof(DrvDevMode, sMinCopies) == 1410, "");
static_assert(offsetof(DrvDevMode, sMaxCopies) == 1412, "");
static_assert(offsetof(DrvDevMode, byLineTerminator) == 7226, "");
static_assert(offsetof(DrvDevMode, byFormFeed) == 7227, "");
static_assert(offsetof(DrvDevMode, dm) == 0, "");
static_assert(offsetof(DrvDevMode, abCarried220) == 220, "");
static_assert(offsetof(DrvDevMode, abCarried1324) == 1324, "");
static_assert(offsetof(DrvDevMode, abCarried1336) == 1336, "");
static_assert(offsetof(DrvDevMode, abCarried1414) == 1414, "");
static_assert(offsetof(DEVMODEW, dmSpecVersion) == 64, "");
static_assert(offsetof(DEVMODEW, dmDriverExtra) == 70, "");
static_assert(offsetof(DEVMODEW, dmPaperLength) == 80, "");
static_assert(offsetof(DEVMODEW, dmPaperWidth) == 82, "");
static_assert(offsetof(DEVMODEW, dmCopies) == 86, "");
