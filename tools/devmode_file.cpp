#include "tools/devmode_file.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "tools/destination.h"
#include "tools/line_reader.h"

namespace textrelay {

namespace {

// The merge reads the public settings up to dmTTOption; a DEVMODEW too
// short to hold them is no caller's device mode.
constexpr size_t kSmallestPublicPart = offsetof(DEVMODEW, dmCollate);
constexpr size_t kLargestFile = 2 * 0xFFFF;

std::vector<uint8_t> ReadWhole(const std::string& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) throw Unreadable(path + ": " + std::strerror(errno));
  std::vector<uint8_t> bytes(kLargestFile + 1);
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file.get()));
  if (std::ferror(file.get())) throw Unreadable(path + ": " + std::strerror(errno));
  if (bytes.size() > kLargestFile) throw Unreadable(path + ": too large for a device mode");
  return bytes;
}

enum class Kind { kName, kHex16, kUnsigned16, kSigned16, kFields, kUnsigned32, kByte };

struct Field {
  const char* name;
  size_t offset;
  Kind kind;
  size_t units = 0;  // of a name
};

#define PUBLIC(field, kind) Field{#field, offsetof(DEVMODEW, field), kind}
#define PRIVATE(field, kind) Field{#field, offsetof(DrvDevMode, field), kind}

const Field kPublicFields[] = {
    Field{"dmDeviceName", offsetof(DEVMODEW, dmDeviceName), Kind::kName, CCHDEVICENAME},
    PUBLIC(dmSpecVersion, Kind::kHex16),       PUBLIC(dmDriverVersion, Kind::kHex16),
    PUBLIC(dmSize, Kind::kUnsigned16),         PUBLIC(dmDriverExtra, Kind::kUnsigned16),
    PUBLIC(dmFields, Kind::kFields),           PUBLIC(dmOrientation, Kind::kSigned16),
    PUBLIC(dmPaperSize, Kind::kSigned16),      PUBLIC(dmPaperLength, Kind::kSigned16),
    PUBLIC(dmPaperWidth, Kind::kSigned16),     PUBLIC(dmScale, Kind::kSigned16),
    PUBLIC(dmCopies, Kind::kSigned16),         PUBLIC(dmDefaultSource, Kind::kSigned16),
    PUBLIC(dmPrintQuality, Kind::kSigned16),   PUBLIC(dmColor, Kind::kSigned16),
    PUBLIC(dmDuplex, Kind::kSigned16),         PUBLIC(dmYResolution, Kind::kSigned16),
    PUBLIC(dmTTOption, Kind::kSigned16),       PUBLIC(dmCollate, Kind::kSigned16),
    Field{"dmFormName", offsetof(DEVMODEW, dmFormName), Kind::kName, CCHFORMNAME},
    PUBLIC(dmLogPixels, Kind::kUnsigned16),    PUBLIC(dmBitsPerPel, Kind::kUnsigned32),
    PUBLIC(dmPelsWidth, Kind::kUnsigned32),    PUBLIC(dmPelsHeight, Kind::kUnsigned32),
    PUBLIC(dmDisplayFlags, Kind::kUnsigned32), PUBLIC(dmDisplayFrequency, Kind::kUnsigned32),
    PUBLIC(dmICMMethod, Kind::kUnsigned32),    PUBLIC(dmICMIntent, Kind::kUnsigned32),
    PUBLIC(dmMediaType, Kind::kUnsigned32),    PUBLIC(dmDitherType, Kind::kUnsigned32),
    PUBLIC(dmReserved1, Kind::kUnsigned32),    PUBLIC(dmReserved2, Kind::kUnsigned32),
    PUBLIC(dmPanningWidth, Kind::kUnsigned32), PUBLIC(dmPanningHeight, Kind::kUnsigned32),
};

const Field kPrivateFields[] = {
    Field{"wszPrivateDeviceName", offsetof(DrvDevMode, wszPrivateDeviceName), Kind::kName,
          DRV_PRIVATE_NAME_UNITS},
    PRIVATE(sMinPaperLength, Kind::kSigned16), PRIVATE(sMaxPaperLength, Kind::kSigned16),
    PRIVATE(sMinPaperWidth, Kind::kSigned16),  PRIVATE(sMaxPaperWidth, Kind::kSigned16),
    PRIVATE(sMinCopies, Kind::kSigned16),      PRIVATE(sMaxCopies, Kind::kSigned16),
    PRIVATE(byLineTerminator, Kind::kByte),    PRIVATE(byFormFeed, Kind::kByte),
};

#undef PUBLIC
#undef PRIVATE

struct FieldBit {
  DWORD bit;
  const char* name;
};
constexpr FieldBit kFieldBits[] = {
    {DM_ORIENTATION, "DM_ORIENTATION"}, {DM_PAPERSIZE, "DM_PAPERSIZE"},
    {DM_PAPERLENGTH, "DM_PAPERLENGTH"}, {DM_PAPERWIDTH, "DM_PAPERWIDTH"},
    {DM_SCALE, "DM_SCALE"},             {DM_COPIES, "DM_COPIES"},
    {DM_DEFAULTSOURCE, "DM_DEFAULTSOURCE"}, {DM_PRINTQUALITY, "DM_PRINTQUALITY"},
    {DM_COLOR, "DM_COLOR"},             {DM_DUPLEX, "DM_DUPLEX"},
    {DM_YRESOLUTION, "DM_YRESOLUTION"}, {DM_TTOPTION, "DM_TTOPTION"},
};

template <typename T>
T Read(const uint8_t* record, size_t offset) {
  T value;
  std::memcpy(&value, record + offset, sizeof value);
  return value;
}

std::string Printf(const char* format, unsigned long long value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string FieldsText(DWORD fields) {
  std::string text = Printf("0x%08llX", fields);
  for (const FieldBit& bit : kFieldBits) {
    if (fields & bit.bit) text += std::string(" ") + bit.name;
  }
  return text;
}

std::string NameText(const uint8_t* record, const Field& field) {
  std::u16string name(field.units, u'\0');
  std::memcpy(name.data(), record + field.offset, field.units * sizeof(char16_t));
  name.resize(name.find(u'\0') == std::u16string::npos ? field.units : name.find(u'\0'));
  return "\"" + Narrow(name) + "\"";
}

std::string ValueText(const uint8_t* record, const Field& field) {
  switch (field.kind) {
    case Kind::kName:
      return NameText(record, field);
    case Kind::kHex16:
      return Printf("0x%04llX", Read<WORD>(record, field.offset));
    case Kind::kUnsigned16:
      return std::to_string(Read<WORD>(record, field.offset));
    case Kind::kSigned16:
      return std::to_string(Read<SHORT>(record, field.offset));
    case Kind::kFields:
      return FieldsText(Read<DWORD>(record, field.offset));
    case Kind::kUnsigned32:
      return std::to_string(Read<DWORD>(record, field.offset));
    case Kind::kByte:
      return std::to_string(Read<BYTE>(record, field.offset));
  }
  return {};
}

void ShowFields(std::string& out, const uint8_t* record, const auto& fields) {
  for (const Field& field : fields) {
    char name[32];
    std::snprintf(name, sizeof name, "  %-21s", field.name);
    out += name + ValueText(record, field) + "\n";
  }
}

std::string DeviceText(const DeviceSettings& device) {
  std::string out = "a device made from it has:\n";
  out += "  orientation          " +
         std::string(device.orientation == DMORIENT_LANDSCAPE ? "landscape" : "portrait") + "\n";
  out += "  paper length         " + std::to_string(device.paper_length) + "\n";
  out += "  paper width          " + std::to_string(device.paper_width) + "\n";
  out += "  copies               " + std::to_string(device.copies) + "\n";
  out += "  line terminator      " + std::string(TerminatorName(device.line_terminator)) + "\n";
  out += "  form feed            " + std::string(device.form_feed == 1 ? "yes" : "no") + "\n";
  for (const Refusal& refusal : device.refusals) out += "  refused: " + Describe(refusal) + "\n";
  return out;
}

}  // namespace

CallerDevMode ReadDevModeFile(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadWhole(path);
  if (bytes.size() < kSmallestPublicPart) {
    throw Unreadable(path + ": " + std::to_string(bytes.size()) +
                     " bytes, too short for a device mode");
  }
  const size_t public_size = Read<WORD>(bytes.data(), offsetof(DEVMODEW, dmSize));
  const size_t announced = public_size + Read<WORD>(bytes.data(), offsetof(DEVMODEW, dmDriverExtra));
  if (public_size < kSmallestPublicPart || announced != bytes.size()) {
    throw Unreadable(path + ": holds " + std::to_string(bytes.size()) +
                     " bytes, its header announces " + std::to_string(announced) + " (dmSize " +
                     std::to_string(public_size) + " + dmDriverExtra)");
  }
  CallerDevMode caller;
  caller.size = std::min(bytes.size(), sizeof(DrvDevMode));
  std::memcpy(&caller.record, bytes.data(), caller.size);
  return caller;
}

void WriteDevModeFile(const DrvDevMode& record, const std::string& path) {
  std::unique_ptr<Destination> file = OpenFileDestination(path);
  file->BeginJob(path);
  file->Write({reinterpret_cast<const uint8_t*>(&record), sizeof record});
  file->EndJob();
  file->Commit();
}

std::string ShowDevMode(const CallerDevMode& caller) {
  const auto* record = reinterpret_cast<const uint8_t*>(&caller.record);
  const std::string why = WhyNotOwn(*caller.dm());
  std::string out = std::to_string(caller.size) + " bytes, " +
                    (why.empty() ? "the driver's own device mode" : "not the driver's own: " + why) +
                    "\npublic fields:\n";
  ShowFields(out, record, kPublicFields);
  if (caller.size == sizeof(DrvDevMode) && caller.dm()->dmSize == sizeof(DEVMODEW)) {
    out += why.empty() ? "private fields:\n" : "private fields (not taken by the driver):\n";
    ShowFields(out, record, kPrivateFields);
  }
  return out + DeviceText(PredictDevice(&caller));
}

}  // namespace textrelay
