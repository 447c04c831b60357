#include "tools/app/device_watch.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <mutex>

#include "tools/app/saved_jobs.h"
#include "tools/app/system.h"

namespace textrelay::app {

namespace {

struct Queue {
  bool waits_for_device = false;  // a job started that has not reached its device
  bool printing = false;
  bool has_pending = false;
};

// A job that started has reached its device once the print callback has
// claimed it (papplJobSetData); until then PAPPL is opening the device.
void Look(pappl_job_t* job, void* data) {
  Queue& queue = *static_cast<Queue*>(data);
  const ipp_jstate_t state = papplJobGetState(job);
  if (state == IPP_JSTATE_PROCESSING) {
    (papplJobGetData(job) == nullptr ? queue.waits_for_device : queue.printing) = true;
  }
  if (state == IPP_JSTATE_PENDING) queue.has_pending = true;
}

Queue QueueOf(pappl_printer_t* printer) {
  Queue queue;
  papplPrinterIterateActiveJobs(printer, Look, &queue, 1, 0);
  return queue;
}

// PAPPL 1.3.1 notes a SIGTERM (a service stop) where papplSystemIsShutdown
// does not see it; ours notes it too, then hands it on.
std::atomic<bool> terminate_asked{false};
struct sigaction framework_on_terminate;

extern "C" void OnTerminate(int signal) {
  terminate_asked.store(true);
  if (framework_on_terminate.sa_handler != SIG_DFL && framework_on_terminate.sa_handler != SIG_IGN) {
    framework_on_terminate.sa_handler(signal);
  }
}

// Called from the server's main loop, after PAPPL has set its handlers.
void AlsoNoteTerminate() {
  struct sigaction ours {};
  ours.sa_handler = OnTerminate;
  sigemptyset(&ours.sa_mask);
  sigaction(SIGTERM, &ours, &framework_on_terminate);
}

struct Survey {
  bool first_look;
  bool some_unfinished = false;
  bool some_printing = false;
};

// PAPPL stops the printer at the device's first refusal; resuming it lets
// the state read idle while PAPPL goes on retrying the device.
void Mend(pappl_printer_t* printer, void* data) {
  Survey& survey = *static_cast<Survey*>(data);
  const Queue queue = QueueOf(printer);
  const bool stopped = papplPrinterGetState(printer) == IPP_PSTATE_STOPPED;
  if (queue.waits_for_device && stopped) {
    papplPrinterSetReasons(printer, PAPPL_PREASON_OFFLINE, PAPPL_PREASON_NONE);
    papplPrinterResume(printer);
  } else if (survey.first_look && queue.has_pending && !stopped) {
    papplPrinterResume(printer);
  }
  if (papplPrinterGetNumberOfActiveJobs(printer) > 0) survey.some_unfinished = true;
  if (queue.printing) survey.some_printing = true;
}

bool WatchOnce(pappl_system_t* system, void* data) {
  bool& first_look = *static_cast<bool*>(data);
  if (first_look) AlsoNoteTerminate();
  Survey survey{first_look};
  first_look = false;
  papplSystemIteratePrinters(system, Mend, &survey);
  const bool ending = papplSystemIsShutdown(system) || terminate_asked.load();
  // PAPPL would wait up to 60 seconds for jobs that send nothing; they are
  // saved as they are, and the next start prints them.
  if (ending && survey.some_unfinished && !survey.some_printing) {
    papplLog(system, PAPPL_LOGLEVEL_INFO, "No job is printing: the waiting ones are saved, shutting down.");
    papplSystemSaveState(system, StateFilePath(kApplicationName).c_str());
    std::_Exit(0);
  }
  return true;
}

}  // namespace

void WatchDevices(pappl_system_t* system) {
  static std::once_flag started;
  static bool first_look = true;
  std::call_once(started, [system] { papplSystemAddTimerCallback(system, 0, 1, WatchOnce, &first_look); });
}

void DeviceAnswered(pappl_printer_t* printer) {
  papplPrinterSetReasons(printer, PAPPL_PREASON_NONE, PAPPL_PREASON_OFFLINE);
}

}  // namespace textrelay::app
