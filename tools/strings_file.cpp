#include "tools/strings_file.h"

#include <cctype>

#include "tools/failure.h"
#include "tools/read_file.h"

namespace textrelay {

namespace {

class StringsReader {
 public:
  explicit StringsReader(std::string_view text) : text_(text) {}

  bool AtEnd() {
    SkipSpace();
    return text_.empty();
  }

  std::pair<std::string, std::string> Pair() {
    std::string key = Quoted();
    Expect('=');
    std::string value = Quoted();
    Expect(';');
    return {std::move(key), std::move(value)};
  }

  [[noreturn]] void Fail(const std::string& what) const {
    throw Failure("strings line " + std::to_string(line_) + ": " + what);
  }

 private:
  void Take(size_t count) {
    for (size_t i = 0; i < count; ++i) line_ += text_[i] == '\n';
    text_.remove_prefix(count);
  }

  void SkipSpace() {
    while (!text_.empty() && std::isspace(static_cast<unsigned char>(text_.front()))) Take(1);
  }

  void Expect(char c) {
    SkipSpace();
    if (text_.empty() || text_.front() != c) Fail(std::string("expected '") + c + "'");
    Take(1);
  }

  std::string Quoted() {
    Expect('"');
    std::string out;
    while (!text_.empty() && text_.front() != '"' && text_.front() != '\n') {
      if (text_.front() == '\\' && text_.size() > 1) {
        Take(1);
        out += text_.front() == 'n' ? '\n' : text_.front();
      } else {
        out += text_.front();
      }
      Take(1);
    }
    if (text_.empty() || text_.front() != '"') Fail("a string is not closed on its line");
    Take(1);
    return out;
  }

  std::string_view text_;
  int line_ = 1;
};

}  // namespace

Strings ParseStrings(std::string_view text) {
  StringsReader reader(text);
  Strings strings;
  while (!reader.AtEnd()) {
    auto [key, value] = reader.Pair();
    if (!strings.emplace(key, std::move(value)).second) reader.Fail("\"" + key + "\" is given twice");
  }
  return strings;
}

Strings ReadStringsFile(const std::string& path) {
  const std::string text = ReadFile(path);
  try {
    return ParseStrings(text);
  } catch (const Failure& failure) {
    throw Failure(path + ": " + failure.what());
  }
}

const std::string& Label(const Strings& strings, const std::string& key) {
  const auto found = strings.find(key);
  if (found == strings.end()) throw Failure("no label for " + key);
  return found->second;
}

}  // namespace textrelay
