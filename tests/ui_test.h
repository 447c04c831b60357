// What the printer interface tests share: the interface under test, the
// spooler's headers, records placed exactly as long as they claim, and the
// graphics driver's own view of a record for comparison.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "devmode/devmode.h"
#include "host/checker/guarded_buffer.h"
#include "host/stand_ins/printer_interface.h"
#include "host/stand_ins/property_sheet.h"
#include "tests/engine_test.h"

// The printer interface under test: the linked-in code, or the exports of
// the DLL named by TEXTRELAY_UI_DLL, loaded once for the whole run.
const host::PrinterInterface& TestPrinterInterface();

using Bytes = std::vector<uint8_t>;

class UiTest : public EngineTest {
 protected:
  // The record the graphics driver builds for a device created from devmode
  // (or none) under name: the first 7228 bytes of its PDevice.
  Bytes DriverRecord(const DEVMODEW* devmode, const std::u16string& name = u"TextRelay");
  // The interface's defaults for name, through a copy request.
  Bytes UiDefaults(const std::u16string& name = u"TextRelay");
  // The bytes a one-page job prints with record: two lines of text.
  Bytes PrintTwoLines(const DEVMODEW* record);

  DOCUMENTPROPERTYHEADER Header(DWORD fMode, DEVMODEW* in, DEVMODEW* out, DWORD cbOut);

  const host::PrinterInterface& ui_ = TestPrinterInterface();
  std::u16string printer_name_ = u"TextRelay";
};

// A record of the driver's own with its defaults for "TextRelay", built by
// the device mode code itself.
Bytes OwnRecord();

// A copy of bytes against an inaccessible page, rounded up to the record's
// alignment as any block a caller hands over is: reading past them faults.
std::unique_ptr<host::GuardedBuffer> Guarded(const Bytes& bytes);

inline DEVMODEW* AsDevMode(Bytes& bytes) { return reinterpret_cast<DEVMODEW*>(bytes.data()); }
inline DEVMODEW* AsDevMode(const host::GuardedBuffer& buffer) {
  return reinterpret_cast<DEVMODEW*>(buffer.data());
}
