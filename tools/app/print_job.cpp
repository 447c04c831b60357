#include "tools/app/print_job.h"

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "tools/app/device_destination.h"
#include "tools/app/device_watch.h"
#include "tools/app/driver.h"
#include "tools/app/job_settings.h"
#include "tools/failure.h"

namespace textrelay::app {

namespace {

// The printer's defaults under the job's own values.
VendorValues VendorValuesFor(pappl_printer_t* printer, const pappl_pr_options_t& options) {
  VendorValues values = PrinterDefaults(printer);
  for (int i = 0; i < options.num_vendor; ++i) values[options.vendor[i].name] = options.vendor[i].value;
  return values;
}

// Each page the driver sent counts once per copy, as CUPS counts the
// filter's PAGE: lines.
std::function<void(uint64_t, int)> CountPages(pappl_job_t* job) {
  return [job](uint64_t, int copies) { papplJobSetImpressionsCompleted(job, copies); };
}

JobRequest RequestFor(pappl_job_t* job, const pappl_pr_options_t& options) {
  return {options.copies, static_cast<int>(options.orientation_requested),
          options.media.size_width, options.media.size_length,
          VendorValuesFor(papplJobGetPrinter(job), options)};
}

Application& ApplicationOf(pappl_job_t* job) {
  pappl_pr_driver_data_t data;
  papplPrinterGetDriverData(papplJobGetPrinter(job), &data);
  return *static_cast<Application*>(data.extension);
}

// PAPPL 1.3 can start a job twice when two clients submit at once: the
// job stays pending until its thread runs, and another submission's check
// for new jobs starts it again. The first start prints it; the second
// finds it claimed and leaves it, the device and its state alone.
bool Claim(pappl_job_t* job, Application& application) {
  if (papplJobGetData(job) != nullptr) {
    papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "Already printed by an earlier start.");
    return false;
  }
  papplJobSetData(job, &application);
  return true;
}

void Print(pappl_job_t* job, const pappl_pr_options_t& options, pappl_device_t* device,
           const char* path) {
  Application& application = ApplicationOf(job);
  const std::lock_guard<std::mutex> one_job(application.PrintPath(papplJobGetPrinter(job)));
  if (!Claim(job, application)) return;
  PrintOptions print = JobPrintOptions(RequestFor(job, options));
  print.files = {path};
  print.page_sent = CountPages(job);
  print.input_name = papplJobGetName(job) != nullptr ? papplJobGetName(job) : "untitled";
  std::atomic<bool> stop{false};
  print.stop = &stop;
  const auto note = [job](const std::string& text) {
    papplLogJob(job, PAPPL_LOGLEVEL_WARN, "%s", text.c_str());
    papplJobSetMessage(job, "%s", text.c_str());
  };
  RunPrint(print, note, [device, job, &stop] {
    return std::make_unique<DeviceDestination>(device, job, stop);
  });
}

// A job cancelled while it waited to start has lost its document, but
// PAPPL 1.3.1 starts it all the same (as processing): cancelling it again
// makes it end canceled. A second start of a job the first has claimed
// (Claim) finds the document gone once the first has printed it: that job
// is left as the first start ends it.
bool CancelledBeforeItStarted(pappl_job_t* job) {
  if (papplJobGetFilename(job) != nullptr || papplJobGetData(job) != nullptr) return false;
  papplJobCancel(job);
  papplJobSetMessage(job, "canceled before it started; nothing was sent");
  return true;
}

// The framework counts one impression for a document once its callback
// succeeds; the job's own count replaces it.
bool Succeeded(pappl_job_t* job) {
  papplJobSetImpressions(job, papplJobGetImpressionsCompleted(job));
  papplJobSetImpressionsCompleted(job, -1);
  return true;
}

bool Abort(pappl_job_t* job, const char* message) {
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", message);
  papplJobSetMessage(job, "%s", message);
  return false;
}

}  // namespace

VendorValues PrinterDefaults(pappl_printer_t* printer) {
  VendorValues values;
  ipp_t* attrs = papplPrinterGetDriverAttributes(printer);
  char value[1024];
  for (const VendorSetting& setting : VendorSettings()) {
    const std::string name = std::string(setting.name) + "-default";
    if (ipp_attribute_t* attr = ippFindAttribute(attrs, name.c_str(), IPP_TAG_ZERO)) {
      ippAttributeString(attr, value, sizeof value);
      values[setting.name] = value;
    }
  }
  ippDelete(attrs);
  return values;
}

bool PrintTextJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
  return PrintTextFile(job, options, device, papplJobGetFilename(job));
}

bool PrintTextFile(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                   const char* path) {
  DeviceAnswered(papplJobGetPrinter(job));
  if (CancelledBeforeItStarted(job)) return false;
  try {
    Print(job, *options, device, path);
    return Succeeded(job);
  } catch (const Failure& failure) {
    return Abort(job, failure.what());
  } catch (const std::exception& error) {
    // What the library says is for the log, not for the job's owner.
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Internal error: %s", error.what());
    return Abort(job, "the printer application failed on this job; see its log");
  } catch (...) {
    return Abort(job, "the printer application failed on this job; see its log");
  }
}

}  // namespace textrelay::app
