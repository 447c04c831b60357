// textrelay-make-ppd TEMPLATE ENGLISH_STRINGS VERSION OUTPUT: the build's
// PPD generator.
#include <cstdio>
#include <exception>

#include "tools/destination.h"
#include "tools/ppd_settings.h"
#include "tools/read_file.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "Usage: %s TEMPLATE ENGLISH_STRINGS VERSION OUTPUT\n", argv[0]);
    return 2;
  }
  try {
    const std::string ppd = textrelay::MakePpd(textrelay::ReadFile(argv[1]),
                                               textrelay::ReadStringsFile(argv[2]), argv[3]);
    const auto output = textrelay::OpenFileDestination(argv[4]);
    output->BeginJob(argv[4]);
    output->Write({reinterpret_cast<const uint8_t*>(ppd.data()), ppd.size()});
    output->EndJob();
    output->Commit();
    return 0;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "textrelay-make-ppd: %s\n", failure.what());
    return 1;
  }
}
