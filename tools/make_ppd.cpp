// textrelay-make-ppd TEMPLATE ENGLISH_STRINGS VERSION OUTPUT: the build's
// PPD generator.
#include <cstdio>
#include <exception>
#include <fstream>
#include <sstream>

#include "tools/destination.h"
#include "tools/failure.h"
#include "tools/ppd_settings.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "Usage: %s TEMPLATE ENGLISH_STRINGS VERSION OUTPUT\n", argv[0]);
    return 2;
  }
  try {
    std::ifstream file(argv[1], std::ios::binary);
    if (!file) textrelay::FailWithErrno(argv[1]);
    std::ostringstream text;
    text << file.rdbuf();
    const std::string ppd =
        textrelay::MakePpd(text.str(), textrelay::ReadStringsFile(argv[2]), argv[3]);
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
