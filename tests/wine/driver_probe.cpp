// Installs the package and drives the installed printer as applications and
// the spooler do, inside a Wine prefix; built for x86-64 Windows.
//   driver_probe install PACKAGE\textrelay.inf PRINTER
//   driver_probe winspool PRINTER [level]   documents and capabilities through winspool
//   driver_probe prompt PRINTER             the document page through winspool
//   driver_probe direct PRINTER [level]     the entry points Wine does not route
// With "level", heap use must stay level over the rounds; Wine's checking
// heap keeps freed blocks for a while, so that is judged in a run without it.
// Each check prints one line, "ok: ..." or "FAIL: ..."; the exit status is 1
// when one failed. Every output buffer ends at a no-access page.
#include <windows.h>
#include <setupapi.h>
#include <winspool.h>
#include <compstui.h>
#include <winddiui.h>
#include <winddiui_more.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kOwnSize = 7228;
constexpr WORD kOwnPublic = 220;
constexpr WORD kOwnPrivate = 7008;
constexpr int kRounds = 40;

// Heap use may settle in the first round (the spooler's caches); after it,
// rounds that leak nothing grow it by less than this.
constexpr SIZE_T kHeapSlack = 4096;

int failures = 0;
bool judge_heap_use = false;

void Check(bool ok, const char* what, long long value = 0) {
  std::printf("%s: %s (%lld)\n", ok ? "ok" : "FAIL", what, value);
  if (!ok) ++failures;
}

// n bytes that end where a no-access page starts; n is a multiple of 4, as
// a record's size is.
BYTE* Guarded(SIZE_T n) {
  SIZE_T page = 4096;
  SIZE_T pages = (n + page - 1) / page + 1;
  auto* base = static_cast<BYTE*>(
      VirtualAlloc(nullptr, pages * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  DWORD old;
  VirtualProtect(base + (pages - 1) * page, page, PAGE_NOACCESS, &old);
  BYTE* data = base + (pages - 1) * page - n;
  std::memset(data, 0x5A, n);
  return data;
}

DEVMODEW* GuardedRecord(SIZE_T n) { return reinterpret_cast<DEVMODEW*>(Guarded(n)); }

SIZE_T HeapInUse() {
  SIZE_T used = 0;
  HANDLE heap = GetProcessHeap();
  HeapLock(heap);
  PROCESS_HEAP_ENTRY entry{};
  while (HeapWalk(heap, &entry)) {
    if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) used += entry.cbData;
  }
  HeapUnlock(heap);
  return used;
}

bool IsOwnRecord(const DEVMODEW* dm) {
  return dm->dmSpecVersion == 0x0401 && dm->dmSize == kOwnPublic &&
         dm->dmDriverExtra == kOwnPrivate;
}

// ---- install --------------------------------------------------------------

std::wstring Field(INFCONTEXT* line, DWORD index) {
  wchar_t text[MAX_PATH] = L"";
  SetupGetStringFieldW(line, index, text, MAX_PATH, nullptr);
  return text;
}

std::wstring Value(HINF inf, const std::wstring& section, const wchar_t* key) {
  INFCONTEXT line;
  if (!SetupFindFirstLineW(inf, section.c_str(), key, &line)) return L"";
  return Field(&line, 1);
}

// The models section x64 reads: the manufacturer line's NTamd64 decoration.
std::wstring ModelsSection(HINF inf) {
  INFCONTEXT line;
  if (!SetupFindFirstLineW(inf, L"Manufacturer", nullptr, &line)) return L"";
  std::wstring base = Field(&line, 1);
  for (DWORD i = 2; i <= SetupGetFieldCount(&line); ++i) {
    std::wstring decoration = Field(&line, i);
    if (_wcsnicmp(decoration.c_str(), L"NTamd64", 7) == 0) return base + L"." + decoration;
  }
  return base;
}

// Wine 8.0's setupapi reads only [SourceDisksFiles], which names the i386
// folder: the x64 list is read here, as the platform's setup reads it.
std::wstring SourceFolder(HINF inf, const std::wstring& file) {
  INFCONTEXT line;
  if (!SetupFindFirstLineW(inf, L"SourceDisksFiles.amd64", file.c_str(), &line)) return L"";
  return Field(&line, 2);
}

bool CopyToDriverDirectory(const std::wstring& package, const std::wstring& folder,
                           const std::wstring& file, const std::wstring& directory) {
  std::wstring from = package + L"\\" + (folder.empty() ? L"" : folder + L"\\") + file;
  return CopyFileW(from.c_str(), (directory + L"\\" + file).c_str(), FALSE) != FALSE;
}

int Install(const wchar_t* inf_path, const wchar_t* printer) {
  HINF inf = SetupOpenInfFileW(inf_path, L"Printer", INF_STYLE_WIN4, nullptr);
  Check(inf != INVALID_HANDLE_VALUE, "setupapi opens the INF", GetLastError());
  if (inf == INVALID_HANDLE_VALUE) return 1;
  std::wstring models = ModelsSection(inf);
  Check(models == L"TextRelayModels.NTamd64", "the manufacturer line resolves to NTamd64");
  INFCONTEXT model_line;
  Check(SetupFindFirstLineW(inf, models.c_str(), nullptr, &model_line) != FALSE,
        "the models section names a printer");
  std::wstring model;
  {
    wchar_t key[MAX_PATH] = L"";
    SetupGetStringFieldW(&model_line, 0, key, MAX_PATH, nullptr);
    model = key;
  }
  std::wstring section = Field(&model_line, 1);
  std::wstring files[3] = {Value(inf, section, L"DriverFile"), Value(inf, section, L"ConfigFile"),
                           Value(inf, section, L"DataFile")};
  wchar_t directory[MAX_PATH];
  DWORD needed = 0;
  Check(GetPrinterDriverDirectoryW(nullptr, const_cast<wchar_t*>(L"Windows x64"), 1,
                                   reinterpret_cast<BYTE*>(directory), sizeof directory,
                                   &needed) != FALSE,
        "the spooler names its x64 driver directory");
  std::wstring package(inf_path);
  package = package.substr(0, package.find_last_of(L'\\'));
  for (const std::wstring& file : files) {
    bool copied = !file.empty() &&
                  CopyToDriverDirectory(package, SourceFolder(inf, file), file, directory);
    std::printf("%s: %ls from %ls\\%ls\n", copied ? "ok" : "FAIL", file.c_str(),
                package.c_str(), SourceFolder(inf, file).c_str());
    if (!copied) ++failures;
  }
  SetupCloseInfFile(inf);
  std::wstring paths[3];
  for (int i = 0; i < 3; ++i) paths[i] = std::wstring(directory) + L"\\" + files[i];
  DRIVER_INFO_6W driver{};
  driver.cVersion = 3;
  driver.pName = model.data();
  driver.pEnvironment = const_cast<wchar_t*>(L"Windows x64");
  driver.pDriverPath = paths[0].data();
  driver.pConfigFile = paths[1].data();
  driver.pDataFile = paths[2].data();
  // Wine 8.0's AddPrinterDriverExW checks nothing of the files: the image
  // checks do that.
  Check(AddPrinterDriverExW(nullptr, 6, reinterpret_cast<BYTE*>(&driver),
                            APD_COPY_NEW_FILES) != FALSE,
        "AddPrinterDriverExW level 6 version 3", GetLastError());
  PRINTER_INFO_2W info{};
  info.pPrinterName = const_cast<wchar_t*>(printer);
  info.pPortName = const_cast<wchar_t*>(L"FILE:");
  info.pDriverName = model.data();
  info.pPrintProcessor = const_cast<wchar_t*>(L"WinPrint");
  info.pDatatype = const_cast<wchar_t*>(L"RAW");
  HANDLE added = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
  Check(added != nullptr, "AddPrinterW on FILE:", GetLastError());
  if (added != nullptr) ClosePrinter(added);
  return failures > 0 ? 1 : 0;
}

// ---- winspool -------------------------------------------------------------

struct Printer {
  HANDLE handle = nullptr;
  wchar_t* name;
};

LONG Properties(Printer& p, DEVMODEW* out, DEVMODEW* in, DWORD mode) {
  return DocumentPropertiesW(nullptr, p.handle, p.name, out, in, mode);
}

DEVMODEW* Defaults(Printer& p) {
  DEVMODEW* out = GuardedRecord(kOwnSize);
  LONG result = Properties(p, out, nullptr, DM_OUT_BUFFER);
  Check(result == IDOK && IsOwnRecord(out), "the default record is the driver's own", result);
  return out;
}

void DocumentRound(Printer& p) {
  Check(Properties(p, nullptr, nullptr, 0) == static_cast<LONG>(kOwnSize),
        "DocumentPropertiesW answers the record's size");
  DEVMODEW* defaults = Defaults(p);
  DEVMODEW* in = GuardedRecord(kOwnSize);
  std::memcpy(in, defaults, kOwnSize);
  in->dmFields = DM_ORIENTATION;
  in->dmOrientation = DMORIENT_LANDSCAPE;
  DEVMODEW* out = GuardedRecord(kOwnSize);
  LONG result = Properties(p, out, in, DM_IN_BUFFER | DM_OUT_BUFFER);
  Check(result == IDOK && IsOwnRecord(out) && out->dmOrientation == DMORIENT_LANDSCAPE,
        "an in-and-out record keeps the caller's orientation", result);
  // A foreign record: a plain DEVMODEW of another driver, 148 bytes.
  DEVMODEW* foreign = GuardedRecord(148);
  std::memset(foreign, 0, 148);
  foreign->dmSpecVersion = 0x0320;
  foreign->dmSize = 148;
  foreign->dmFields = DM_ORIENTATION | DM_COPIES;
  foreign->dmOrientation = DMORIENT_LANDSCAPE;
  foreign->dmCopies = 3;
  out = GuardedRecord(kOwnSize);
  result = Properties(p, out, foreign, DM_IN_BUFFER | DM_OUT_BUFFER);
  Check(result == IDOK && IsOwnRecord(out) && out->dmCopies == 3,
        "a foreign 148-byte record counts for what it holds", result);
  // Garbage headers: whatever the answer, nothing is read or written
  // outside the buffers and a record written is the driver's own.
  const WORD sizes[][2] = {{0, 0}, {1, 0}, {71, 0}, {72, 0}, {220, 3}, {148, 7008}};
  for (const auto& size : sizes) {
    SIZE_T claimed = (static_cast<SIZE_T>(size[0]) + size[1] + 3) & ~static_cast<SIZE_T>(3);
    if (claimed < sizeof(WORD) * 36) claimed = sizeof(WORD) * 36;
    DEVMODEW* garbage = GuardedRecord(claimed);
    garbage->dmSize = size[0];
    garbage->dmDriverExtra = size[1];
    out = GuardedRecord(kOwnSize);
    result = Properties(p, out, garbage, DM_IN_BUFFER | DM_OUT_BUFFER);
    Check(result != IDOK || IsOwnRecord(out), "a garbage header leaves a valid record or none",
          size[0]);
  }
}

struct Capability {
  WORD index;
  SIZE_T item_bytes;  // 0: a number, no list
};
constexpr Capability kCapabilities[] = {
    {DC_FIELDS, 0},       {DC_PAPERS, 2},        {DC_PAPERSIZE, 8},         {DC_MINEXTENT, 0},
    {DC_MAXEXTENT, 0},    {DC_BINS, 2},          {DC_DUPLEX, 0},            {DC_SIZE, 0},
    {DC_EXTRA, 0},        {DC_VERSION, 0},       {DC_DRIVER, 0},            {DC_BINNAMES, 48},
    {DC_ENUMRESOLUTIONS, 8}, {DC_FILEDEPENDENCIES, 128}, {DC_TRUETYPE, 0},  {DC_PAPERNAMES, 128},
    {DC_ORIENTATION, 0},  {DC_COPIES, 0},        {DC_COLLATE, 0},           {DC_MEDIAREADY, 128},
    {DC_STAPLE, 0},       {DC_COLORDEVICE, 0},   {DC_NUP, 4},               {DC_PERSONALITY, 64},
    {DC_MEDIATYPENAMES, 128}, {DC_MEDIATYPES, 4}};

void CapabilityRound(Printer& p) {
  for (const Capability& c : kCapabilities) {
    int count = DeviceCapabilitiesW(p.name, L"FILE:", c.index, nullptr, nullptr);
    bool ok = count != -1;
    if (ok && c.item_bytes != 0 && count > 0) {
      BYTE* out = Guarded(((count * c.item_bytes) + 3) & ~static_cast<SIZE_T>(3));
      ok = DeviceCapabilitiesW(p.name, L"FILE:", c.index, reinterpret_cast<wchar_t*>(out),
                               nullptr) == count;
    }
    char what[64];
    std::snprintf(what, sizeof what, "DeviceCapabilitiesW index %u", c.index);
    Check(ok, what, static_cast<long long>(count));
  }
  Check(DeviceCapabilitiesW(p.name, L"FILE:", DC_SIZE, nullptr, nullptr) == int{kOwnPublic},
        "DC_SIZE is the record's public part");
  Check(DeviceCapabilitiesW(p.name, L"FILE:", DC_EXTRA, nullptr, nullptr) == int{kOwnPrivate},
        "DC_EXTRA is the record's private part");
}

// Heap use after the first round and after all of them.
void Rounds(const char* what, void (*round)(Printer&), Printer& p) {
  round(p);
  SIZE_T before = HeapInUse();
  for (int i = 1; i < kRounds; ++i) round(p);
  SIZE_T growth = HeapInUse() - before;
  if (judge_heap_use) Check(HeapInUse() < before + kHeapSlack, what, static_cast<long long>(growth));
}

void BothRounds(Printer& p) {
  DocumentRound(p);
  CapabilityRound(p);
}

bool Open(Printer& p) {
  Check(OpenPrinterW(p.name, &p.handle, nullptr) != FALSE, "OpenPrinterW", GetLastError());
  return p.handle != nullptr;
}

int Winspool(wchar_t* printer) {
  Printer p{nullptr, printer};
  if (!Open(p)) return 1;
  Rounds("heap use stays level over rounds through winspool", &BothRounds, p);
  ClosePrinter(p.handle);
  return failures > 0 ? 1 : 0;
}

// Wine 8.0's common property sheet refuses the driver's page: the call
// fails, and the driver must leave its heap as it found it.
int Prompt(wchar_t* printer) {
  Printer p{nullptr, printer};
  if (!Open(p)) return 1;
  for (int i = 0; i < 3; ++i) {
    DEVMODEW* out = GuardedRecord(kOwnSize);
    LONG result = Properties(p, out, nullptr, DM_IN_PROMPT | DM_OUT_BUFFER);
    Check(result != IDOK || IsOwnRecord(out), "the document page opens or fails cleanly", result);
  }
  ClosePrinter(p.handle);
  return failures > 0 ? 1 : 0;
}

// ---- direct ---------------------------------------------------------------

using ConvertDevMode = BOOL(WINAPI*)(LPWSTR, PDEVMODEW, PDEVMODEW, PLONG, DWORD);
using SheetFunction = LONG(WINAPI*)(PPROPSHEETUI_INFO, LPARAM);
using QueryPrint = BOOL(WINAPI*)(PDEVQUERYPRINT_INFO);
using PrinterEvent = BOOL(WINAPI*)(LPWSTR, INT, DWORD, LPARAM);

struct Interface {
  ConvertDevMode convert;
  SheetFunction device_sheets;
  SheetFunction document_sheets;
  QueryPrint query;
  PrinterEvent event;
  wchar_t* printer;
};

// The sheet's side of pfnComPropSheet: adds a page or, for a refusing
// sheet, answers ERR_CPSUI_ALLOCMEM_FAILED.
LONG_PTR CALLBACK AcceptingSheet(HANDLE, UINT function, LPARAM, LPARAM) {
  return function == CPSFUNC_ADD_PCOMPROPSHEETUIW ? 0x5000 : 1;
}
LONG_PTR CALLBACK RefusingSheet(HANDLE, UINT, LPARAM, LPARAM) {
  return ERR_CPSUI_ALLOCMEM_FAILED;
}

// INIT, GET_INFO_HEADER when INIT succeeded, DESTROY either way.
LONG RunSheet(SheetFunction sheet, PFNCOMPROPSHEET answer, LPARAM header) {
  PROPSHEETUI_INFO info{};
  info.cbSize = sizeof info;
  info.Version = PROPSHEETUI_INFO_VERSION;
  info.Flags = PSUIINFO_UNICODE;
  info.pfnComPropSheet = answer;
  info.hComPropSheet = reinterpret_cast<HANDLE>(0x1234);
  info.lParamInit = header;
  info.Reason = PROPSHEETUI_REASON_INIT;
  LONG init = sheet(&info, header);
  if (init > 0) {
    PROPSHEETUI_INFO_HEADER title{};
    title.cbSize = sizeof title;
    info.Reason = PROPSHEETUI_REASON_GET_INFO_HEADER;
    sheet(&info, reinterpret_cast<LPARAM>(&title));
  }
  info.Reason = PROPSHEETUI_REASON_DESTROY;
  sheet(&info, 0);
  return init;
}

void DirectRound(const Interface& ui) {
  DEVMODEW* own = GuardedRecord(kOwnSize);
  LONG needed = kOwnSize;
  Check(ui.convert(ui.printer, nullptr, own, &needed, CDM_DRIVER_DEFAULT) && IsOwnRecord(own),
        "DrvConvertDevMode gives the driver's defaults");
  needed = 0;
  SetLastError(0);
  Check(!ui.convert(ui.printer, own, nullptr, &needed, CDM_CONVERT) &&
            GetLastError() == ERROR_INSUFFICIENT_BUFFER && needed == static_cast<LONG>(kOwnSize),
        "DrvConvertDevMode with no output asks for the size", needed);
  DEVMODEW* plain = GuardedRecord(kOwnPublic);
  std::memcpy(plain, own, kOwnPublic);
  plain->dmDriverExtra = 0;
  needed = kOwnPublic;
  Check(ui.convert(ui.printer, own, plain, &needed, CDM_CONVERT) != FALSE,
        "DrvConvertDevMode converts to a plain record");
  DEVICEPROPERTYHEADER device{};
  device.cbSize = sizeof device;
  device.pszPrinterName = ui.printer;
  Check(RunSheet(ui.device_sheets, &AcceptingSheet, reinterpret_cast<LPARAM>(&device)) > 0,
        "DrvDevicePropertySheets adds its page");
  Check(RunSheet(ui.device_sheets, &RefusingSheet, reinterpret_cast<LPARAM>(&device)) < 1,
        "DrvDevicePropertySheets fails when the sheet refuses the page");
  DEVMODEW* out = GuardedRecord(kOwnSize);
  DOCUMENTPROPERTYHEADER document{};
  document.cbSize = sizeof document;
  document.pszPrinterName = ui.printer;
  document.pdmOut = out;
  document.cbOut = kOwnSize;
  document.fMode = DM_OUT_BUFFER | DM_IN_PROMPT;
  Check(RunSheet(ui.document_sheets, &RefusingSheet, reinterpret_cast<LPARAM>(&document)) < 1,
        "DrvDocumentPropertySheets fails when the sheet refuses the page");
  DEVQUERYPRINT_INFO query{};
  query.cbSize = sizeof query;
  query.Level = 1;
  query.pDevMode = own;
  Check(ui.query(&query) != FALSE, "DevQueryPrintEx lets every job print");
  for (INT event = PRINTER_EVENT_ADD_CONNECTION; event <= PRINTER_EVENT_ATTRIBUTES_CHANGED;
       ++event) {
    Check(ui.event(ui.printer, event, 0, 0) != FALSE, "DrvPrinterEvent", event);
  }
}

template <class Function>
Function Export(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

Interface* current = nullptr;
void DirectRoundOfCurrent(Printer&) { DirectRound(*current); }

int Direct(wchar_t* printer) {
  Printer p{nullptr, printer};
  if (!Open(p)) return 1;
  DWORD needed = 0;
  GetPrinterDriverW(p.handle, nullptr, 2, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  Check(GetPrinterDriverW(p.handle, nullptr, 2, buffer.data(), needed, &needed) != FALSE,
        "GetPrinterDriverW names the interface DLL");
  auto* driver = reinterpret_cast<DRIVER_INFO_2W*>(buffer.data());
  HMODULE module = LoadLibraryW(driver->pConfigFile);
  Check(module != nullptr, "the interface DLL loads", GetLastError());
  if (module == nullptr) return 1;
  Interface ui{Export<ConvertDevMode>(module, "DrvConvertDevMode"),
               Export<SheetFunction>(module, "DrvDevicePropertySheets"),
               Export<SheetFunction>(module, "DrvDocumentPropertySheets"),
               Export<QueryPrint>(module, "DevQueryPrintEx"),
               Export<PrinterEvent>(module, "DrvPrinterEvent"), printer};
  Check(ui.convert && ui.device_sheets && ui.document_sheets && ui.query && ui.event,
        "the interface DLL exports the entry points");
  if (failures > 0) return 1;
  current = &ui;
  Rounds("heap use stays level over rounds of direct calls", &DirectRoundOfCurrent, p);
  ClosePrinter(p.handle);
  return failures > 0 ? 1 : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc == 4 && std::wcscmp(argv[1], L"install") == 0) return Install(argv[2], argv[3]);
  judge_heap_use = argc == 4 && std::wcscmp(argv[3], L"level") == 0;
  if (argc == 4 && !judge_heap_use) argc = 0;
  if (argc >= 3 && std::wcscmp(argv[1], L"winspool") == 0) return Winspool(argv[2]);
  if (argc == 3 && std::wcscmp(argv[1], L"prompt") == 0) return Prompt(argv[2]);
  if (argc >= 3 && std::wcscmp(argv[1], L"direct") == 0) return Direct(argv[2]);
  std::fprintf(stderr,
               "usage: driver_probe install INF PRINTER | winspool|direct PRINTER [level] | "
               "prompt PRINTER\n");
  return 2;
}
