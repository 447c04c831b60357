// Filling the physical device and the engine's capability records. Each is
// assembled in module storage and copied out clamped to the caller's size,
// so device creation must not run twice at the same time.
#pragma once

#include "pdev/pdevice.h"

BOOL InitPDevice(const DrvDevMode* lpDrvDevMode, PDevice* lpPDevice, ULONG cjPDevice);
BOOL InitGDIInfo(PDevice* lpPDevice, GDIINFO* lpGdiInfo, ULONG cjGdiInfo);
BOOL InitDevInfo(PDevice* lpPDevice, DEVINFO* lpDevInfo, ULONG cjDevInfo);
