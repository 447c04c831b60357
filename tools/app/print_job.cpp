#include "tools/app/print_job.h"

#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <string>

#include "tools/app/device_destination.h"
#include "tools/app/driver.h"
#include "tools/app/job_settings.h"

namespace textrelay::app {

namespace {

// The printer's defaults under the job's own values.
VendorValues VendorValuesFor(pappl_printer_t* printer, const pappl_pr_options_t& options) {
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
  for (int i = 0; i < options.num_vendor; ++i) values[options.vendor[i].name] = options.vendor[i].value;
  return values;
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
// finds it claimed, waits until it is printed, and leaves it, the device
// and its state alone. Jobs of other printers pass by meanwhile.
class Claim {
 public:
  Claim(pappl_job_t* job, Application& application) : job_(job), application_(application) {
    std::unique_lock lock(application_.claims);
    if (papplJobGetData(job_) == nullptr) {
      papplJobSetData(job_, &application_);
      application_.printing.insert(job_);
      first_ = true;
      return;
    }
    application_.printed.wait(lock, [this] { return application_.printing.count(job_) == 0; });
    papplLogJob(job_, PAPPL_LOGLEVEL_DEBUG, "Already printed by an earlier start.");
  }
  ~Claim() {
    if (!first_) return;
    {
      const std::lock_guard lock(application_.claims);
      application_.printing.erase(job_);
    }
    application_.printed.notify_all();
  }
  Claim(const Claim&) = delete;
  Claim& operator=(const Claim&) = delete;
  bool first() const { return first_; }

 private:
  pappl_job_t* job_;
  Application& application_;
  bool first_ = false;
};

void Print(pappl_job_t* job, const pappl_pr_options_t& options, pappl_device_t* device) {
  const Claim claim(job, ApplicationOf(job));
  if (!claim.first()) return;
  PrintOptions print = JobPrintOptions(RequestFor(job, options));
  print.files = {papplJobGetFilename(job)};
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

}  // namespace

bool PrintTextJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
  try {
    Print(job, *options, device);
    return true;
  } catch (const std::exception& failure) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", failure.what());
    papplJobSetMessage(job, "%s", failure.what());
    return false;
  }
}

}  // namespace textrelay::app
