#include <array>
#include <cstdio>
#include <string>

#include "tools/destination.h"

namespace textrelay {

namespace {

// Rows of sixteen bytes: the offset, the bytes in hex in two groups of
// eight, and the printable ones as text. Each job's dump starts at offset 0
// and ends with a line holding the job's length.
class HexDump : public Destination {
 public:
  explicit HexDump(std::unique_ptr<Destination> inner) : inner_(std::move(inner)) {}

  void BeginJob(const std::string& title) override {
    inner_->BeginJob(title);
    offset_ = 0;
    filled_ = 0;
  }
  void Write(std::span<const uint8_t> bytes) override {
    for (const uint8_t byte : bytes) {
      row_[filled_++] = byte;
      if (filled_ == row_.size()) WriteRow();
    }
  }
  void EndJob() override {
    if (filled_ > 0) WriteRow();
    WriteText(Offset(offset_) + "\n");
    Flush();
    inner_->EndJob();
  }
  void Commit() override { inner_->Commit(); }
  bool TakesBytesAsTheyCome() const override { return inner_->TakesBytesAsTheyCome(); }

 private:
  static std::string Offset(uint64_t offset) {
    char text[24];
    std::snprintf(text, sizeof text, "%08llx", static_cast<unsigned long long>(offset));
    return text;
  }

  void WriteRow() {
    std::string line = Offset(offset_) + " ";
    for (size_t i = 0; i < row_.size(); ++i) {
      char hex[4] = "   ";
      if (i < filled_) std::snprintf(hex, sizeof hex, "%02x ", row_[i]);
      line += (i % 8 == 0 ? " " : "") + std::string(hex);
    }
    line += " |";
    for (size_t i = 0; i < filled_; ++i) {
      line += row_[i] >= 0x20 && row_[i] < 0x7F ? static_cast<char>(row_[i]) : '.';
    }
    WriteText(line + "|\n");
    offset_ += filled_;
    filled_ = 0;
  }

  // Rows are gathered so that a large dump does not cost a write per row.
  void WriteText(const std::string& text) {
    pending_ += text;
    if (pending_.size() >= kFlushAt) Flush();
  }

  void Flush() {
    inner_->Write({reinterpret_cast<const uint8_t*>(pending_.data()), pending_.size()});
    pending_.clear();
  }

  static constexpr size_t kFlushAt = 64 * 1024;

  std::unique_ptr<Destination> inner_;
  std::array<uint8_t, 16> row_{};
  size_t filled_ = 0;
  uint64_t offset_ = 0;
  std::string pending_;
};

}  // namespace

std::unique_ptr<Destination> HexDumpTo(std::unique_ptr<Destination> inner) {
  return std::make_unique<HexDump>(std::move(inner));
}

}  // namespace textrelay
