#include "devmode/devmode.h"
#include "driver/driver.h"

namespace {

// One private default: cj bytes at ib, the value little-endian, zero beyond
// its fourth byte. Ranges not listed are the other components' to fill.
struct PrivateDefault {
  USHORT ib;
  USHORT cj;
  ULONG ulValue;
};

constexpr PrivateDefault kPrivateDefaults[] = {
    {1324, 2, 203},
    {1326, 2, 1},
    {offsetof(DrvDevMode, sMinPaperLength), 2, 3},
    {offsetof(DrvDevMode, sMaxPaperLength), 2, 9999},
    {offsetof(DrvDevMode, sMinPaperWidth), 2, 1},
    {offsetof(DrvDevMode, sMaxPaperWidth), 2, 2032},
    {1336, 2, 0},
    {1338, 2, 30},
    {1340, 2, 15},
    {1342, 2, 254},
    {1344, 2, 2540},
    {1346, 2, 2540},
    {1348, 2, 254},
    {1350, 2, 2540},
    {1352, 2, 2540},
    {1354, 2, 254},
    {1356, 2, 2540},
    {1358, 2, 2540},
    {1360, 2, 0},
    {1362, 2, 9999},
    {1364, 2, 0},
    {1366, 2, 0},
    {1368, 2, 9999},
    {1370, 2, 0},
    {1372, 4, 0},
    {1376, 4, 0},
    {1380, 4, 0},
    {1384, 4, 0},
    {1388, 2, 0xFDD1},  // -559
    {1390, 2, 440},
    {1392, 2, 0},
    {1400, 4, 0},
    {1404, 2, 0xFDD1},  // -559
    {1406, 2, 9440},
    {1408, 2, 0},
    {offsetof(DrvDevMode, sMinCopies), 2, 1},
    {offsetof(DrvDevMode, sMaxCopies), 2, 1000},
    {1420, 4, 0},
    {1424, 4, 0},
    {1428, 4, 0},
    {1436, 4, 0},
    {1440, 4, 0},
    {1444, 4, 0},
    {1448, 4, 0},
    {1452, 4, 0},
    {1456, 2, 0},
    {1458, 2, 1},
    {1460, 4, 0},
    {1464, 2, 8},
    {1466, 2, 2},
    {1468, 4, 0},
    {1472, 4, 0},
    {1476, 4, 0},
    {1480, 4, 0},
    {1484, 4, 0},
    {1488, 4, 0},
    {6856, 21, 0},
    {6880, 2, 0},
    {6882, 2, 0},
    {6884, 4, 0},
    {6888, 4, 0},
    {6892, 4, 0},
    {6896, 4, 0},
    {6900, 4, 0},
    {6904, 2, 80},
    // The four text fields are made empty: only their first byte is set.
    {6906, 1, 0},
    {6970, 1, 0},
    {7034, 1, 0},
    {7098, 1, 0},
    {offsetof(DrvDevMode, byLineTerminator), 1, 0},
    {offsetof(DrvDevMode, byFormFeed), 1, 0},
};

// The table stays inside the private block, in order, without overlaps and
// clear of the private name, so that a slip in an offset cannot land on
// bytes the defaults must leave alone.
constexpr bool PrivateDefaultsAreOrdered() {
  ULONG ibFree =
      offsetof(DrvDevMode, wszPrivateDeviceName) + sizeof(WCHAR) * DRV_PRIVATE_NAME_UNITS;
  for (const PrivateDefault& d : kPrivateDefaults) {
    if (d.cj == 0 || d.ib < ibFree) return false;
    if (d.cj > sizeof(ULONG) && d.ulValue != 0) return false;
    ibFree = d.ib + d.cj;
  }
  return ibFree <= sizeof(DrvDevMode);
}
static_assert(PrivateDefaultsAreOrdered(), "private defaults out of order or out of the record");

constexpr DWORD kDefaultFields =
    DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_COPIES | DM_PRINTQUALITY;
static_assert(kDefaultFields == 0x50F, "");

// Offsets 64 to 99. DM_SCALE, DM_DEFAULTSOURCE, DM_COLOR, DM_DUPLEX,
// DM_YRESOLUTION and DM_TTOPTION stay clear although their fields are set.
void WritePublicDefaults(DEVMODEW* pdm) {
  pdm->dmSpecVersion = DM_SPECVERSION;
  pdm->dmDriverVersion = DRV_DRIVER_VERSION;
  pdm->dmSize = sizeof(DEVMODEW);
  pdm->dmDriverExtra = DRV_DRIVER_EXTRA;
  pdm->dmFields = kDefaultFields;
  pdm->dmOrientation = DMORIENT_PORTRAIT;
  pdm->dmPaperSize = DMPAPER_USER;
  pdm->dmPaperLength = 2794;
  pdm->dmPaperWidth = 3779;
  pdm->dmScale = 100;
  pdm->dmCopies = 1;
  pdm->dmDefaultSource = DMBIN_TRACTOR;
  pdm->dmPrintQuality = 203;
  pdm->dmColor = DMCOLOR_MONOCHROME;
  pdm->dmDuplex = DMDUP_SIMPLEX;
  pdm->dmYResolution = 203;
  pdm->dmTTOption = DMTT_BITMAP;
}

void WritePrivateDefaults(DrvDevMode* lpDrvDevMode) {
  BYTE* pbRecord = reinterpret_cast<BYTE*>(lpDrvDevMode);
  for (const PrivateDefault& d : kPrivateDefaults) {
    for (ULONG i = 0; i < d.cj; ++i) {
      pbRecord[d.ib + i] = i < sizeof(ULONG) ? static_cast<BYTE>(d.ulValue >> (8 * i)) : 0;
    }
  }
}

}  // namespace

void GetDefaultDrvDevMode(const WCHAR* pwszDeviceName, DrvDevMode* lpDrvDevMode) {
  // As long as the longest name the record keeps.
  char szName[DRV_PRIVATE_NAME_UNITS];
  DrvNarrowName(szName, sizeof szName, pwszDeviceName);
  DrvDebugPrint("GetDefaultDrvDevMode: Device Name [%s]", szName);

  DrvCopyName(lpDrvDevMode->dm.dmDeviceName, CCHDEVICENAME, pwszDeviceName);
  WritePublicDefaults(&lpDrvDevMode->dm);
  DrvCopyName(lpDrvDevMode->wszPrivateDeviceName, DRV_PRIVATE_NAME_UNITS, pwszDeviceName);
  WritePrivateDefaults(lpDrvDevMode);
}
