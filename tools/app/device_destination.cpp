#include "tools/app/device_destination.h"

#include "tools/failure.h"

namespace textrelay::app {

size_t DeviceDestination::BytesWritten() {
  pappl_devmetrics_t metrics{};
  papplDeviceGetMetrics(device_, &metrics);
  return metrics.write_bytes;
}

// The framework keeps small writes in its buffer and its flush reports
// nothing, so whether the bytes arrived is read from the device's count.
void DeviceDestination::Write(std::span<const uint8_t> bytes) {
  if (papplJobIsCanceled(job_)) stop_ = true;
  if (bytes.empty()) return;
  const size_t before = BytesWritten();
  if (papplDeviceWrite(device_, bytes.data(), bytes.size()) < 0) {
    throw Failure("the device refused a write after " + std::to_string(sent_) + " bytes");
  }
  papplDeviceFlush(device_);
  if (BytesWritten() - before != bytes.size()) {
    throw Failure("the device took " + std::to_string(sent_ + BytesWritten() - before) + " of " +
                  std::to_string(sent_ + bytes.size()) + " bytes");
  }
  sent_ += bytes.size();
}

}  // namespace textrelay::app
