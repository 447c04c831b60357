// The settings' labels for the web page and for clients: one strings file
// per language (tools/strings/), built into the program.
#pragma once

#include <pappl/pappl.h>

#include <span>

namespace textrelay::app {

struct LanguageStrings {
  const char* language;  // ISO language tag
  const char* text;      // the strings file
};

// Made by the build from tools/strings/.
std::span<const LanguageStrings> SettingStrings();

// Serves each language's file at /textrelay/LANGUAGE.strings, which is
// what printer-strings-uri names, and adds its labels to the web page's.
void AddSettingStrings(pappl_system_t* system);

}  // namespace textrelay::app
