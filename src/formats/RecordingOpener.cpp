#include "formats/RecordingOpener.h"

#include "formats/CVsxFile.h"
#include "formats/CZKQRV.h"
#include "formats/StringTable.h"
#include "media/VideoDecoder.h"

namespace tsv {

std::unique_ptr<CRecFile> OpenRecordingReader(const std::string& path, MessageSink& sink, bool withDecoder,
                                              uint32_t* streamFlag, std::string* error) {
  const std::string ext = UpperExtension4(path);
  std::unique_ptr<CRecFile> reader;
  if (ext == ".VS4") {
    reader = std::make_unique<CVsxFile>(sink);
  } else if (ext == ".VSE") {
    reader = std::make_unique<CZKQRV>(sink);
    reader->state().videoPacing = 1;
  } else {
    *error = LoadString(kStrFileTypeNotCorrect);
    return nullptr;
  }
  PrepareRings(reader->state(), false);
  if (withDecoder && !CreateMpeg4Decoder(reader->state().decoder)) {
    *error = "the picture decoder cannot be set up";
    return nullptr;
  }
  if (!reader->OpenFileToGetDecoder(path, streamFlag)) {
    *error = "not a recording this player can read";
    return nullptr;
  }
  PlaybackState& st = reader->state();
  st.defaultVideoPacing = st.videoPacing.load();
  return reader;
}

}  // namespace tsv
