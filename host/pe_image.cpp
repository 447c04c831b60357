#include "host/pe_image.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

#include "engine/engine.h"
#include "host/platform_call.h"
#include "host/user_mode_services.h"

namespace host {

namespace {

constexpr uint16_t kOptionalMagic32 = 0x010B;
constexpr uint16_t kOptionalMagic64 = 0x020B;
constexpr uint32_t kDirectoryExport = 0;
constexpr uint32_t kDirectoryImport = 1;
constexpr uint32_t kDirectoryException = 3;
constexpr uint32_t kDirectoryBaseReloc = 5;
constexpr uint32_t kSectionExecute = 0x20000000;
constexpr uint32_t kSectionRead = 0x40000000;
constexpr uint32_t kSectionWrite = 0x80000000;
constexpr uint16_t kRelocAbsolute = 0;
constexpr uint16_t kRelocHighLow = 3;
constexpr uint16_t kRelocDir64 = 10;
// Longer than any module or service name the host knows; a longer one is a
// broken table, and bounding it keeps reading the names linear.
constexpr size_t kMaxName = 256;
// Ordinals are 16 bits wide, so no image exports more; a larger count is a
// broken table that would otherwise be walked for minutes.
constexpr uint32_t kMaxExports = 0x10000;

// What differs between the image formats the loader reads.
struct Format {
  uint16_t machine, magic;
  uint32_t pointer_size;  // of ImageBase, import thunks and bound addresses
  uint32_t image_base, directory_count;  // offsets in the optional header
  // The one absolute relocation type the format uses: ARM64 code reaches
  // its own addresses PC-relative, so only pointers in data are relocated,
  // as on x86-64.
  uint16_t relocation;
  // The size of a function's entry in the exception directory (0: the
  // machine has none): a start, an end and the unwind data's RVA on x86-64;
  // a start and either the unwind data's RVA or the packed unwind data
  // itself (low two bits not 0) on ARM64. The platform unwinds through a
  // function by it, so every entry must name code of the image.
  uint32_t exception_entry;
  const char* refusal;  // when this process cannot run it
};
constexpr Format kFormats[] = {
    {kMachineI386, kOptionalMagic32, 4, 28, 92, kRelocHighLow, 0,
     "a 32-bit x86 image runs only in a 32-bit x86 process"},
    {kMachineAmd64, kOptionalMagic64, 8, 24, 108, kRelocDir64, 12,
     "an x86-64 image runs only in a 64-bit x86-64 process"},
    {kMachineArm64, kOptionalMagic64, 8, 24, 108, kRelocDir64, 8,
     "an ARM64 image runs only in a 64-bit ARM process"},
};

#define HOST_SERVICE(name) {#name, reinterpret_cast<void*>(PlatformCallable<&name>())}
#define HOST_USER_SERVICE(name) \
  {#name, reinterpret_cast<void*>(PlatformCallable<&usermode::name>())}
// win32k.sys's own: only 32-bit x86 images are offered them.
#define KERNEL_SERVICE(name) {#name, reinterpret_cast<void*>(&name)}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), ::tolower);
  return text;
}

int Protection(uint32_t characteristics) {
  int protection = PROT_NONE;
  if (characteristics & kSectionRead) protection |= PROT_READ;
  if (characteristics & kSectionWrite) protection |= PROT_WRITE;
  if (characteristics & kSectionExecute) protection |= PROT_EXEC;
  return protection;
}

// The engine services GDI32 exports to a user-mode graphics DLL as well.
std::map<std::string, void*> SurfaceAndTextServices() {
  return {
      HOST_SERVICE(EngCreateBitmap),   HOST_SERVICE(EngAssociateSurface),
      HOST_SERVICE(EngDeleteSurface),  HOST_SERVICE(EngCreatePalette),
      HOST_SERVICE(EngDeletePalette),  HOST_SERVICE(EngUnicodeToMultiByteN),
      HOST_SERVICE(STROBJ_vEnumStart), HOST_SERVICE(STROBJ_bEnum),
  };
}

}  // namespace

const ModuleServices& KernelModeServices() {
  static const ModuleServices services = [] {
    std::map<std::string, void*> win32k = SurfaceAndTextServices();
    win32k.insert({KERNEL_SERVICE(EngAllocMem), KERNEL_SERVICE(EngFreeMem),
                   KERNEL_SERVICE(EngWritePrinter), KERNEL_SERVICE(EngDebugPrint)});
    return ModuleServices{{"win32k.sys", win32k}};
  }();
  return services;
}

const ModuleServices& InterfaceDllServices() {
  static const ModuleServices services = {
      {"kernel32.dll",
       {
           HOST_USER_SERVICE(GetProcessHeap),
           HOST_USER_SERVICE(HeapAlloc),
           HOST_USER_SERVICE(HeapFree),
           HOST_USER_SERVICE(OutputDebugStringA),
           HOST_SERVICE(SetLastError),
       }},
      {"winspool.drv", {HOST_SERVICE(GetPrinterW)}},
  };
  return services;
}

const ModuleServices& UserModeServices() {
  static const ModuleServices services = [] {
    ModuleServices gdi = {
        {"gdi32.dll", SurfaceAndTextServices()},
        {"winspool.drv", {HOST_USER_SERVICE(WritePrinter)}},
    };
    gdi.insert(InterfaceDllServices().begin(), InterfaceDllServices().end());
    return gdi;
  }();
  return services;
}

const ModuleServices& GraphicsDllServices() {
  static const ModuleServices services = [] {
    ModuleServices either = UserModeServices();
    if (CanRunPeImage(kMachineI386)) {
      either.insert(KernelModeServices().begin(), KernelModeServices().end());
    }
    return either;
  }();
  return services;
}

// Reads the file's headers and lays the image out in memory.
class PeMapper {
 public:
  PeMapper(const std::vector<uint8_t>& file, const std::string& name,
           const ModuleServices& services)
      : file_(file), name_(name), services_(services) {}

  std::unique_ptr<PeImage> Map() {
    ReadHeaders();
    image_.reset(new PeImage);
    Reserve();
    CopySections();
    Relocate();
    BindImports();
    ReadExports();
    Protect();
    SetEntry();
    CheckExceptionData();
    return std::move(image_);
  }

 private:
  struct Section {
    std::string name;
    uint32_t virtual_address, virtual_size, raw_offset, raw_size, characteristics;
  };
  struct Directory {
    uint32_t rva = 0, size = 0;
    // Ends are reckoned in 64 bits, so no table wraps round to the headers.
    uint64_t end() const { return uint64_t{rva} + size; }
    bool Holds(uint32_t at) const { return at >= rva && at < end(); }
  };

  [[noreturn]] void Fail(const std::string& why) const {
    throw PeImageError(name_ + ": " + why);
  }

  // The format of the machine's images, when this process can run them.
  const Format& FormatOf(uint16_t machine) const {
    for (const Format& format : kFormats) {
      if (format.machine != machine) continue;
      if (!CanRunPeImage(machine)) Fail(format.refusal);
      return format;
    }
    char text[64];
    std::snprintf(text, sizeof text, "machine 0x%04x is not i386, x86-64 or ARM64", machine);
    Fail(text);
  }

  uint64_t ReadPointer(size_t offset) const {
    return format_->pointer_size == 8 ? Read<uint64_t>(offset) : Read<uint32_t>(offset);
  }
  uint64_t PointerAt(uint64_t rva) const {
    return format_->pointer_size == 8 ? At<uint64_t>(rva) : At<uint32_t>(rva);
  }
  // Adds delta to the pointer-sized value at rva (modulo its width).
  void AddToPointer(uint64_t rva, uint64_t delta) {
    if (format_->pointer_size == 8) return Put<uint64_t>(rva, At<uint64_t>(rva) + delta);
    Put<uint32_t>(rva, static_cast<uint32_t>(At<uint32_t>(rva) + delta));
  }
  template <typename T>
  void Put(uint64_t rva, T value) {
    RequireInImage(rva, sizeof value);
    std::memcpy(image_->base_ + rva, &value, sizeof value);
  }

  template <typename T>
  T Read(size_t offset) const {
    if (offset > file_.size() || file_.size() - offset < sizeof(T)) Fail("the file is truncated");
    T value;
    std::memcpy(&value, file_.data() + offset, sizeof(T));
    return value;
  }

  void RequireInImage(uint64_t rva, uint64_t size) const {
    if (rva > image_->size_ || image_->size_ - rva < size) Fail("a table lies outside the image");
  }

  template <typename T>
  T At(uint64_t rva) const {
    RequireInImage(rva, sizeof(T));
    T value;
    std::memcpy(&value, image_->base_ + rva, sizeof(T));
    return value;
  }

  std::string StringAt(uint64_t rva) const {
    if (rva >= image_->size_) Fail("a name runs past the end of the image");
    const char* start = reinterpret_cast<const char*>(image_->base_ + rva);
    const size_t length = strnlen(start, std::min<uint64_t>(image_->size_ - rva, kMaxName + 1));
    if (length > kMaxName) Fail("a name is longer than " + std::to_string(kMaxName) + " characters");
    if (rva + length >= image_->size_) Fail("a name runs past the end of the image");
    return std::string(start, length);
  }

  // The section that holds rva; nullptr when none does.
  const Section* SectionOf(uint64_t rva) const {
    for (const Section& s : sections_) {
      const uint64_t end = uint64_t{s.virtual_address} + std::max(s.virtual_size, s.raw_size);
      if (rva >= s.virtual_address && rva < end) return &s;
    }
    return nullptr;
  }

  void ReadHeaders() {
    if (Read<uint16_t>(0) != 0x5A4D) Fail("not a PE image (no MZ header)");
    const uint32_t pe = Read<uint32_t>(0x3C);
    if (Read<uint32_t>(pe) != 0x00004550) Fail("not a PE image (no PE signature)");
    format_ = &FormatOf(Read<uint16_t>(pe + 4));
    const uint16_t sections = Read<uint16_t>(pe + 6);
    const uint16_t optional_size = Read<uint16_t>(pe + 20);
    const size_t optional = pe + 24;
    if (Read<uint16_t>(optional) != format_->magic) Fail("the optional header does not match the machine");
    entry_rva_ = Read<uint32_t>(optional + 16);
    image_base_ = ReadPointer(optional + format_->image_base);
    image_size_ = Read<uint32_t>(optional + 56);
    headers_size_ = Read<uint32_t>(optional + 60);
    const size_t count = optional + format_->directory_count;
    const uint32_t directories = Read<uint32_t>(count);
    for (uint32_t i = 0; i < std::min<uint32_t>(directories, 16); ++i) {
      directories_[i] = {Read<uint32_t>(count + 4 + 8 * i), Read<uint32_t>(count + 8 + 8 * i)};
    }
    const size_t table = optional + optional_size;
    for (uint16_t i = 0; i < sections; ++i) {
      const size_t at = table + 40 * static_cast<size_t>(i);
      char raw_name[9] = {};
      for (int c = 0; c < 8; ++c) raw_name[c] = static_cast<char>(Read<uint8_t>(at + c));
      sections_.push_back({raw_name, Read<uint32_t>(at + 12), Read<uint32_t>(at + 8),
                           Read<uint32_t>(at + 20), Read<uint32_t>(at + 16), Read<uint32_t>(at + 36)});
    }
    if (image_size_ == 0 || headers_size_ > image_size_ || headers_size_ > file_.size()) {
      Fail("the headers do not fit the image");
    }
    if (entry_rva_ >= image_size_) Fail("the entry point lies outside the image");
  }

  void Reserve() {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    image_->size_ = image_size_;
    const size_t mapped = (image_size_ + page - 1) / page * page;
    void* base = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) Fail("no memory to map the image");
    image_->base_ = static_cast<uint8_t*>(base);
    std::memcpy(image_->base_, file_.data(), headers_size_);
  }

  void CopySections() {
    for (const Section& s : sections_) {
      const uint64_t end = uint64_t{s.virtual_address} + std::max(s.virtual_size, s.raw_size);
      if (end > image_size_) Fail("section " + s.name + " lies outside the image");
      if (uint64_t{s.raw_offset} + s.raw_size > file_.size()) Fail("section " + s.name + " lies outside the file");
      const uint32_t copied = std::min(s.raw_size, s.virtual_size ? s.virtual_size : s.raw_size);
      std::memcpy(image_->base_ + s.virtual_address, file_.data() + s.raw_offset, copied);
    }
  }

  // Nothing here unwinds through the image, but the platform does, so its
  // exception data must describe the image's own code.
  void CheckExceptionData() {
    const Directory& table = directories_[kDirectoryException];
    if (table.size == 0) return;
    const uint32_t entry = format_->exception_entry;
    if (entry == 0) Fail("the image has exception data, which its machine does not use");
    if (table.end() > image_size_ || table.size % entry != 0) {
      Fail("the exception directory is malformed");
    }
    for (uint64_t at = table.rva; at < table.end(); at += entry) {
      const Section* code = SectionOf(At<uint32_t>(at));
      if (code == nullptr || (code->characteristics & kSectionExecute) == 0) {
        Fail("the exception data names a function outside the image's code");
      }
      const uint32_t unwind = At<uint32_t>(at + entry - 4);
      const bool packed = format_->machine == kMachineArm64 && (unwind & 3) != 0;
      if (!packed && unwind >= image_size_) Fail("the exception data's unwind data lies outside the image");
    }
  }

  void Relocate() {
    const Directory& relocs = directories_[kDirectoryBaseReloc];
    const uint64_t delta = reinterpret_cast<uintptr_t>(image_->base_) - image_base_;
    if (relocs.size == 0) {
      if (delta != 0) Fail("the image has no base relocations and cannot move");
      return;
    }
    if (relocs.end() > image_size_) Fail("the base relocations lie outside the image");
    for (uint64_t at = relocs.rva; at < relocs.end();) {
      const uint32_t page = At<uint32_t>(at);
      const uint32_t block = At<uint32_t>(at + 4);
      if (block < 8 || block > relocs.end() - at) Fail("a base relocation block is malformed");
      for (uint64_t entry = at + 8; entry < at + block; entry += 2) {
        const uint16_t value = At<uint16_t>(entry);
        const uint16_t type = value >> 12;
        if (type == kRelocAbsolute) continue;
        if (type != format_->relocation) Fail("unsupported base relocation type " + std::to_string(type));
        AddToPointer(uint64_t{page} + (value & 0x0FFF), delta);
      }
      at += block;
    }
  }

  void BindImports() {
    const Directory& imports = directories_[kDirectoryImport];
    for (uint64_t at = imports.rva; imports.size != 0; at += 20) {
      const uint32_t lookup = At<uint32_t>(at);
      const uint32_t module = At<uint32_t>(at + 12);
      const uint32_t bound = At<uint32_t>(at + 16);
      if (module == 0 && bound == 0) break;
      const std::string dll = Lower(StringAt(module));
      auto known = services_.find(dll);
      if (known == services_.end()) Fail("imports from " + dll + ", which the host does not provide for this image");
      BindModule(dll, known->second, lookup ? lookup : bound, bound);
    }
  }

  void BindModule(const std::string& dll, const std::map<std::string, void*>& services,
                  uint64_t lookup, uint64_t bound) {
    const uint32_t step = format_->pointer_size;
    const uint64_t by_ordinal = uint64_t{1} << (8 * step - 1);
    for (;; lookup += step, bound += step) {
      const uint64_t thunk = PointerAt(lookup);
      if (thunk == 0) return;
      if (thunk & by_ordinal) Fail("imports " + dll + " by ordinal");
      if (thunk > 0x7FFFFFFFu) Fail("an import of " + dll + " names no valid hint/name entry");
      const std::string name = StringAt(thunk + 2);
      auto service = services.find(name);
      if (service == services.end()) Fail("imports " + name + ", which is not a known " + dll + " service");
      if (step == 8) {
        Put<uint64_t>(bound, reinterpret_cast<uintptr_t>(service->second));
      } else {
        Put<uint32_t>(bound, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(service->second)));
      }
      image_->imports_.push_back(dll + "!" + name);
    }
  }

  // The export directory's names and the functions they stand for.
  void ReadExports() {
    const Directory& exports = directories_[kDirectoryExport];
    if (exports.size == 0) return;
    if (exports.end() > image_size_) Fail("the export directory lies outside the image");
    const uint32_t function_count = At<uint32_t>(uint64_t{exports.rva} + 20);
    const uint32_t count = At<uint32_t>(uint64_t{exports.rva} + 24);
    const uint64_t functions = At<uint32_t>(uint64_t{exports.rva} + 28);
    const uint64_t names = At<uint32_t>(uint64_t{exports.rva} + 32);
    const uint64_t ordinals = At<uint32_t>(uint64_t{exports.rva} + 36);
    if (count > kMaxExports) Fail("the export directory names more than 65536 exports");
    RequireInImage(names, 4 * uint64_t{count});
    RequireInImage(ordinals, 2 * uint64_t{count});
    for (uint32_t i = 0; i < count; ++i) {
      const std::string name = StringAt(At<uint32_t>(names + 4 * uint64_t{i}));
      const uint16_t ordinal = At<uint16_t>(ordinals + 2 * uint64_t{i});
      if (ordinal >= function_count) Fail("export " + name + " has no function (ordinal " + std::to_string(ordinal) + ")");
      const uint32_t rva = At<uint32_t>(functions + 4 * uint64_t{ordinal});
      if (rva == 0) Fail("export " + name + " has no address");
      if (rva >= image_size_) Fail("export " + name + " lies outside the image");
      // An address inside the directory is the name of another module's export.
      if (exports.Holds(rva)) Fail("export " + name + " is forwarded to another module");
      image_->exports_[name] = rva;
    }
  }

  // Each section gets its own pages, so sections must start on a page.
  void Protect() {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    if (mprotect(image_->base_, (headers_size_ + page - 1) / page * page, PROT_READ) != 0) {
      Fail("the headers cannot be protected");
    }
    for (const Section& s : sections_) {
      const size_t size = (std::max(s.virtual_size, s.raw_size) + page - 1) / page * page;
      if (size == 0) continue;
      if (s.virtual_address % page != 0) Fail("section " + s.name + " does not start on a page");
      if (mprotect(image_->base_ + s.virtual_address, size, Protection(s.characteristics)) != 0) {
        Fail("section " + s.name + " cannot be protected");
      }
    }
  }

  // The export DrvEnableDriver, else the image's entry point. An image given
  // the engine's services is a graphics DLL and must have one of them.
  void SetEntry() {
    void* entry = image_->Export("DrvEnableDriver");
    if (entry == nullptr && entry_rva_ != 0) entry = image_->base_ + entry_rva_;
    if (entry == nullptr) {
      if (services_.contains("gdi32.dll") || services_.contains("win32k.sys")) {
        Fail("the image exports no DrvEnableDriver and has no entry point");
      }
      return;
    }
    const Section* code = SectionOf(static_cast<uint8_t*>(entry) - image_->base_);
    if (code == nullptr || (code->characteristics & kSectionExecute) == 0) {
      Fail("the entry point lies outside the image's code");
    }
    image_->entry_ = reinterpret_cast<DrvEnableDriverEntry>(reinterpret_cast<void (*)(void)>(entry));
  }

  const std::vector<uint8_t>& file_;
  std::string name_;
  const ModuleServices& services_;
  std::unique_ptr<PeImage> image_;
  const Format* format_ = nullptr;
  uint64_t image_base_ = 0;
  uint32_t entry_rva_ = 0, image_size_ = 0, headers_size_ = 0;
  Directory directories_[16];
  std::vector<Section> sections_;
};

std::unique_ptr<PeImage> PeImage::Load(const std::string& path, const ModuleServices& services) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw PeImageError(path + ": cannot be read");
  std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return Load(file, path, services);
}

std::unique_ptr<PeImage> PeImage::Load(const std::vector<uint8_t>& file, const std::string& name,
                                       const ModuleServices& services) {
  return PeMapper(file, name, services).Map();
}

void* PeImage::Export(const std::string& name) const {
  auto found = exports_.find(name);
  return found == exports_.end() ? nullptr : base_ + found->second;
}

PeImage::~PeImage() {
  if (base_ != nullptr) munmap(base_, size_);
}

}  // namespace host
