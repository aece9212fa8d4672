// The AVI file of a clip export. Pictures arrive one by one with their
// recorded times; every picture is written, and the picture rate of the
// file is measured from the times over the first second of the clip
// (a shorter clip is measured over all its pictures).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "media/AviFile.h"

namespace tsv {

enum class AviWriterState { Failed = 0, Measuring = 1, Appending = 2 };

class AviWriter {
 public:
  AviWriter() : AviWriter(AviFileOptions{}) {}
  explicit AviWriter(AviFileOptions options);
  ~AviWriter();
  AviWriter(const AviWriter&) = delete;
  AviWriter& operator=(const AviWriter&) = delete;

  // Folder and name stem ("20050305_101530") of the file; taken before the
  // first picture.
  void SetFileName(std::string folder, std::string stem);
  // Recorded time (milliseconds of the stream's frame time) of the picture
  // appended next.
  void SetCurrentTime(uint32_t ms);
  // Appends a bottom-up blue-green-red picture of width x height. The file
  // is created (under a temporary name) at the first picture and
  // *fileStarted set to 1. Returns false only on the call where the export
  // fails (the file cannot be created, the picture has another size than
  // the first, or writing fails); from then on the state is Failed and
  // every call does nothing and returns true, so the failure is reported
  // once.
  bool AppendFrame(const uint8_t* pixels, uint16_t width, uint16_t height, uint32_t* fileStarted);
  // Ends the export: fixes the rate, writes the indexes and headers and
  // publishes the file. False (and no file left) on failure or when no
  // picture was written.
  bool Close();
  // Ends without a file: the temporary file is removed.
  void Abort();

  AviWriterState state() const { return state_; }
  uint32_t framesWritten() const { return frames_; }
  // The published path; empty until Close succeeded.
  const std::string& path() const { return path_; }
  // Pictures per second as rateNumerator / rateDenominator, reduced; 0/0
  // until measured.
  uint32_t rateNumerator() const { return rateNum_; }
  uint32_t rateDenominator() const { return rateDen_; }
  // Why the export failed.
  const std::string& error() const { return error_; }

 private:
  void Measure(uint32_t ms);
  void FixRate(uint64_t pictures, uint64_t spanMs);
  bool Fail(const std::string& message);

  AviFileOptions options_;
  std::unique_ptr<AviFile> file_;
  std::string folder_;
  std::string stem_;
  uint32_t currentMs_ = 0;
  AviWriterState state_ = AviWriterState::Measuring;
  bool finished_ = false;
  uint16_t width_ = 0;
  uint16_t height_ = 0;
  uint32_t frames_ = 0;
  // The measure: pictures counted, the first and the latest counted time.
  uint32_t measured_ = 0;
  uint32_t firstMs_ = 0;
  uint32_t lastMs_ = 0;
  uint32_t rateNum_ = 0;
  uint32_t rateDen_ = 0;
  std::string path_;
  std::string error_;
};

// The rate of `pictures` pictures spread over spanMs milliseconds from the
// first to the last, (pictures - 1) * 1000 / spanMs, reduced: 1 for one
// picture, 25 for several with no span.
void MeasuredPictureRate(uint64_t pictures, uint64_t spanMs, uint32_t* numerator, uint32_t* denominator);

}  // namespace tsv
