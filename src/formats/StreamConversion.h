// The conversion object: one per player, it owns the source of a stream
// conversion and runs either the converter or the disc copy on a worker
// thread. The front end (the convert dialog, the command-line tool) starts
// a task, receives progress through a callback on the worker thread, may
// ask it to stop at any time, and reads the report when it has finished.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "formats/DiscImporter.h"
#include "formats/StreamConverter.h"
#include "platform/File.h"

namespace tsv {

class StreamConversion {
 public:
  StreamConversion() = default;
  // Stops and joins a running task.
  ~StreamConversion();
  StreamConversion(const StreamConversion&) = delete;
  StreamConversion& operator=(const StreamConversion&) = delete;

  // Opens a ".mp4" or ".QRV" source and, for ".mp4", checks its head. On
  // refusal the status says why (OpenFailed, NotAStream) and no source is
  // open.
  ConvertStatus OpenSource(const std::string& path, StreamKind kind);
  void CloseSource();
  const std::string& SourcePath() const { return sourcePath_; }
  bool SourceIsQrv() const { return kind_ == StreamKind::Qrv; }

  // Starts converting the open source into outputFolder (empty: beside the
  // source); the source is closed when the conversion ends. False when no
  // source is open or a task is running.
  bool StartConversion(const std::string& outputFolder, ProgressFn progress);
  // Starts copying the recorder disc in device into a ".QRV" file in folder.
  bool StartDiscCopy(const std::string& device, const std::string& folder, ProgressFn progress);

  // Sets the stop flag; the task ends at its next check. Safe from any thread.
  void RequestStop() { stop_.store(true, std::memory_order_relaxed); }
  // Waits for the task to end.
  void Wait();
  // RequestStop, then Wait.
  void Stop();
  // True once the task has finished (and before any task was started).
  bool Finished() const { return finished_.load(std::memory_order_acquire); }

  // Written by the worker thread; read after Wait, or once Finished.
  const ConvertReport& ConversionReport() const { return convertReport_; }
  const DiscCopyReport& CopyReport() const { return copyReport_; }

 private:
  bool Launch();

  // Written by the owner's thread while no task runs; source_ is the
  // worker's while a conversion runs.
  File source_;
  std::string sourcePath_;
  StreamKind kind_ = StreamKind::Mp4;
  ConvertSettings settings_;
  std::thread worker_;
  // Written by the worker thread while the task runs.
  ConvertReport convertReport_;
  DiscCopyReport copyReport_;
  // Shared: the owner sets stop_, the worker sets finished_.
  std::atomic<bool> stop_{false};
  std::atomic<bool> finished_{true};
};

}  // namespace tsv
