#include "host/job.h"

namespace host {

constinit thread_local JobState* internal::open_job = nullptr;

JobScope::JobScope(JobState& job) : outer_(internal::open_job) { internal::open_job = &job; }

JobScope::~JobScope() { internal::open_job = outer_; }

}  // namespace host
