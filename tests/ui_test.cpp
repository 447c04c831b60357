#include "tests/ui_test.h"

#include <cstdlib>
#include <cstring>

#include "host/pe_image.h"

namespace {
const char* UiDllPath() { return std::getenv("TEXTRELAY_UI_DLL"); }

host::PrinterInterface LoadedInterface() {
  static std::unique_ptr<host::PeImage> image =
      host::PeImage::Load(UiDllPath(), host::InterfaceDllServices());
  std::string missing;
  host::PrinterInterface ui = host::PrinterInterfaceFrom(
      [](const char* name) { return image->Export(name); }, &missing);
  if (!missing.empty()) throw host::PeImageError(std::string(UiDllPath()) + " lacks " + missing);
  return ui;
}
}  // namespace

const host::PrinterInterface& TestPrinterInterface() {
  static const host::PrinterInterface linked = {
      &DrvDocumentPropertySheets, &DrvDevicePropertySheets, &DrvConvertDevMode,
      &DrvDeviceCapabilities,     &DevQueryPrintEx,         &DrvPrinterEvent};
  if (UiDllPath() == nullptr) return linked;
  static const host::PrinterInterface loaded = LoadedInterface();
  return loaded;
}

Bytes UiTest::DriverRecord(const DEVMODEW* devmode, const std::u16string& name) {
  host::Device device(driver_, devmode, name, printer_);
  EXPECT_TRUE(device.ok());
  const auto* first = reinterpret_cast<const uint8_t*>(device.dhpdev());
  Bytes record(first, first + sizeof(DrvDevMode));
  device.Release();
  ClearOutput();
  return record;
}

DOCUMENTPROPERTYHEADER UiTest::Header(DWORD fMode, DEVMODEW* in, DEVMODEW* out, DWORD cbOut) {
  DOCUMENTPROPERTYHEADER header{};
  header.cbSize = sizeof header;
  header.pszPrinterName = printer_name_.data();
  header.pdmIn = in;
  header.pdmOut = out;
  header.cbOut = cbOut;
  header.fMode = fMode;
  return header;
}

Bytes UiTest::UiDefaults(const std::u16string& name) {
  std::u16string saved = printer_name_;
  printer_name_ = name;
  Bytes out(sizeof(DrvDevMode), 0xA5);
  DOCUMENTPROPERTYHEADER header = Header(DM_COPY, nullptr, AsDevMode(out), out.size());
  EXPECT_EQ(ui_.DrvDocumentPropertySheets(nullptr, reinterpret_cast<LPARAM>(&header)), CPSUI_OK);
  printer_name_ = saved;
  ClearOutput();
  return out;
}

Bytes UiTest::PrintTwoLines(const DEVMODEW* record) {
  ClearOutput();
  {
    host::Device device(driver_, record, u"TextRelay", printer_);
    EXPECT_TRUE(device.ok());
    EXPECT_TRUE(device.StartDoc());
    EXPECT_TRUE(device.StartPage());
    EXPECT_TRUE(device.Text(u"Hello"));
    EXPECT_TRUE(device.Text(u"World"));
    EXPECT_TRUE(device.SendPage());
    EXPECT_TRUE(device.EndDoc());
  }
  Bytes printed = bytes();
  ClearOutput();
  return printed;
}

Bytes OwnRecord() {
  Bytes record(sizeof(DrvDevMode), 0);
  GetDefaultDrvDevMode(u"TextRelay", reinterpret_cast<DrvDevMode*>(record.data()));
  host::Engine::Get().trace.TakeLines();
  return record;
}

std::unique_ptr<host::GuardedBuffer> Guarded(const Bytes& bytes) {
  const size_t align = alignof(DEVMODEW);
  auto buffer = std::make_unique<host::GuardedBuffer>((bytes.size() + align - 1) / align * align);
  std::memset(buffer->data(), 0, buffer->size());
  std::memcpy(buffer->data(), bytes.data(), bytes.size());
  return buffer;
}
