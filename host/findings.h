// What a driver checker would stop the system for: misuse of an engine
// service. Tests fail when any is left unexamined. Safe to add to from
// several threads.
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace host {

class Findings {
 public:
  void Add(std::string what) {
    std::lock_guard lock(mutex_);
    list_.push_back(std::move(what));
  }
  std::vector<std::string> list() const {
    std::lock_guard lock(mutex_);
    return list_;
  }
  std::vector<std::string> Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(list_, {});
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    list_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> list_;
};

}  // namespace host
