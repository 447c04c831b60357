// The vendor attributes are printer description attributes, but libcups
// expands requested-attributes=printer-description into a fixed list of
// the standard ones, so PAPPL would leave them out of such an answer. The
// program's own ippCreateRequestedArray, which the framework's calls reach
// before libcups's, adds them to that group.
#include <cups/cups.h>
#include <dlfcn.h>

#include <cstring>
#include <string>
#include <vector>

#include "tools/setting_table.h"

namespace {

using CreateRequestedArray = cups_array_t* (*)(ipp_t*);

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

bool AsksForGroup(ipp_t* request) {
  ipp_attribute_t* requested = ippFindAttribute(request, "requested-attributes", IPP_TAG_KEYWORD);
  for (int i = 0; i < ippGetCount(requested); ++i) {
    const char* value = ippGetString(requested, i, nullptr);
    if (std::strcmp(value, "printer-description") == 0 || std::strcmp(value, "all") == 0) return true;
  }
  return false;
}

}  // namespace

extern "C" cups_array_t* ippCreateRequestedArray(ipp_t* request) {
  static const auto libcups =
      reinterpret_cast<CreateRequestedArray>(dlsym(RTLD_NEXT, "ippCreateRequestedArray"));
  cups_array_t* requested = libcups(request);
  // Null asks for everything.
  if (requested == nullptr || !AsksForGroup(request)) return requested;
  for (const std::string& name : VendorDescriptionNames()) {
    cupsArrayAdd(requested, const_cast<char*>(name.c_str()));
  }
  return requested;
}
