// Clip export speed: whole runs of `tessarovine-cli export` on a synthesized
// 720 x 576 MPEG-4 ".vs4" recording against ffmpeg on the same elementary
// stream, in pictures per second.
//
//  1. AVI: `export --format avi` (decode, size, append uncompressed
//     pictures) against `ffmpeg -i stream.m4v -c:v rawvideo -pix_fmt bgr24
//     out.avi`. Target: ratio >= 1.0.
//  2. MP4: `export --format mp4` of a stream whose predicted pictures form
//     a chain (copied) against `ffmpeg -i stream.m4v -c copy out.mp4`.
//     Target: ratio >= 1.0. The same export of a stream whose predicted
//     pictures refer to their key picture (decoded and encoded again) is
//     shown for information.
//
//   export_bench [--frames N] [--runs N] [--keep DIR]
//
// Runs alternate between ours and the peer; the best of each counts. Each
// output is deleted before the next run, so both write to the same empty
// folder. Exits 0 unless something failed to run.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "BenchSupport.h"

namespace tsv {
namespace {

using namespace bench;

constexpr uint8_t kResolution720x576 = 12;
constexpr uint32_t kKeyInterval = 25;
constexpr uint32_t kRate = 25;
constexpr uint32_t kDefaultFrames = 1500;
constexpr int kDefaultRuns = 3;
constexpr double kRatioTarget = 1.0;

struct Options {
  uint32_t frames = kDefaultFrames;
  int runs = kDefaultRuns;
  std::string keep;
};

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool value = i + 1 < argc;
    if (arg == "--frames" && value) {
      o.frames = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (arg == "--runs" && value) {
      o.runs = std::atoi(argv[++i]);
    } else if (arg == "--keep" && value) {
      o.keep = argv[++i];
    } else {
      std::fprintf(stderr, "usage: export_bench [--frames N] [--runs N] [--keep DIR]\n");
      std::exit(2);
    }
  }
  if (o.frames < 2 || o.runs < 1) {
    std::fprintf(stderr, "export_bench: --frames must be at least 2 and --runs at least 1\n");
    std::exit(2);
  }
  return o;
}

struct Source {
  fs::path recording;
  fs::path stream;
};

bool Prepare(const fs::path& folder, const char* name, int predictedMode, uint32_t frames, Source* source) {
  SynthOptions o;
  o.layout = SynthLayout::Vsx;
  o.codec = SynthCodec::Mpeg4;
  o.predictedMode = predictedMode;
  o.resolutionCode = kResolution720x576;
  o.keyInterval = kKeyInterval;
  o.rate = kRate;
  o.frames = frames;
  source->recording = folder / (std::string(name) + ".vs4");
  source->stream = folder / (std::string(name) + ".m4v");
  std::fprintf(stderr, "export_bench: synthesizing %u pictures, predicted-stream mode %d\n", frames, predictedMode);
  if (!MakeRecording(o, source->recording)) return false;
  StderrMessageSink sink;
  CVsxFile reader(sink);
  std::vector<Picture> pictures;
  if (!OpenReader(reader, true, source->recording) || !ReadPictures(reader, true, &pictures) ||
      pictures.size() != frames || !WriteElementaryStream(pictures, source->stream)) {
    std::fprintf(stderr, "export_bench: cannot read the pictures of %s\n", source->recording.c_str());
    return false;
  }
  return true;
}

// Empties the output folder; an export never replaces a file, so each run
// must find it empty to write the same file.
void ClearFolder(const fs::path& folder) {
  std::error_code ec;
  fs::remove_all(folder, ec);
  fs::create_directories(folder, ec);
}

// Best wall-clock seconds of our command and of the peer's, taken in turns.
struct Timing {
  std::optional<double> ours, peer;
};

Timing Race(const std::vector<std::string>& ours, const std::vector<std::string>& peer, const fs::path& out,
            int runs) {
  Timing t;
  for (int run = 0; run < runs; ++run) {
    ClearFolder(out);
    const std::optional<double> a = RunTimed(ours, (out / "path.txt").string());
    if (!a) return {};
    if (!t.ours || *a < *t.ours) t.ours = a;
    ClearFolder(out);
    if (!peer.empty()) {
      const std::optional<double> b = RunTimed(peer, "/dev/null");
      if (!b) return {};
      if (!t.peer || *b < *t.peer) t.peer = b;
    }
  }
  ClearFolder(out);
  return t;
}

std::vector<std::string> Export(const Source& s, const char* format, uint32_t frames, const fs::path& out) {
  return {TESSAROVINE_CLI, "export", s.recording.string(), "--from-frame", "1", "--to-frame", std::to_string(frames),
          "--format", format, "-o", out.string()};
}

void AddRace(const char* what, const char* peerName, const Timing& t, uint32_t pictures, bool comparable,
             std::vector<Row>* rows) {
  const double n = pictures;
  const double ours = t.ours ? n / *t.ours : 0;
  const double peer = t.peer ? n / *t.peer : 0;
  rows->push_back({Format("%s pictures/s, ours", what), ours > 0 ? Format("%.1f", ours) : "failed", "",
                   ours > 0 ? "-" : "FAILED"});
  if (peerName == nullptr) return;
  rows->push_back({Format("  %s", peerName), peer > 0 ? Format("%.1f", peer) : "failed", "", peer > 0 ? "-" : "FAILED"});
  const bool measured = ours > 0 && peer > 0;
  rows->push_back({"  ratio ours / ffmpeg", measured ? Format("%.3f", ours / peer) : "-", comparable ? ">= 1.0" : "",
                   !measured ? "FAILED" : comparable ? Verdict(ours / peer >= kRatioTarget) : "- (see note)"});
}

int Main(int argc, char** argv) {
  const Options o = ParseOptions(argc, argv);
  const std::optional<fs::path> work = MakeWorkFolder(o.keep);
  if (!work) return 1;
  const fs::path& folder = *work;
  const fs::path out = folder / "out";
  const double loadBefore = LoadAverage();

  Source chain, keyed;
  if (!Prepare(folder, "chain", 0, o.frames, &chain) || !Prepare(folder, "keyed", 1, o.frames, &keyed)) return 1;

  std::vector<Row> rows;
  std::fprintf(stderr, "export_bench: AVI, %d runs each\n", o.runs);
  const Timing avi = Race(Export(chain, "avi", o.frames, out),
                          {"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", chain.stream.string(), "-c:v", "rawvideo",
                           "-pix_fmt", "bgr24", (out / "peer.avi").string()},
                          out, o.runs);
  AddRace("AVI export", "ffmpeg -c:v rawvideo -pix_fmt bgr24 out.avi", avi, o.frames, true, &rows);

  std::fprintf(stderr, "export_bench: MP4, %d runs each\n", o.runs);
  const std::vector<std::string> copy{"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", chain.stream.string(), "-c",
                                      "copy", (out / "peer.mp4").string()};
  const Timing mp4 = Race(Export(chain, "mp4", o.frames, out), copy, out, o.runs);
  AddRace("MP4 export (copy)", "ffmpeg -c copy out.mp4", mp4, o.frames, true, &rows);
  const Timing encoded = Race(Export(keyed, "mp4", o.frames, out), copy, out, o.runs);
  AddRace("MP4 export, key-referenced stream (encoded)", "ffmpeg -c copy out.mp4", encoded, o.frames, false, &rows);

  std::printf("\nexport_bench: %u pictures of 720 x 576 MPEG-4, key picture every %u, %u pictures per second\n",
              o.frames, kKeyInterval, kRate);
  PrintRows(rows, loadBefore, LoadAverage());
  std::printf(
      "\nnote: whole runs of both commands, start-up included, writing to the same folder; best of each.\n"
      "note: a stream whose predicted pictures all refer to their key picture cannot be copied into a\n"
      "      standard file (players would decode each predicted picture against the one before it);\n"
      "      ours decodes and encodes it again, ffmpeg's copy of it is wrong: for information only.\n");
  if (o.keep.empty()) {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }
  const bool ok = avi.ours && avi.peer && mp4.ours && mp4.peer && encoded.ours;
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace tsv

int main(int argc, char** argv) { return tsv::Main(argc, argv); }
