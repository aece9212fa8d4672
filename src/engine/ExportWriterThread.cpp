// The export writer thread: copies the frames of the marked stretch, as
// they are, into a new recording of the source's layout through the
// reader's segment writer. The new file is published only when it is
// complete.
#include "engine/ClipExporter.h"

namespace tsv {

void ClipExporter::WriterThread() {
  CRecFile& r = *reader_;
  r.state().snapshotFolder = request_.folder;
  std::unique_ptr<SegmentOutput> out;
  uint32_t written = 0;
  bool ok = true;
  uint32_t s = 0;
  while (NextFrame(&s)) {
    const uint32_t n = r.GetCurrentFrameIndex(s);
    if (ok && n >= request_.firstFrame && n <= request_.lastFrame) {
      if (!out) {
        out = r.CreateVsxFileAndFormat(s);
        ok = out != nullptr;
        if (ok) startFrame_ = n;
      }
      if (ok) {
        const uint32_t next = r.WriteVsxCurrentFrame(out.get(), r.FrameSlot(s), r.GetCurrentFrameSize(s), s, n, written);
        ok = next == written + 1;
        written = next;
      }
    }
    FrameDone(s);
    if (n >= request_.lastFrame) break;
  }
  if (stop_->IsSet()) return;  // the unfinished file is removed with `out`
  if (ok && out && r.EndOfVsxFile(out.get(), written)) {
    outputPath_ = out->path();
    workSucceeded_ = true;
  }
  Ended();
}

}  // namespace tsv
