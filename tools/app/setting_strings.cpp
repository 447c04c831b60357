#include "tools/app/setting_strings.h"

#include <string>

namespace textrelay::app {

void AddSettingStrings(pappl_system_t* system) {
  for (const LanguageStrings& strings : SettingStrings()) {
    const std::string path = std::string("/textrelay/") + strings.language + ".strings";
    papplSystemAddStringsData(system, path.c_str(), strings.language, strings.text);
  }
}

}  // namespace textrelay::app
