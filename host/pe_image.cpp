#include "host/pe_image.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

#include "engine/engine.h"

namespace host {

namespace {

constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kOptionalMagic32 = 0x010B;
constexpr uint32_t kDirectoryImport = 1;
constexpr uint32_t kDirectoryBaseReloc = 5;
constexpr uint32_t kSectionExecute = 0x20000000;
constexpr uint32_t kSectionRead = 0x40000000;
constexpr uint32_t kSectionWrite = 0x80000000;
constexpr uint16_t kRelocAbsolute = 0;
constexpr uint16_t kRelocHighLow = 3;

// The engine services the driver may import, and where the host has them.
const std::map<std::string, void*>& KnownServices() {
  static const std::map<std::string, void*> services = {
      {"EngAllocMem", reinterpret_cast<void*>(&EngAllocMem)},
      {"EngFreeMem", reinterpret_cast<void*>(&EngFreeMem)},
      {"EngWritePrinter", reinterpret_cast<void*>(&EngWritePrinter)},
      {"EngCreateBitmap", reinterpret_cast<void*>(&EngCreateBitmap)},
      {"EngAssociateSurface", reinterpret_cast<void*>(&EngAssociateSurface)},
      {"EngDeleteSurface", reinterpret_cast<void*>(&EngDeleteSurface)},
      {"EngCreatePalette", reinterpret_cast<void*>(&EngCreatePalette)},
      {"EngDeletePalette", reinterpret_cast<void*>(&EngDeletePalette)},
      {"EngUnicodeToMultiByteN", reinterpret_cast<void*>(&EngUnicodeToMultiByteN)},
      {"STROBJ_vEnumStart", reinterpret_cast<void*>(&STROBJ_vEnumStart)},
      {"STROBJ_bEnum", reinterpret_cast<void*>(&STROBJ_bEnum)},
      {"EngDebugPrint", reinterpret_cast<void*>(&EngDebugPrint)},
  };
  return services;
}

bool SameName(std::string a, std::string b) {
  auto lower = [](std::string& s) { std::transform(s.begin(), s.end(), s.begin(), ::tolower); };
  lower(a);
  lower(b);
  return a == b;
}

int Protection(uint32_t characteristics) {
  int protection = PROT_NONE;
  if (characteristics & kSectionRead) protection |= PROT_READ;
  if (characteristics & kSectionWrite) protection |= PROT_WRITE;
  if (characteristics & kSectionExecute) protection |= PROT_EXEC;
  return protection;
}

}  // namespace

// Reads the file's headers and lays the image out in memory.
class PeMapper {
 public:
  PeMapper(const std::vector<uint8_t>& file, const std::string& name) : file_(file), name_(name) {}

  std::unique_ptr<PeImage> Map() {
    if (!kCanRunPeImages) Fail("a 32-bit x86 image runs only in a 32-bit x86 process");
    ReadHeaders();
    image_.reset(new PeImage);
    Reserve();
    CopySections();
    Relocate();
    BindImports();
    Protect();
    image_->entry_ = reinterpret_cast<DrvEnableDriverEntry>(
        reinterpret_cast<void (*)(void)>(image_->base_ + entry_rva_));
    return std::move(image_);
  }

 private:
  struct Section {
    std::string name;
    uint32_t virtual_address, virtual_size, raw_offset, raw_size, characteristics;
  };
  struct Directory {
    uint32_t rva = 0, size = 0;
  };

  [[noreturn]] void Fail(const std::string& why) const {
    throw PeImageError(name_ + ": " + why);
  }

  template <typename T>
  T Read(size_t offset) const {
    if (offset > file_.size() || file_.size() - offset < sizeof(T)) Fail("the file is truncated");
    T value;
    std::memcpy(&value, file_.data() + offset, sizeof(T));
    return value;
  }

  template <typename T>
  T At(uint32_t rva) const {
    if (rva > image_->size_ || image_->size_ - rva < sizeof(T)) Fail("a table lies outside the image");
    T value;
    std::memcpy(&value, image_->base_ + rva, sizeof(T));
    return value;
  }

  std::string StringAt(uint32_t rva) const {
    std::string text;
    for (; rva < image_->size_ && image_->base_[rva] != 0; ++rva) text += static_cast<char>(image_->base_[rva]);
    if (rva >= image_->size_) Fail("a name runs past the end of the image");
    return text;
  }

  void ReadHeaders() {
    if (Read<uint16_t>(0) != 0x5A4D) Fail("not a PE image (no MZ header)");
    const uint32_t pe = Read<uint32_t>(0x3C);
    if (Read<uint32_t>(pe) != 0x00004550) Fail("not a PE image (no PE signature)");
    const uint16_t machine = Read<uint16_t>(pe + 4);
    if (machine != kMachineI386) {
      char text[64];
      std::snprintf(text, sizeof text, "machine 0x%04x is not i386", machine);
      Fail(text);
    }
    const uint16_t sections = Read<uint16_t>(pe + 6);
    const uint16_t optional_size = Read<uint16_t>(pe + 20);
    const size_t optional = pe + 24;
    if (Read<uint16_t>(optional) != kOptionalMagic32) Fail("not a 32-bit optional header");
    entry_rva_ = Read<uint32_t>(optional + 16);
    image_base_ = Read<uint32_t>(optional + 28);
    image_size_ = Read<uint32_t>(optional + 56);
    headers_size_ = Read<uint32_t>(optional + 60);
    const uint32_t directories = Read<uint32_t>(optional + 92);
    for (uint32_t i = 0; i < std::min<uint32_t>(directories, 16); ++i) {
      directories_[i] = {Read<uint32_t>(optional + 96 + 8 * i), Read<uint32_t>(optional + 100 + 8 * i)};
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

  void Relocate() {
    const Directory& relocs = directories_[kDirectoryBaseReloc];
    const uint32_t delta = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(image_->base_)) - image_base_;
    if (relocs.size == 0) {
      if (delta != 0) Fail("the image has no base relocations and cannot move");
      return;
    }
    for (uint32_t at = relocs.rva; at < relocs.rva + relocs.size;) {
      const uint32_t page = At<uint32_t>(at);
      const uint32_t block = At<uint32_t>(at + 4);
      if (block < 8) Fail("a base relocation block is malformed");
      for (uint32_t entry = at + 8; entry < at + block; entry += 2) {
        const uint16_t value = At<uint16_t>(entry);
        const uint16_t type = value >> 12;
        if (type == kRelocAbsolute) continue;
        if (type != kRelocHighLow) Fail("unsupported base relocation type " + std::to_string(type));
        const uint32_t target = page + (value & 0x0FFF);
        const uint32_t fixed = At<uint32_t>(target) + delta;
        std::memcpy(image_->base_ + target, &fixed, sizeof fixed);
      }
      at += block;
    }
  }

  void BindImports() {
    const Directory& imports = directories_[kDirectoryImport];
    for (uint32_t at = imports.rva; imports.size != 0; at += 20) {
      const uint32_t lookup = At<uint32_t>(at);
      const uint32_t module = At<uint32_t>(at + 12);
      const uint32_t bound = At<uint32_t>(at + 16);
      if (module == 0 && bound == 0) break;
      const std::string dll = StringAt(module);
      if (!SameName(dll, "win32k.sys")) Fail("imports from " + dll + "; only win32k.sys is allowed");
      BindModule(lookup ? lookup : bound, bound);
    }
  }

  void BindModule(uint32_t lookup, uint32_t bound) {
    for (;; lookup += 4, bound += 4) {
      const uint32_t thunk = At<uint32_t>(lookup);
      if (thunk == 0) return;
      if (thunk & 0x80000000u) Fail("imports win32k.sys by ordinal");
      const std::string name = StringAt(thunk + 2);
      auto service = KnownServices().find(name);
      if (service == KnownServices().end()) Fail("imports " + name + ", which is not a known win32k.sys service");
      const uint32_t address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(service->second));
      std::memcpy(image_->base_ + bound, &address, sizeof address);
      image_->imports_.push_back(name);
    }
  }

  void Protect() {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    mprotect(image_->base_, (headers_size_ + page - 1) / page * page, PROT_READ);
    for (const Section& s : sections_) {
      const size_t size = (std::max(s.virtual_size, s.raw_size) + page - 1) / page * page;
      if (size != 0) mprotect(image_->base_ + s.virtual_address, size, Protection(s.characteristics));
    }
  }

  const std::vector<uint8_t>& file_;
  std::string name_;
  std::unique_ptr<PeImage> image_;
  uint32_t entry_rva_ = 0, image_base_ = 0, image_size_ = 0, headers_size_ = 0;
  Directory directories_[16];
  std::vector<Section> sections_;
};

std::unique_ptr<PeImage> PeImage::Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw PeImageError(path + ": cannot be read");
  std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return Load(file, path);
}

std::unique_ptr<PeImage> PeImage::Load(const std::vector<uint8_t>& file, const std::string& name) {
  return PeMapper(file, name).Map();
}

PeImage::~PeImage() {
  if (base_ != nullptr) munmap(base_, size_);
}

}  // namespace host
