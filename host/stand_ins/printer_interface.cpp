#include "host/stand_ins/printer_interface.h"

namespace host {

namespace {
template <typename Fn>
void Take(Fn* slot, const char* name, const std::function<void*(const char*)>& lookup,
          std::string* missing) {
  void* address = lookup(name);
  if (address == nullptr && missing->empty()) *missing = name;
  *slot = reinterpret_cast<Fn>(address);
}
}  // namespace

PrinterInterface PrinterInterfaceFrom(const std::function<void*(const char*)>& lookup,
                                      std::string* missing) {
  PrinterInterface ui;
  missing->clear();
  Take(&ui.DrvDocumentPropertySheets, "DrvDocumentPropertySheets", lookup, missing);
  Take(&ui.DrvDevicePropertySheets, "DrvDevicePropertySheets", lookup, missing);
  Take(&ui.DrvConvertDevMode, "DrvConvertDevMode", lookup, missing);
  Take(&ui.DrvDeviceCapabilities, "DrvDeviceCapabilities", lookup, missing);
  Take(&ui.DevQueryPrintEx, "DevQueryPrintEx", lookup, missing);
  Take(&ui.DrvPrinterEvent, "DrvPrinterEvent", lookup, missing);
  return ui;
}

}  // namespace host
