#include "engine/ClipExporter.h"

#include "formats/RecordingOpener.h"
#include "media/AviWriter.h"

namespace tsv {

namespace {

// Reads that fail one after the other before the reader gives up on a
// damaged stretch (a failed read normally skips one frame).
constexpr int kMaxFailedReads = 1000;

}  // namespace

ClipExporter::ClipExporter(EventSink& events, MessageSink& messages) : events_(events), messages_(messages) {}

ClipExporter::~ClipExporter() { Stop(); }

bool ClipExporter::OpenReader(const std::string& path) {
  Stop();
  reader_.reset();
  uint32_t streamFlag = 0;
  std::string error;
  reader_ = OpenRecordingReader(path, messages_, true, &streamFlag, &error);
  if (!reader_) return false;
  path_ = path;
  return true;
}

bool ClipExporter::Start(const ExportRequest& request) {
  if (running_ || !reader_) return false;
  const PlaybackState& st = reader_->state();
  if (request.firstFrame < 1 || request.firstFrame > request.lastFrame || request.lastFrame > st.indexCount)
    return false;
  request_ = request;
  frameFree_ = std::make_unique<Semaphore>(kRingSlots - 1, kRingSlots - 1, sync_);
  // One more than the ring's permits: the reader's end token.
  frameFilled_ = std::make_unique<Semaphore>(0, kRingSlots, sync_);
  handOff_ = std::make_unique<Semaphore>(kExportHandOff, kExportHandOff, sync_);
  stop_ = std::make_unique<Event>(true, false, &sync_);
  framesRead_ = 0;
  readEnded_ = false;
  framesTaken_ = 0;
  pictureWrite_ = 0;
  ringIndex_ = 0;
  picturesPosted_ = 0;
  picturesHandled_ = 0;
  fileStarted_ = 0;
  failureShown_ = false;
  avi_.reset();
  workSucceeded_ = false;
  outputPath_.clear();
  startFrame_ = 0;
  framesDone_ = 0;
  framesTotal_ = request.lastFrame - request.firstFrame + 1;
  picturesWritten_ = 0;
  if (request.mode == ExportMode::Avi) {
    for (Picture& p : pictures_)
      if (!p.pixels) p.pixels.reset(new uint8_t[kPictureSlotBytes]);
    if (!exportPicture_) exportPicture_.reset(new uint8_t[kPictureSlotBytes]);
  }

  running_ = true;
  readerThread_ = std::thread(&ClipExporter::ReaderThread, this);
  switch (request.mode) {
    case ExportMode::Avi: workThread_ = std::thread(&ClipExporter::DecodeThread, this); break;
    case ExportMode::Recording: workThread_ = std::thread(&ClipExporter::WriterThread, this); break;
    case ExportMode::Mp4: workThread_ = std::thread(&ClipExporter::Mp4Thread, this); break;
  }
  threadsStarted_ = true;
  return true;
}

void ClipExporter::JoinThreads() {
  if (!threadsStarted_) return;
  if (readerThread_.joinable()) readerThread_.join();
  if (workThread_.joinable()) workThread_.join();
  threadsStarted_ = false;
}

void ClipExporter::Stop() {
  if (!threadsStarted_ && !running_) return;
  if (stop_) stop_->Set();
  JoinThreads();
  if (avi_) avi_->Abort();
  avi_.reset();
  outputPath_.clear();
  running_ = false;
}

bool ClipExporter::Finish() {
  if (!running_) return false;
  JoinThreads();
  bool ok = workSucceeded_;
  if (request_.mode == ExportMode::Avi) {
    ok = false;
    if (avi_) {
      const bool hadFailed = avi_->state() == AviWriterState::Failed;
      ok = !hadFailed && avi_->Close();
      if (ok) outputPath_ = avi_->path();
      else if (!hadFailed) ReportFailure();
    }
    avi_.reset();
  }
  running_ = false;
  return ok;
}

void ClipExporter::ReportFailure() {
  if (failureShown_) return;
  failureShown_ = true;
  messages_.ShowTitledMessage("Error", "Error Occured While Rendering the Movie");
}

void ClipExporter::ReaderThread() {
  CRecFile& r = *reader_;
  PlaybackState& st = r.state();
  st.qrvFirstFrame = 1;
  // From the key picture at or before the first mark: pictures decode only
  // from a key picture on.
  r.SeekFilePointToBeginFrame();
  r.SetFilePointerToPreIFrame(static_cast<int>(request_.firstFrame) - 1);
  uint32_t k = 0;
  int failed = 0;
  for (;;) {
    if (!WaitAbortOr(*stop_, *frameFree_)) return;
    if (!r.ReadCurrentFrameInfo(k, framesRead_ == 0 ? 0 : st.fileMagic)) {
      // A damaged frame is skipped; past the frames nothing follows.
      frameFree_->Release();
      if (r.PastFrameArea() || ++failed > kMaxFailedReads) break;
      continue;
    }
    failed = 0;
    const uint32_t n = r.GetCurrentFrameIndex(k);
    ++framesRead_;
    frameFilled_->Release();
    k = (k + 1) % kRingSlots;
    if (n >= request_.lastFrame) break;
  }
  readEnded_ = true;
  frameFilled_->Release();
}

bool ClipExporter::NextFrame(uint32_t* slot) {
  if (!WaitAbortOr(*stop_, *frameFilled_)) return false;
  if (framesTaken_ == framesRead_ && readEnded_) return false;
  *slot = framesTaken_ % kRingSlots;
  ++framesTaken_;
  return true;
}

void ClipExporter::FrameDone(uint32_t slot) {
  const uint32_t n = reader_->GetCurrentFrameIndex(slot);
  if (n >= request_.firstFrame) framesDone_ = std::min(n, request_.lastFrame) - request_.firstFrame + 1;
  frameFree_->Release();
}

void ClipExporter::Ended() {
  if (stop_->IsSet()) return;  // a stop collects the threads itself
  events_.ExportEnded(*this);
}

}  // namespace tsv
