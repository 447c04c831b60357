// What one print job sets and counts: its code page with its converter and
// replaced count, and its trace sink. The driver hands the engine no handle
// to its job when it converts text or traces, so those services find the
// job through the scope its thread has open; a thread with none open uses
// the engine's own, as before there were jobs.
#pragma once

#include "host/code_page.h"
#include "host/trace.h"

namespace host {

struct JobState {
  JobState() { trace.Discard(); }  // until the job gives its trace a sink

  CodePage code_page;
  Trace trace;
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
