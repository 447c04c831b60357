#include "tools/app/command_arguments.h"

#include <cstring>

namespace textrelay::app {

namespace {

// The framework's options that take the next argument as their value.
bool TakesValue(char option) { return std::strchr("dhjmnotuv", option) != nullptr; }

}  // namespace

std::string SubCommandOf(const std::vector<std::string>& arguments) {
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument.size() > 1 && argument[0] == '-' && argument[1] != '-') {
      for (size_t letter = 1; letter < argument.size(); ++letter) {
        if (TakesValue(argument[letter])) ++i;
      }
      continue;
    }
    if (argument.rfind("--", 0) == 0 || argument == "-") continue;
    return argument;
  }
  return "";
}

std::vector<std::string> WithCopiesAsOption(std::vector<std::string> arguments) {
  for (size_t i = 1; i + 1 < arguments.size(); ++i) {
    if (arguments[i] == "-n") {
      arguments[i] = "-o";
      arguments[i + 1] = "copies=" + arguments[i + 1];
    }
  }
  return arguments;
}

std::vector<std::string> WithServerDefaults(std::vector<std::string> arguments) {
  if (SubCommandOf(arguments) != "server") return arguments;
  for (const std::string& argument : arguments) {
    if (argument.find("server-options=") != std::string::npos) return arguments;
  }
  arguments.insert(arguments.end(), {"-o", "server-options=web-security,web-log"});
  return arguments;
}

}  // namespace textrelay::app
