#include "tools/app/test_page.h"

#include <iconv.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "tools/app/print_job.h"

namespace textrelay::app {

namespace {

constexpr int kRulerColumns = 80;

std::string Value(const VendorValues& settings, const char* name) {
  const auto found = settings.find(name);
  if (found != settings.end()) return found->second;
  for (const VendorSetting& setting : VendorSettings()) {
    if (std::string(setting.name) == name) return setting.row->choices[setting.default_choice].ipp;
  }
  return "";
}

// Two lines: the tens above the units of every column.
std::string Ruler() {
  std::string tens, units;
  for (int column = 1; column <= kRulerColumns; ++column) {
    tens += column % 10 == 0 ? static_cast<char>('0' + column / 10 % 10) : ' ';
    units += static_cast<char>('0' + column % 10);
  }
  return tens + "\n" + units + "\n";
}

// The character a single byte stands for in the code page, as UTF-8; empty
// for a control code and for a byte that is not a character by itself (a
// lead byte of a double-byte code page).
std::string CharacterOf(iconv_t to_utf8, unsigned char byte) {
  if (byte < 0x20 || byte == 0x7F) return "";
  char in[1] = {static_cast<char>(byte)};
  char out[8];
  char* in_pointer = in;
  char* out_pointer = out;
  size_t in_left = 1, out_left = sizeof out;
  iconv(to_utf8, nullptr, nullptr, nullptr, nullptr);
  if (iconv(to_utf8, &in_pointer, &in_left, &out_pointer, &out_left) == static_cast<size_t>(-1)) return "";
  const std::string character(out, out_pointer);
  const bool control = character.size() == 2 && static_cast<unsigned char>(character[0]) == 0xC2 &&
                       static_cast<unsigned char>(character[1]) < 0xA0;
  return control ? "" : character;
}

// Rows of sixteen, each headed by the hexadecimal of its first byte; a
// byte that is no character by itself shows as a space.
std::string CodePageTable(const std::string& code_page) {
  const iconv_t to_utf8 = iconv_open("UTF-8", code_page.c_str());
  if (to_utf8 == reinterpret_cast<iconv_t>(-1)) return "";
  std::string table;
  for (int row = 0x20; row < 0x100; row += 16) {
    char head[8];
    std::snprintf(head, sizeof head, "%02X:", row);
    table += head;
    for (int byte = row; byte < row + 16; ++byte) {
      const std::string character = CharacterOf(to_utf8, static_cast<unsigned char>(byte));
      table += " " + (character.empty() ? std::string(" ") : character);
    }
    table += "\n";
  }
  iconv_close(to_utf8);
  return table;
}

}  // namespace

std::string TestPageText(const std::string& printer_name, const std::string& device_uri,
                         const VendorValues& settings) {
  std::string text = "textrelay test page\n\nPrinter: " + printer_name + "\nDevice: " + device_uri + "\n";
  for (const VendorSetting& setting : VendorSettings()) {
    text += std::string(setting.name) + ": " + Value(settings, setting.name) + "\n";
  }
  const std::string code_page = Value(settings, "textrelay-code-page");
  return text + "\nColumns:\n" + Ruler() + "\nCode page " + code_page + ":\n" + CodePageTable(code_page);
}

const char* WriteTestPage(pappl_printer_t* printer, char* buffer, size_t size) {
  const char* uri = papplPrinterGetDeviceURI(printer);
  std::string text;
  try {
    text = TestPageText(papplPrinterGetName(printer), uri != nullptr ? uri : "", PrinterDefaults(printer));
  } catch (const std::exception&) {
    return nullptr;  // out of memory: no page, and nothing thrown into PAPPL
  }
  std::snprintf(buffer, size, "%s/textrelay-test-page-XXXXXX", papplGetTempDir());
  const int fd = mkstemp(buffer);
  if (fd < 0) return nullptr;
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  if (written) return buffer;
  unlink(buffer);
  return nullptr;
}

}  // namespace textrelay::app
