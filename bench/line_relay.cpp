// The least a line relay does, the yardstick for whole jobs: each line of
// standard input, without its line break, and CR LF after it, to standard
// output.
#include <cstdio>
#include <cstdlib>

#include <sys/types.h>

int main() {
  char* line = nullptr;
  size_t capacity = 0;
  ssize_t read;
  while ((read = getline(&line, &capacity, stdin)) > 0) {
    size_t length = static_cast<size_t>(read);
    if (line[length - 1] == '\n') --length;
    if (length > 0 && line[length - 1] == '\r') --length;
    if (std::fwrite(line, 1, length, stdout) != length || std::fwrite("\r\n", 1, 2, stdout) != 2) {
      std::perror("line_relay");
      return 1;
    }
  }
  std::free(line);
  if (std::ferror(stdin) || std::fflush(stdout) != 0) {
    std::perror("line_relay");
    return 1;
  }
  return 0;
}
