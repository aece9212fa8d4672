#include "media/SnapshotWriter.h"

#include <cstdio>

#include "media/PictureFile.h"
#include "media/jpeg/JpegPicture.h"
#include "platform/File.h"
#include "platform/OutputFile.h"

namespace tsv {

std::string SnapshotStem(const SYSTEMTIME& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%02u%02u%02uT%02u%02u%02u%02u", t.wYear % 100u, t.wMonth % 100u, t.wDay % 100u,
                t.wHour % 100u, t.wMinute % 100u, t.wSecond % 100u, t.wMilliseconds % 100u);
  return text;
}

bool WriteSnapshot(std::string& folder, const uint8_t* picture, uint16_t width, uint16_t height,
                   const SYSTEMTIME& now, std::string* path, std::string* error) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  const std::vector<uint8_t> jpeg = EncodeJpegPicture(picture, width, height, kPictureJpegQuality);
  if (jpeg.empty()) {
    *error = "the picture could not be encoded";
    return false;
  }
  // Another snapshot may take the free name between the look-up and the
  // publish; the next free name is tried then.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate = FirstFreeName(folder, SnapshotStem(now), ".jpg");
    OutputFile out;
    if (!out.Create(candidate, error)) continue;
    out.Write(jpeg.data(), jpeg.size());
    if (out.Commit(error)) {
      *path = candidate;
      return true;
    }
  }
  return false;
}

}  // namespace tsv
