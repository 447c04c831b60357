#include "host/job.h"

#include "host/engine.h"

namespace host {

constinit thread_local JobState* internal::open_job = nullptr;

JobState::~JobState() { Engine::Get().TakeOverFindings(findings); }

JobScope::JobScope(JobState& job) : outer_(internal::open_job) { internal::open_job = &job; }

JobScope::~JobScope() { internal::open_job = outer_; }

}  // namespace host
