// What a driver checker would stop the system for: misuse of an engine
// service. Tests fail when any is left unexamined.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace host {

class Findings {
 public:
  void Add(std::string what) { list_.push_back(std::move(what)); }
  const std::vector<std::string>& list() const { return list_; }
  std::vector<std::string> Take() { return std::exchange(list_, {}); }
  void Clear() { list_.clear(); }

 private:
  std::vector<std::string> list_;
};

}  // namespace host
