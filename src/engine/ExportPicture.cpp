// The front end's part of an AVI export, for each picture handed over:
// the file is named after the first picture's recorded time, every
// picture is brought to the export size (half-height field pictures are
// stretched to full height, other sizes scaled), the date, time and
// picture-size label are burnt in when the on-screen display is on, and
// the picture is appended at its recorded time.
#include "engine/ClipExporter.h"
#include "formats/Resolution.h"
#include "formats/SegmentOutput.h"
#include "media/AviWriter.h"
#include "media/PictureOps.h"

namespace tsv {

void ClipExporter::WritePicture(const ExportPictureSettings& settings, TextPainter* painter) {
  if (!running_ || request_.mode != ExportMode::Avi || picturesHandled_ == picturesPosted_) return;
  Picture& p = pictures_[ringIndex_];
  const PictureRecord& rec = p.record;

  if (!fileStarted_) {
    if (auto size = DisplaySize(rec.resolutionCode)) {
      exportWidth_ = size->width;
      exportHeight_ = size->height;
    } else {
      exportWidth_ = p.width;
      exportHeight_ = p.height;
    }
    if (!avi_) avi_ = std::make_unique<AviWriter>();
    avi_->SetFileName(request_.folder, SegmentStem(rec.timestamp));
  }

  uint8_t* picture = p.pixels.get();
  if (p.width != exportWidth_ || p.height != exportHeight_) {
    ResizePicture24(p.pixels.get(), p.width, p.height, exportPicture_.get(), exportWidth_, exportHeight_);
    picture = exportPicture_.get();
  }
  if (settings.osdOn && painter) {
    const char* label = ResolutionLabel(rec.resolutionCode);
    painter->DrawTexts(picture, exportWidth_, exportHeight_,
                       {{10, 10, FormatPictureTime(rec.timestamp), settings.textColour},
                        {7, exportHeight_ - 20, label ? label : "", settings.textColour}});
  }
  avi_->SetCurrentTime(rec.frameTime);
  if (!avi_->AppendFrame(picture, exportWidth_, exportHeight_, &fileStarted_)) ReportFailure();
  else if (avi_->state() != AviWriterState::Failed) ++picturesWritten_;

  ringIndex_ = (ringIndex_ + 1) % kExportPictureSlots;
  ++picturesHandled_;
  handOff_->Release();
}

}  // namespace tsv
