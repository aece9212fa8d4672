// tessarovine-cli decode FILE --frame N -o PICTURE and
// tessarovine-cli snapshot FILE --frame N [-o FOLDER].
#include <cstdio>

#include "cli/Commands.h"
#include "cli/FramePicture.h"
#include "cli/Recording.h"
#include "media/PictureFile.h"
#include "media/SnapshotWriter.h"
#include "platform/DesktopFolder.h"

namespace tsv::cli {

namespace {

struct PictureArgs {
  std::string path, output;
  uint32_t frame = 0;
  bool haveFrame = false;
};

bool ParsePictureArgs(const Args& args, PictureArgs* out) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--frame" && hasValue) {
      if (!ParseNumber(args[++i], &out->frame)) return false;
      out->haveFrame = true;
    } else if (a == "-o" && hasValue) {
      out->output = args[++i];
    } else if (out->path.empty() && a.rfind("-", 0) != 0) {
      out->path = a;
    } else {
      return false;
    }
  }
  return !out->path.empty() && out->haveFrame;
}

bool Decode(const PictureArgs& a, FramePicture* picture) {
  OpenedRecording rec = OpenRecording(a.path, true);
  if (!rec.reader) return false;
  std::string error;
  if (!DecodeFramePicture(*rec.reader, a.frame, picture, &error)) {
    std::fprintf(stderr, "%s: %s\n", a.path.c_str(), error.c_str());
    return false;
  }
  return true;
}

}  // namespace

int RunDecode(const Args& args) {
  PictureArgs a;
  if (!ParsePictureArgs(args, &a) || a.output.empty()) {
    std::fprintf(stderr, "usage: tessarovine-cli decode FILE --frame N -o PICTURE.png|bmp|jpg\n");
    return 2;
  }
  FramePicture picture;
  if (!Decode(a, &picture)) return 1;
  std::string error;
  if (!WritePictureFile(a.output, picture.pixels.get(), picture.width, picture.height, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::printf("%s (%u x %u)\n", a.output.c_str(), picture.width, picture.height);
  return 0;
}

int RunSnapshot(const Args& args) {
  PictureArgs a;
  if (!ParsePictureArgs(args, &a)) {
    std::fprintf(stderr, "usage: tessarovine-cli snapshot FILE --frame N [-o FOLDER]\n");
    return 2;
  }
  FramePicture picture;
  if (!Decode(a, &picture)) return 1;
  std::string folder = a.output.empty() ? DesktopFolder() : a.output;
  std::string path, error;
  if (!WriteSnapshot(folder, picture.pixels.get(), picture.width, picture.height, LocalNow(), &path, &error)) {
    std::fprintf(stderr, "%s: %s\n", folder.c_str(), error.c_str());
    return 1;
  }
  std::printf("%s\n", path.c_str());
  return 0;
}

}  // namespace tsv::cli
