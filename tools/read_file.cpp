#include "tools/read_file.h"

#include <fstream>
#include <sstream>

#include "tools/failure.h"

namespace textrelay {

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) FailWithErrno(path);
  std::ostringstream text;
  text << file.rdbuf();
  if (file.bad()) FailWithErrno(path);
  return text.str();
}

}  // namespace textrelay
