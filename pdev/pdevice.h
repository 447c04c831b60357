// PDevice: the driver's record of one physical device, handed to the engine
// as the DHPDEV. It begins with the device's whole DrvDevMode.
#pragma once

#include "devmode/drv_devmode.h"
#include "engine/engine.h"

#define DRV_DEVICE_NAME_UNITS 390
#define DRV_PDEVICE_RESERVED_BYTES 288

struct PDevice {
  DrvDevMode DevMode;
  WCHAR wszDeviceName[DRV_DEVICE_NAME_UNITS];
  HANDLE hPrinter;
  HDEV hDev;
  HPALETTE hPalette;
  HSURF hSurface;
  DWORD dwPaperWidthPixels;
  DWORD dwPaperHeightPixels;
  DWORD dwOrientedWidthPixels;
  DWORD dwOrientedHeightPixels;
  DWORD dwBitmapWidthPixels;
  DWORD dwBitmapHeightPixels;
  DWORD dwBytesPerBitmapRow;
  DWORD dwBitmapBytes;
  BYTE* lpBitmapBits;
  BYTE abReserved[DRV_PDEVICE_RESERVED_BYTES];
  BYTE byLineTerminator;
  BYTE byFormFeed;
  BYTE abClosing[2];
};

#if defined(__i386__)
static_assert(sizeof(PDevice) == 8352, "PDevice is 8352 bytes");
static_assert(offsetof(PDevice, wszDeviceName) == 7228, "");
static_assert(offsetof(PDevice, hPrinter) == 8008, "");
static_assert(offsetof(PDevice, hDev) == 8012, "");
static_assert(offsetof(PDevice, hPalette) == 8016, "");
static_assert(offsetof(PDevice, hSurface) == 8020, "");
static_assert(offsetof(PDevice, dwPaperWidthPixels) == 8024, "");
static_assert(offsetof(PDevice, dwBitmapBytes) == 8052, "");
static_assert(offsetof(PDevice, lpBitmapBits) == 8056, "");
static_assert(offsetof(PDevice, abReserved) == 8060, "");
static_assert(offsetof(PDevice, byLineTerminator) == 8348, "");
static_assert(offsetof(PDevice, byFormFeed) == 8349, "");
#elif defined(__x86_64__)
// The device mode and the name keep their places; the four handles and the
// bitmap pointer take 8 bytes each, aligned to 8, and the record rounds up
// to 8. The engine treats the record as opaque (DHPDEV), so only the driver
// itself depends on this layout.
static_assert(sizeof(PDevice) == 8376, "PDevice is 8376 bytes on x86-64");
static_assert(offsetof(PDevice, wszDeviceName) == 7228, "");
static_assert(offsetof(PDevice, hPrinter) == 8008, "");
static_assert(offsetof(PDevice, hDev) == 8016, "");
static_assert(offsetof(PDevice, hPalette) == 8024, "");
static_assert(offsetof(PDevice, hSurface) == 8032, "");
static_assert(offsetof(PDevice, dwPaperWidthPixels) == 8040, "");
static_assert(offsetof(PDevice, dwBitmapBytes) == 8068, "");
static_assert(offsetof(PDevice, lpBitmapBits) == 8072, "");
static_assert(offsetof(PDevice, abReserved) == 8080, "");
static_assert(offsetof(PDevice, byLineTerminator) == 8368, "");
static_assert(offsetof(PDevice, byFormFeed) == 8369, "");
#endif
