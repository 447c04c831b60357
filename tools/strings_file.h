// Strings files, the labels' format for PAPPL and its clients:
//   "key" = "text";
// with \" \\ \n escapes. No comments: PAPPL 1.3.1 takes the character
// after one for the next key's opening quote.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace textrelay {

using Strings = std::map<std::string, std::string>;

// Throws Failure naming the line of the first thing that is not a pair, or
// of a key given twice.
Strings ParseStrings(std::string_view text);
// Throws Failure naming the file when it cannot be read.
Strings ReadStringsFile(const std::string& path);

// The label of a key, or Failure naming the key and the file's language.
const std::string& Label(const Strings& strings, const std::string& key);

}  // namespace textrelay
