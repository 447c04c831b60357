#include "host/checker/fault_plan.h"

namespace host {

void FaultPlan::FailNth(uint64_t k) {
  mode_ = k == 0 ? Mode::kNone : Mode::kNth;
  countdown_ = k;
}

void FaultPlan::FailAll() { mode_ = Mode::kAll; }

void FaultPlan::FailRandom(uint64_t seed, double rate) {
  mode_ = Mode::kRandom;
  random_.seed(seed);
  rate_ = rate;
}

void FaultPlan::Clear() {
  mode_ = Mode::kNone;
  calls_ = 0;
  failures_ = 0;
}

bool FaultPlan::Next() {
  ++calls_;
  bool fail = false;
  switch (mode_) {
    case Mode::kNone:
      break;
    case Mode::kNth:
      fail = --countdown_ == 0;
      if (fail) mode_ = Mode::kNone;
      break;
    case Mode::kAll:
      fail = true;
      break;
    case Mode::kRandom:
      fail = std::uniform_real_distribution<double>(0, 1)(random_) < rate_;
      break;
  }
  failures_ += fail;
  return fail;
}

}  // namespace host
