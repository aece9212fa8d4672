#include "formats/StreamConversion.h"

#include <utility>

namespace tsv {

StreamConversion::~StreamConversion() { Stop(); }

ConvertStatus StreamConversion::OpenSource(const std::string& path, StreamKind kind) {
  Wait();
  CloseSource();
  StreamHead head;
  const ConvertStatus status = OpenStreamSource(path, kind, &source_, &head);
  if (status != ConvertStatus::Done) return status;
  sourcePath_ = path;
  kind_ = kind;
  settings_ = ConvertSettings{};
  settings_.kind = kind;
  settings_.head = head;
  return status;
}

void StreamConversion::CloseSource() {
  source_.Close();
  sourcePath_.clear();
}

bool StreamConversion::Launch() {
  if (worker_.joinable()) {
    if (!Finished()) return false;
    worker_.join();
  }
  stop_.store(false, std::memory_order_relaxed);
  finished_.store(false, std::memory_order_release);
  return true;
}

bool StreamConversion::StartConversion(const std::string& outputFolder, ProgressFn progress) {
  if (!source_.IsOpen() || !Launch()) return false;
  convertReport_ = ConvertReport{};
  worker_ = std::thread([this, outputFolder, progress = std::move(progress)] {
    convertReport_ = ConvertOpenedStream(source_, sourcePath_, settings_, outputFolder, stop_, progress);
    source_.Close();  // a source is converted once
    finished_.store(true, std::memory_order_release);
  });
  return true;
}

bool StreamConversion::StartDiscCopy(const std::string& device, const std::string& folder, ProgressFn progress) {
  if (!Launch()) return false;
  copyReport_ = DiscCopyReport{};
  worker_ = std::thread([this, device, folder, progress = std::move(progress)] {
    copyReport_ = CopyRecorderDisc(device, folder, LocalNow(), stop_, progress);
    finished_.store(true, std::memory_order_release);
  });
  return true;
}

void StreamConversion::Wait() {
  if (worker_.joinable()) worker_.join();
}

void StreamConversion::Stop() {
  RequestStop();
  Wait();
}

}  // namespace tsv
