// The property sheet protocol of both pages against a stand-in sheet whose
// answers and a user's picks come from the input: whatever the sheet
// refuses and whatever fails, a page that was added is well formed, nothing
// outside the caller's buffers is touched, nothing is left live, and the
// output holds the driver's own record after an OK and is untouched
// otherwise.
//
// Input: a byte choosing the page (bit 0: the printer page) and the end
// (bit 1: cancel instead of OK); the header's fMode byte (DM_* bits 1-5);
// a byte of faults (bits 0-3: the k-th call the sheet answers fails,
// bits 4-7: the k-th allocation); Le16 cbOut (the output buffer's size
// too; 0: no output); a byte of picks (mod 8), each an item byte and a
// Le16 value (a choice's index, or an up-down item's number); then the
// caller's record, placed as long as its header claims and never shorter
// than that header.
#include <algorithm>
#include <cstring>
#include <memory>

#include "devmode/devmode.h"
#include "fuzz/contract.h"
#include "host/stand_ins/option_tree.h"
#include "host/stand_ins/property_sheet.h"
#include "ui/ui.h"

namespace {

constexpr size_t kHeaderBytes = offsetof(DEVMODEW, dmFields);
constexpr uint8_t kUntouched = 0x5A;

std::unique_ptr<host::GuardedBuffer> CallerRecord(const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return nullptr;
  std::vector<uint8_t> header(bytes);
  header.resize(std::max(header.size(), kHeaderBytes));
  const DEVMODEW* claimed = reinterpret_cast<const DEVMODEW*>(header.data());
  size_t size = std::max<size_t>(kHeaderBytes, size_t{claimed->dmSize} + claimed->dmDriverExtra);
  size = (size + 3) / 4 * 4;
  auto record = std::make_unique<host::GuardedBuffer>(size);
  std::memset(record->data(), 0, size);
  std::copy_n(bytes.begin(), std::min(bytes.size(), size), record->data());
  return record;
}

void Pick(host::PropertySheet& sheet, uint8_t item, uint16_t value) {
  const COMPROPSHEETUI* page = sheet.page();
  if (page == nullptr || page->cOptItem == 0) return;
  const OPTITEM& chosen = page->pOptItem[item % page->cOptItem];
  std::u16string_view name = host::SheetText(chosen.pName);
  std::vector<std::u16string> choices = sheet.Choices(name);
  if (!choices.empty()) {
    sheet.Pick(name, choices[value % choices.size()]);
  } else {
    sheet.Enter(name, static_cast<SHORT>(value));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const uint8_t shape = in.Byte();
  const DWORD fMode = in.Byte() & 0x3E;
  const uint8_t faults = in.Byte();
  const uint16_t cbOut = in.Le16();
  std::vector<std::pair<uint8_t, uint16_t>> picks(in.Byte() % 8);
  for (auto& pick : picks) pick = {in.Byte(), in.Le16()};
  std::unique_ptr<host::GuardedBuffer> caller = CallerRecord(in.Rest());

  fuzz::Session session;
  host::Checker::Get().pool.UseGuardPages(true);
  std::unique_ptr<host::GuardedBuffer> out;
  if (cbOut != 0) {
    // Rounded up to the record's alignment, as every caller's block is.
    out = std::make_unique<host::GuardedBuffer>((cbOut + 3u) / 4 * 4);
    std::memset(out->data(), kUntouched, out->size());
  }
  std::u16string name = u"TextRelay";
  DOCUMENTPROPERTYHEADER document{};
  document.cbSize = sizeof document;
  document.hPrinter = session.printer();
  document.pszPrinterName = name.data();
  document.pdmIn = caller ? reinterpret_cast<DEVMODEW*>(caller->data()) : nullptr;
  document.pdmOut = out ? reinterpret_cast<DEVMODEW*>(out->data()) : nullptr;
  document.cbOut = cbOut;
  document.fMode = fMode;
  DEVICEPROPERTYHEADER device{};
  device.cbSize = sizeof device;
  device.hPrinter = session.printer();
  device.pszPrinterName = name.data();

  host::FaultPlan sheet_faults;
  if (faults & 0x0F) sheet_faults.FailNth(faults & 0x0F);
  if (faults >> 4) host::Checker::Get().pool.faults().FailNth(faults >> 4);
  const bool printer_page = shape & 1;
  ULONG_PTR result = CPSUI_CANCEL;
  {
    host::PropertySheet sheet(printer_page ? &DrvDevicePropertySheets : &DrvDocumentPropertySheets,
                              printer_page ? reinterpret_cast<LPARAM>(&device)
                                           : reinterpret_cast<LPARAM>(&document),
                              sheet_faults);
    fuzz::Require((sheet.init_result() > 0) == (sheet.page() != nullptr),
                  "INIT answered success without its page, or failure with one");
    fuzz::Require(sheet.refusal() == 0 || sheet.refusal() == ERR_CPSUI_ALLOCMEM_FAILED,
                  "the sheet refused a page the driver built");
    for (const auto& [item, value] : picks) Pick(sheet, item, value);
    if (sheet.page() != nullptr) result = (shape & 2) ? sheet.Cancel() : sheet.Apply();
    fuzz::Require(sheet.problems().empty(), "the sheet found the protocol broken");
  }
  host::Checker::Get().pool.faults().Clear();
  if (out) {
    const bool untouched = std::all_of(out->data(), out->data() + out->size(),
                                       [](uint8_t b) { return b == kUntouched; });
    if (result == CPSUI_OK && !printer_page && (fMode & DM_OUT_BUFFER)) {
      fuzz::Require(cbOut >= sizeof(DrvDevMode) &&
                        IsValidDrvDevMode(reinterpret_cast<const DEVMODEW*>(out->data())),
                    "OK without the driver's own record in the output");
    } else {
      fuzz::Require(untouched, "the output was written without an OK");
    }
  }
  session.Finish();
  return 0;
}
