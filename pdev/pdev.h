// Filling the physical device and the engine's capability records. Each is
// assembled in the device's own memory or on the stack and copied out
// clamped to the caller's size, so creations on several threads never meet.
#pragma once

#include "pdev/pdevice.h"

BOOL InitPDevice(const DrvDevMode* lpDrvDevMode, PDevice* lpPDevice, ULONG cjPDevice);
BOOL InitGDIInfo(PDevice* lpPDevice, GDIINFO* lpGdiInfo, ULONG cjGdiInfo);
BOOL InitDevInfo(PDevice* lpPDevice, DEVINFO* lpDevInfo, ULONG cjDevInfo);
