// Whole print jobs: any sequence of documents, pages and text in the
// engine's order, with failures injected into the pool, the bitmap and
// palette creations, and the spooler. When every call reports success the
// printer holds exactly the job's bytes.
//
// Input: line terminator byte, form feed byte, a plan byte (two bits each,
// from bit 0: allocations, creates, failed writes, short writes; 0 none, 1
// the k-th, 2 at random, 3 none), a parameter byte (k = 1 + value % 64;
// rate = value / 1024), Le32 seed; then operations, one byte each (mod 4:
// 0 and 3 text, followed by a text case; 1 next page; 2 next document,
// bit 2 ending the last one as aborted).
#include "fuzz/contract.h"

namespace {

constexpr int kMaxOperations = 64;

void Plan(host::FaultPlan& plan, int mode, uint8_t parameter, uint64_t seed) {
  if (mode == 1) plan.FailNth(1 + parameter % 64);
  if (mode == 2) plan.FailRandom(seed, parameter / 1024.0);
}

void PlanFaults(uint8_t plans, uint8_t parameter, uint32_t seed) {
  host::Checker& checker = host::Checker::Get();
  Plan(checker.pool.faults(), plans & 3, parameter, seed);
  Plan(checker.handles.failed_creates(), (plans >> 2) & 3, parameter, seed + 1);
  Plan(checker.spooler.failed_writes(), (plans >> 4) & 3, parameter, seed + 2);
  Plan(checker.spooler.short_writes(), (plans >> 6) & 3, parameter, seed + 3);
}

bool InjectedAny() {
  host::Checker& checker = host::Checker::Get();
  return checker.pool.faults().Failures() != 0 || checker.handles.failed_creates().Failures() != 0;
}

class Job {
 public:
  Job(fuzz::Device& device, uint8_t line_terminator, uint8_t form_feed,
      const std::vector<uint8_t>& printed)
      : device_(device),
        line_terminator_(line_terminator),
        form_feed_(form_feed),
        printed_(printed) {}

  void Run(fuzz::Input& in) {
    StartDocument();
    for (int i = 0; i < kMaxOperations && !in.empty(); ++i) {
      const uint8_t op = in.Byte();
      if (op % 4 == 1) NextPage();
      if (op % 4 == 2) NextDocument(op & 4 ? ED_ABORTDOC : 0);
      if (op % 4 == 0 || op % 4 == 3) Text(in);
    }
    EndDocument(0);
    if (all_true_) fuzz::Require(printed_ == expected_, "the job's bytes are not the text's");
  }

 private:
  void StartDocument() {
    fuzz::CheckStartDoc(device_, printed_);
    fuzz::CheckStartPage(device_, printed_);
  }
  void NextPage() {
    fuzz::CheckSendPage(device_, printed_);
    fuzz::CheckStartPage(device_, printed_);
  }
  void EndDocument(FLONG fl) {
    fuzz::CheckSendPage(device_, printed_);
    const BOOL result = fuzz::CheckEndDoc(device_, fl, form_feed_, printed_);
    if (result && form_feed_ == 1) expected_.push_back(0x0C);
    all_true_ &= result == TRUE;
  }
  void NextDocument(FLONG fl) {
    EndDocument(fl);
    StartDocument();
  }
  void Text(fuzz::Input& in) {
    fuzz::TextCase text(in);
    const BOOL result = fuzz::CheckTextOut(device_, text, line_terminator_, printed_);
    if (result) {
      const std::vector<uint8_t> bytes = text.Expected(line_terminator_);
      expected_.insert(expected_.end(), bytes.begin(), bytes.end());
    }
    all_true_ &= result == TRUE;
  }

  fuzz::Device& device_;
  uint8_t line_terminator_;
  uint8_t form_feed_;
  const std::vector<uint8_t>& printed_;
  std::vector<uint8_t> expected_;
  bool all_true_ = true;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const uint8_t line_terminator = in.Byte();
  const uint8_t form_feed = in.Byte();
  const uint8_t plans = in.Byte();
  const uint8_t parameter = in.Byte();
  const uint32_t seed = in.Le32();

  fuzz::Session session;
  PlanFaults(plans, parameter, seed);
  const std::vector<uint8_t> devmode = fuzz::DriverDevMode(line_terminator, form_feed);
  fuzz::Device device =
      fuzz::EnableDevice(reinterpret_cast<const DEVMODEW*>(devmode.data()), u"TextRelay",
                         session.printer(), sizeof(GDIINFO), sizeof(DEVINFO));
  if (device.ok()) {
    Job(device, line_terminator, form_feed, session.printed()).Run(in);
  } else {
    fuzz::Require(InjectedAny(), "no device although nothing failed");
  }
  fuzz::DisableDevice(device);
  session.Finish();
  return 0;
}
