// tessarovine-cli segment FILE --from-frame A --to-frame B [-o DIR]: writes
// frames A..B (1-based, inclusive) through the reader's writer operations
// into a new recording of the same layout.
#include <cstdio>
#include <cstdlib>

#include "cli/Commands.h"
#include "cli/Recording.h"

namespace tsv::cli {

namespace {

bool ParseCount(const std::string& text, uint32_t* out) {
  char* end = nullptr;
  const unsigned long v = std::strtoul(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v > 0xFFFFFFFFul) return false;
  *out = static_cast<uint32_t>(v);
  return true;
}

int Usage() {
  std::fprintf(stderr, "usage: tessarovine-cli segment FILE --from-frame A --to-frame B [-o DIR]\n");
  return 2;
}

}  // namespace

int RunSegment(const Args& args) {
  std::string path, folder = ".";
  uint32_t from = 0, to = 0;
  bool haveFrom = false, haveTo = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--from-frame" && hasValue) haveFrom = ParseCount(args[++i], &from);
    else if (a == "--to-frame" && hasValue) haveTo = ParseCount(args[++i], &to);
    else if (a == "-o" && hasValue) folder = args[++i];
    else if (path.empty() && a.rfind("-", 0) != 0) path = a;
    else return Usage();
  }
  if (path.empty() || !haveFrom || !haveTo) return Usage();

  OpenedRecording rec = OpenRecording(path);
  if (!rec.reader) return 1;
  CRecFile& r = *rec.reader;
  PlaybackState& st = r.state();
  if (from < 1 || from > to || to > st.indexCount) {
    std::fprintf(stderr, "%s: frames %u..%u are not within 1..%u\n", path.c_str(), from, to, st.indexCount);
    return 1;
  }
  st.snapshotFolder = folder;

  std::unique_ptr<SegmentOutput> out;
  uint32_t written = 0;
  r.SeekFilePointToBeginFrame();
  for (uint32_t k = 0; k < to; ++k) {
    if (!ReadNextFrame(r, k)) {
      std::fprintf(stderr, "%s: frame %u cannot be read\n", path.c_str(), k + 1);
      return 1;
    }
    if (k + 1 < from) continue;
    const uint32_t slot = k % kRingSlots;
    if (!out) {
      out = r.CreateVsxFileAndFormat(slot);
      if (!out) {
        std::fprintf(stderr, "%s: cannot create a segment file in %s\n", path.c_str(), folder.c_str());
        return 1;
      }
    }
    const uint32_t next = r.WriteVsxCurrentFrame(out.get(), r.FrameSlot(slot), r.GetCurrentFrameSize(slot), slot,
                                                 k + 1, written);
    if (next != written + 1) {
      std::fprintf(stderr, "%s: frame %u cannot be written\n", path.c_str(), k + 1);
      return 1;
    }
    written = next;
  }
  if (!r.EndOfVsxFile(out.get(), written)) {
    std::fprintf(stderr, "%s: the segment could not be finished\n", path.c_str());
    return 1;
  }
  std::printf("%s\n", out->path().c_str());
  return 0;
}

}  // namespace tsv::cli
