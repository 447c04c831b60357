// The PE loader on any file, as `textrelay print --driver FILE` meets it: a
// clear refusal or an image with an entry point in its code, never a stray
// access, a hang or a crash. The loaded image's code is never called.
//
// Input: the file's bytes.
#include "fuzz/contract.h"
#include "host/pe_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> file(data, data + size);
  try {
    const std::unique_ptr<host::PeImage> image = host::PeImage::Load(file, "fuzz.dll");
    fuzz::Require(image->entry() != nullptr, "a graphics DLL loaded without DrvEnableDriver");
  } catch (const host::PeImageError& error) {
    fuzz::Require(std::string(error.what()).starts_with("fuzz.dll: "),
                  "a refusal that does not name the file");
  }
  return 0;
}
