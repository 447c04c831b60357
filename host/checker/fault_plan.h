// Decides which calls of one engine service fail: the k-th from now, every
// one, or at random from a seed. Each call of the service asks Next() once.
#pragma once

#include <cstdint>
#include <random>

namespace host {

class FaultPlan {
 public:
  void FailNth(uint64_t k);  // the k-th call from now (1 is the next one)
  void FailAll();
  void FailRandom(uint64_t seed, double rate);
  void Clear();

  bool Next();  // counts one call; true when that call must fail
  uint64_t Calls() const { return calls_; }
  uint64_t Failures() const { return failures_; }

 private:
  enum class Mode { kNone, kNth, kAll, kRandom };
  Mode mode_ = Mode::kNone;
  uint64_t countdown_ = 0;
  double rate_ = 0;
  std::mt19937_64 random_;
  uint64_t calls_ = 0;
  uint64_t failures_ = 0;
};

}  // namespace host
