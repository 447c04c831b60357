// What one print job sets, counts and finds: its code page with its
// converter and replaced count, its trace sink, and the checker's findings
// about its calls. The driver hands the engine no handle to its job when it
// converts text, traces or misuses a service, so those services find the
// job through the scope its thread has open; a thread with none open uses
// the engine's own, as before there were jobs.
//
// Findings nobody examined while the job ran go to the engine's own when the
// job ends, where the checker is on: a test that prints through a job of
// its own (RunPrint's, say) fails at its end as one that calls the engine
// directly does. The free engine has nobody to read them, and they end with
// the job.
#pragma once

#include "host/code_page.h"
#include "host/findings.h"
#include "host/trace.h"

namespace host {

struct JobState {
  JobState() { trace.Discard(); }  // until the job gives its trace a sink
  ~JobState();
  JobState(const JobState&) = delete;
  JobState& operator=(const JobState&) = delete;

  CodePage code_page;
  Trace trace;
  Findings findings;
};

// Opened by the thread that runs the job, around every driver call of it;
// scopes nest, the inner one counting until it closes.
class JobScope {
 public:
  explicit JobScope(JobState& job);
  ~JobScope();
  JobScope(const JobScope&) = delete;
  JobScope& operator=(const JobScope&) = delete;

 private:
  JobState* outer_;
};

namespace internal {
// Constant-initialized, so that reading it is one load from the thread's
// block and no call.
extern constinit thread_local JobState* open_job;
}  // namespace internal

// The job whose scope the calling thread has open; null for none.
inline JobState* OpenJob() { return internal::open_job; }

}  // namespace host
