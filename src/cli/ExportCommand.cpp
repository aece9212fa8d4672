// tessarovine-cli export FILE --from-frame A --to-frame B --format avi|vs4|mp4
//                        [--osd] [-o FOLDER]
// and tessarovine-cli segment FILE --from-frame A --to-frame B [-o FOLDER]:
// a marked stretch exported through the player's clip exporter, with this
// command as its front end: the events of the exporter's threads are queued
// to the main thread, which writes the pictures as the window does.
#include <QGuiApplication>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <mutex>

#include "cli/Commands.h"
#include "cli/TaskProgress.h"
#include "engine/ClipExporter.h"
#include "osd/QtTextPainter.h"
#include "platform/DesktopFolder.h"

namespace tsv::cli {

namespace {

constexpr auto kProgressPeriod = std::chrono::milliseconds(100);

// The exporter's events, queued in order for the main thread.
class ExportEvents final : public EventSink {
 public:
  enum class Kind { None, Picture, Ended };

  void CloseRequested() override {}
  void ProgressPercent(uint16_t) override {}
  void PictureSizeChanged() override {}
  void StretchEnded() override {}
  void ExportPictureReady(ClipExporter&) override { Push(Kind::Picture); }
  void ExportEnded(ClipExporter&) override { Push(Kind::Ended); }

  // The next event, or None when none came within the timeout.
  Kind Next(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [this] { return !queue_.empty(); })) return Kind::None;
    const Kind kind = queue_.front();
    queue_.pop_front();
    return kind;
  }

 private:
  void Push(Kind kind) {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(kind);
    }
    changed_.notify_one();
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Kind> queue_;
};

bool ParseFrame(const std::string& text, uint32_t* out) {
  char* end = nullptr;
  const unsigned long v = std::strtoul(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v > 0xFFFFFFFFul) return false;
  *out = static_cast<uint32_t>(v);
  return true;
}

struct ExportJob {
  std::string path;
  ExportRequest request;
  bool osd = false;
  bool progress = true;
};

// Runs one export to its end; prints the new file's path on stdout.
int RunJob(const ExportJob& job) {
  // Burnt-in text needs QtGui's fonts; the offscreen platform needs no
  // display.
  std::unique_ptr<QGuiApplication> gui;
  std::unique_ptr<QtTextPainter> painter;
  if (job.osd) {
    static int argc = 1;
    static char name[] = "tessarovine-cli";
    static char* argv[] = {name, nullptr};
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt's notes about the environment are not the user's business here.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
      if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    });
    gui = std::make_unique<QGuiApplication>(argc, argv);
    painter = std::make_unique<QtTextPainter>();
  }

  StderrMessageSink messages;
  ExportEvents events;
  ClipExporter exporter(events, messages);
  if (!exporter.OpenReader(job.path)) {
    std::fprintf(stderr, "%s: not a recording this player can read\n", job.path.c_str());
    return 1;
  }
  const uint32_t count = exporter.reader()->state().indexCount;
  const ExportRequest& r = job.request;
  if (r.firstFrame < 1 || r.firstFrame > r.lastFrame || r.lastFrame > count) {
    std::fprintf(stderr, "%s: frames %u..%u are not within 1..%u\n", job.path.c_str(), r.firstFrame, r.lastFrame,
                 count);
    return 1;
  }
  if (!exporter.Start(r)) {
    std::fprintf(stderr, "%s: the export cannot start\n", job.path.c_str());
    return 1;
  }

  TaskProgress progress("exporting");
  ExportPictureSettings settings;
  settings.osdOn = job.osd;
  bool ok = false;
  for (;;) {
    if (TaskProgress::Interrupted()) {
      exporter.Stop();
      progress.EndLine();
      std::fprintf(stderr, "%s: export stopped\n", job.path.c_str());
      return 130;
    }
    const ExportEvents::Kind kind = events.Next(kProgressPeriod);
    if (kind == ExportEvents::Kind::Picture) exporter.WritePicture(settings, painter.get());
    if (kind == ExportEvents::Kind::Ended) {
      ok = exporter.Finish();
      break;
    }
    // 100 only once the file is finished.
    if (job.progress) progress.Draw(static_cast<int>(uint64_t{exporter.framesDone()} * 99 / exporter.framesTotal()));
  }
  if (job.progress && ok) progress.Draw(100);
  progress.EndLine();
  if (!ok) {
    std::fprintf(stderr, "%s: the export failed; no file was written\n", job.path.c_str());
    return 1;
  }
  if (exporter.startFrame() != r.firstFrame)
    std::fprintf(stderr, "%s: the file starts at frame %u, the key picture before frame %u\n", job.path.c_str(),
                 exporter.startFrame(), r.firstFrame);
  std::printf("%s\n", exporter.outputPath().c_str());
  return 0;
}

// Parses the arguments both commands share; the format only for export.
bool ParseJob(const Args& args, bool withFormat, ExportJob* job) {
  bool haveFrom = false, haveTo = false, haveFormat = !withFormat, haveFolder = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--from-frame" && hasValue) {
      haveFrom = ParseFrame(args[++i], &job->request.firstFrame);
    } else if (a == "--to-frame" && hasValue) {
      haveTo = ParseFrame(args[++i], &job->request.lastFrame);
    } else if (a == "-o" && hasValue) {
      job->request.folder = args[++i];
      haveFolder = true;
    } else if (withFormat && a == "--format" && hasValue) {
      const std::string f = args[++i];
      haveFormat = true;
      if (f == "avi") job->request.mode = ExportMode::Avi;
      else if (f == "vs4") job->request.mode = ExportMode::Recording;
      else if (f == "mp4") job->request.mode = ExportMode::Mp4;
      else return false;
    } else if (withFormat && a == "--osd") {
      job->osd = true;
    } else if (job->path.empty() && a.rfind("-", 0) != 0) {
      job->path = a;
    } else {
      return false;
    }
  }
  if (job->path.empty() || !haveFrom || !haveTo || !haveFormat) return false;
  if (!haveFolder && job->request.folder.empty()) {
    // AVI files go beside the recording; recordings and MP4 files to the
    // desktop.
    if (job->request.mode == ExportMode::Avi) {
      job->request.folder = std::filesystem::path(job->path).parent_path().string();
      if (job->request.folder.empty()) job->request.folder = ".";
    } else {
      job->request.folder = DesktopFolder();
    }
  }
  return true;
}

}  // namespace

int RunExport(const Args& args) {
  ExportJob job;
  if (!ParseJob(args, true, &job)) {
    std::fprintf(stderr,
                 "usage: tessarovine-cli export FILE --from-frame A --to-frame B --format avi|vs4|mp4 [--osd] "
                 "[-o FOLDER]\n");
    return 2;
  }
  return RunJob(job);
}

int RunSegment(const Args& args) {
  ExportJob job;
  job.request.mode = ExportMode::Recording;
  job.request.folder = ".";
  job.progress = false;
  if (!ParseJob(args, false, &job)) {
    std::fprintf(stderr, "usage: tessarovine-cli segment FILE --from-frame A --to-frame B [-o DIR]\n");
    return 2;
  }
  return RunJob(job);
}

}  // namespace tsv::cli
