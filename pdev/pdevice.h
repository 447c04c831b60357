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
#endif
