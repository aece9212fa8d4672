#include "media/AviWriter.h"

#include <numeric>
#include <utility>

namespace tsv {

namespace {

constexpr uint32_t kMeasureSpanMs = 1000;
constexpr uint32_t kRateWithoutSpan = 25;

}  // namespace

void MeasuredPictureRate(uint64_t pictures, uint64_t spanMs, uint32_t* numerator, uint32_t* denominator) {
  if (pictures <= 1 || spanMs == 0) {
    *numerator = pictures <= 1 ? 1 : kRateWithoutSpan;
    *denominator = 1;
    return;
  }
  uint64_t num = (pictures - 1) * 1000;
  uint64_t den = spanMs;
  const uint64_t divisor = std::gcd(num, den);
  num /= divisor;
  den /= divisor;
  // Only absurd counts or spans give terms past 32 bits: keep the ratio
  // as closely as 32-bit terms allow.
  while (num > UINT32_MAX || den > UINT32_MAX) {
    num = (num + 1) / 2;
    den = (den + 1) / 2;
  }
  *numerator = static_cast<uint32_t>(num);
  *denominator = static_cast<uint32_t>(den);
}

AviWriter::AviWriter(AviFileOptions options) : options_(options) {}

AviWriter::~AviWriter() { Abort(); }

void AviWriter::SetFileName(std::string folder, std::string stem) {
  folder_ = std::move(folder);
  stem_ = std::move(stem);
}

void AviWriter::SetCurrentTime(uint32_t ms) { currentMs_ = ms; }

void AviWriter::Measure(uint32_t ms) {
  if (measured_ == 0) {
    firstMs_ = lastMs_ = ms;
    measured_ = 1;
    return;
  }
  // A time before the latest counted one says nothing about the rate.
  if (ms < lastMs_) return;
  lastMs_ = ms;
  ++measured_;
  if (lastMs_ - firstMs_ >= kMeasureSpanMs) {
    FixRate(measured_, lastMs_ - firstMs_);
    state_ = AviWriterState::Appending;
  }
}

void AviWriter::FixRate(uint64_t pictures, uint64_t spanMs) {
  MeasuredPictureRate(pictures, spanMs, &rateNum_, &rateDen_);
  file_->SetRate(rateNum_, rateDen_);
}

bool AviWriter::AppendFrame(const uint8_t* pixels, uint16_t width, uint16_t height, uint32_t* fileStarted) {
  if (state_ == AviWriterState::Failed || finished_) return true;
  if (!file_) {
    if (stem_.empty()) return Fail("the export has no file name");
    file_ = std::make_unique<AviFile>(options_);
    if (!file_->Create(folder_, stem_, width, height)) return Fail(file_->error());
    width_ = width;
    height_ = height;
    if (fileStarted != nullptr) *fileStarted = 1;
  }
  if (width != width_ || height != height_) return Fail("a picture has another size than the first");
  if (!file_->WriteFrame(pixels)) return Fail(file_->error());
  ++frames_;
  if (state_ == AviWriterState::Measuring) Measure(currentMs_);
  return true;
}

bool AviWriter::Close() {
  if (finished_) return !path_.empty();
  if (state_ == AviWriterState::Failed) return false;
  finished_ = true;
  if (!file_ || frames_ == 0) {
    Abort();
    error_ = "no picture was written";
    return false;
  }
  if (state_ == AviWriterState::Measuring) FixRate(measured_, lastMs_ - firstMs_);
  if (!file_->Finish()) {
    Fail(file_->error());
    return false;
  }
  path_ = file_->path();
  return true;
}

void AviWriter::Abort() {
  if (file_ && path_.empty()) file_->Abort();
  if (path_.empty()) finished_ = true;
}

bool AviWriter::Fail(const std::string& message) {
  error_ = message;
  state_ = AviWriterState::Failed;
  if (file_) file_->Abort();
  return false;
}

}  // namespace tsv
