// The framework reads a request's requested-attributes through libcups's
// ippCreateRequestedArray; the program's own, which the framework's calls
// reach first, mends two things PAPPL 1.3.1 gets wrong for this driver:
// - libcups expands requested-attributes=printer-description into a fixed
//   list of standard names, so the vendor attributes, which describe the
//   printer, would be left out of such an answer: they are added.
// - Once a strings file is served, each Get-Printer-Attributes that asks
//   for printer-strings-languages-supported (all do by default) appends it
//   to the printer's own attributes again, so every later answer repeats
//   it: it is never asked for. printer-strings-uri names the file.
#include <cups/cups.h>
#include <dlfcn.h>

#include <cstring>
#include <string>
#include <vector>

#include "tools/setting_table.h"

namespace {

using CreateRequestedArray = cups_array_t* (*)(ipp_t*);

constexpr const char* kWithheld = "printer-strings-languages-supported";

const std::vector<std::string>& VendorDescriptionNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> list;
    for (const textrelay::SettingRow& row : textrelay::SettingTable()) {
      if ((row.faces & textrelay::kApp) == 0) continue;
      list.push_back(std::string(row.name) + "-default");
      list.push_back(std::string(row.name) + "-supported");
    }
    return list;
  }();
  return names;
}

bool AsksForDescription(ipp_t* request) {
  ipp_attribute_t* requested = ippFindAttribute(request, "requested-attributes", IPP_TAG_KEYWORD);
  for (int i = 0; i < ippGetCount(requested); ++i) {
    const char* value = ippGetString(requested, i, nullptr);
    if (std::strcmp(value, "printer-description") == 0 || std::strcmp(value, "all") == 0) return true;
  }
  return false;
}

// Every name matches the one element but the withheld one: the framework
// looks names up with cupsArrayFind, which asks this function.
int AnyButWithheld(void* first, void* second, void*) {
  const bool withheld = std::strcmp(static_cast<const char*>(first), kWithheld) == 0 ||
                        std::strcmp(static_cast<const char*>(second), kWithheld) == 0;
  return withheld && std::strcmp(static_cast<const char*>(first), static_cast<const char*>(second)) != 0;
}

cups_array_t* AllButWithheld() {
  cups_array_t* all = cupsArrayNew(AnyButWithheld, nullptr);
  cupsArrayAdd(all, const_cast<char*>("all"));
  return all;
}

bool AsksForPrinters(ipp_t* request) {
  const ipp_op_t operation = ippGetOperation(request);
  return operation == IPP_OP_GET_PRINTER_ATTRIBUTES || operation == IPP_OP_GET_PRINTERS ||
         operation == IPP_OP_CUPS_GET_PRINTERS || operation == IPP_OP_CUPS_GET_DEFAULT;
}

}  // namespace

extern "C" cups_array_t* ippCreateRequestedArray(ipp_t* request) {
  static const auto libcups =
      reinterpret_cast<CreateRequestedArray>(dlsym(RTLD_NEXT, "ippCreateRequestedArray"));
  cups_array_t* requested = libcups(request);
  if (!AsksForPrinters(request)) return requested;
  // Null asks for everything.
  if (requested == nullptr) return AllButWithheld();
  cupsArrayRemove(requested, const_cast<char*>(kWithheld));
  if (!AsksForDescription(request)) return requested;
  for (const std::string& name : VendorDescriptionNames()) {
    cupsArrayAdd(requested, const_cast<char*>(name.c_str()));
  }
  return requested;
}
