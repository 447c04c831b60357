// The printer's device (socket://, usb://, file:// and the framework's
// other schemes) as the print path's destination.
#pragma once

#include <pappl/pappl.h>

#include <atomic>

#include "tools/destination.h"

namespace textrelay::app {

// Every byte handed over is on the device before Write returns, so a
// failed write fails the document that made it. A cancelled job sets
// `stop` at the next write.
class DeviceDestination : public Destination {
 public:
  DeviceDestination(pappl_device_t* device, pappl_job_t* job, std::atomic<bool>& stop)
      : device_(device), job_(job), stop_(stop) {}

  void BeginJob(const std::string&) override {}
  void Write(std::span<const uint8_t> bytes) override;
  void EndJob() override {}
  bool TakesBytesAsTheyCome() const override { return true; }

 private:
  size_t BytesWritten();

  pappl_device_t* device_;
  pappl_job_t* job_;
  std::atomic<bool>& stop_;
  size_t sent_ = 0;
};

}  // namespace textrelay::app
