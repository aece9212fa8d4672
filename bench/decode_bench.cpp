// Decode speed against FFmpeg. Synthesizes three 720 x 576 ".vs4"
// recordings (an MPEG-4 chain, a key-referenced MPEG-4 stream, JPEG),
// decodes every picture through the reader into one BGR bottom-up picture
// buffer, and times the `ffmpeg` command decoding the same elementary
// streams to BGR. Prints pictures per second of both, their ratio and
// whether each target is met. Exits 0 unless something failed to run.
//
//   decode_bench [--frames N] [--runs N] [--keep DIR] [--checksum]
//
// --keep writes the recordings and streams to DIR and leaves them there;
// --checksum prints a hash of every decoded picture (an untimed pass), so an
// optimisation of the output conversion can be shown to change no byte.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "formats/MessageSink.h"
#include "formats/PlaybackState.h"
#include "media/VideoDecoder.h"

namespace tsv {
namespace {

using namespace bench;

constexpr uint8_t kResolution720x576 = 12;
constexpr uint32_t kKeyInterval = 25;  // pictures from one key picture to the next
constexpr uint32_t kDefaultFrames = 1500;
constexpr int kDefaultRuns = 3;             // the best run counts
constexpr double kRatioTargetMode0 = 1.0;   // ours / ffmpeg, pictures per second
constexpr double kRateTargetMode1 = 400.0;  // pictures per second (16 x real time)

struct Options {
  uint32_t frames = kDefaultFrames;
  int runs = kDefaultRuns;
  std::string keep;
  bool checksum = false;
};

struct Case {
  Case(const char* name_, SynthCodec codec_, int mode, const char* recording, const char* stream)
      : name(name_), codec(codec_), predictedMode(mode), recordingName(recording), streamName(stream) {}

  const char* name;
  SynthCodec codec;
  int predictedMode;
  const char* recordingName;
  const char* streamName;
  // Filled in by the run.
  std::vector<Picture> pictures;
  double oursSeconds = 0;
  double ffmpegSeconds = 0;
  double ffmpegStartSeconds = 0;  // a run that decodes one picture
  uint32_t ffmpegPictures = 0;
  bool oursFailed = false;
  bool ffmpegFailed = false;
};

[[noreturn]] void Usage() {
  std::fprintf(stderr, "usage: decode_bench [--frames N] [--runs N] [--keep DIR] [--checksum]\n");
  std::exit(2);
}

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage();
      return argv[++i];
    };
    if (arg == "--frames") {
      const long n = std::strtol(value().c_str(), nullptr, 10);
      if (n < 1 || n > 100000) Usage();
      o.frames = static_cast<uint32_t>(n);
    } else if (arg == "--runs") {
      const long n = std::strtol(value().c_str(), nullptr, 10);
      if (n < 1 || n > 100) Usage();
      o.runs = static_cast<int>(n);
    } else if (arg == "--keep") {
      o.keep = value();
    } else if (arg == "--checksum") {
      o.checksum = true;
    } else {
      Usage();
    }
  }
  return o;
}

bool MakeRecording(const Case& c, uint32_t frames, const fs::path& path) {
  SynthOptions o;
  o.layout = SynthLayout::Vsx;
  o.codec = c.codec;
  o.predictedMode = c.predictedMode;
  o.resolutionCode = kResolution720x576;
  o.keyInterval = kKeyInterval;
  o.frames = frames;
  o.rate = 25;
  o.sound = false;
  return bench::MakeRecording(o, path);
}

// Restarts MPEG-4 decoding, as after a seek: the next picture decoded must
// be a key picture.
bool RestartDecoder(CVsxFile& reader, bool mpeg4) {
  if (!mpeg4) return true;
  PlaybackState& st = reader.state();
  return ReopenMpeg4Decoder(st.decoder, st.decoder.width, st.decoder.height, st.predictedStreamMode);
}

// Decodes every picture once into `picture`; false at the first failure.
// With a hash, folds each decoded picture into it.
bool DecodeAll(CVsxFile& reader, bool mpeg4, const std::vector<Picture>& pictures, uint8_t* picture, uint64_t* hash) {
  for (const Picture& p : pictures) {
    uint16_t width = 720, height = 576;
    const auto length = static_cast<uint32_t>(p.packet.size());
    const bool ok = mpeg4 ? reader.DoMp4Decode(p.packet.data(), length, 1, p.pictureType, &width, &height, picture)
                          : reader.DoJpegDecode(p.packet.data(), length, picture, &width, &height);
    if (!ok) return false;
    if (hash) {
      // FNV-1a over the picture's bytes.
      const std::size_t bytes = static_cast<std::size_t>(width) * height * 3;
      for (std::size_t i = 0; i < bytes; ++i) *hash = (*hash ^ picture[i]) * 0x100000001B3ull;
    }
  }
  return true;
}

bool RunCase(Case& c, const Options& o, const fs::path& folder, uint8_t* picture) {
  const bool mpeg4 = c.codec == SynthCodec::Mpeg4;
  const fs::path recording = folder / c.recordingName;
  const fs::path stream = folder / c.streamName;
  std::fprintf(stderr, "decode_bench: %s: synthesizing %u pictures\n", c.name, o.frames);
  if (!MakeRecording(c, o.frames, recording)) return false;

  StderrMessageSink sink;
  CVsxFile reader(sink);
  if (!OpenReader(reader, mpeg4, recording)) {
    std::fprintf(stderr, "decode_bench: cannot open %s\n", recording.c_str());
    return false;
  }
  if (mpeg4 && reader.state().predictedStreamMode != static_cast<uint32_t>(c.predictedMode)) {
    std::fprintf(stderr, "decode_bench: %s opened in mode %u\n", c.name, reader.state().predictedStreamMode.load());
    return false;
  }
  if (!ReadPictures(reader, mpeg4, &c.pictures)) {
    std::fprintf(stderr, "decode_bench: cannot read the pictures of %s\n", recording.c_str());
    return false;
  }
  if (!WriteElementaryStream(c.pictures, stream)) {
    std::fprintf(stderr, "decode_bench: cannot write %s\n", stream.c_str());
    return false;
  }

  std::fprintf(stderr, "decode_bench: %s: decoding %zu pictures\n", c.name, c.pictures.size());
  double best = 0;
  for (int run = 0; run < o.runs && !c.oursFailed; ++run) {
    if (!RestartDecoder(reader, mpeg4)) {
      c.oursFailed = true;
      break;
    }
    const SteadyClock::time_point start = SteadyClock::now();
    c.oursFailed = !DecodeAll(reader, mpeg4, c.pictures, picture, nullptr);
    const double seconds = Seconds(SteadyClock::now() - start);
    if (run == 0 || seconds < best) best = seconds;
  }
  c.oursSeconds = best;
  if (c.oursFailed) std::fprintf(stderr, "decode_bench: %s: our decode failed\n", c.name);
  if (o.checksum && !c.oursFailed) {
    uint64_t hash = 0xCBF29CE484222325ull;
    if (!RestartDecoder(reader, mpeg4) || !DecodeAll(reader, mpeg4, c.pictures, picture, &hash)) return false;
    std::printf("checksum %-7s %016llx\n", c.name, static_cast<unsigned long long>(hash));
  }

  c.ffmpegPictures = FfmpegPictureCount(stream, folder / (std::string(c.streamName) + ".crc"));
  best = 0;
  for (int run = 0; run < o.runs && !c.ffmpegFailed; ++run) {
    const std::optional<double> seconds = RunTimed(FfmpegDecode(stream, 1, "null"), "/dev/null");
    c.ffmpegFailed = !seconds;
    if (seconds && (run == 0 || *seconds < best)) best = *seconds;
  }
  c.ffmpegSeconds = best;
  // What every run of the command pays before decoding: start-up, probing
  // and the first picture.
  best = 0;
  for (int run = 0; run < o.runs && !c.ffmpegFailed; ++run) {
    const std::optional<double> seconds = RunTimed(FfmpegDecode(stream, 1, "null", 1), "/dev/null");
    c.ffmpegFailed = !seconds;
    if (seconds && (run == 0 || *seconds < best)) best = *seconds;
  }
  c.ffmpegStartSeconds = best;
  return !c.oursFailed && !c.ffmpegFailed;
}

double Rate(std::size_t pictures, double seconds) { return seconds > 0 ? static_cast<double>(pictures) / seconds : 0; }

void PrintTable(const std::vector<Case>& cases) {
  std::printf("\n%-8s %9s %12s %12s %8s %10s  %s\n", "stream", "pictures", "ours pic/s", "ffmpeg pic/s", "ratio",
              "net ratio", "target");
  for (const Case& c : cases) {
    const std::size_t n = c.pictures.size();
    const double ours = c.oursFailed ? 0 : Rate(n, c.oursSeconds);
    const double peer = c.ffmpegFailed ? 0 : Rate(n, c.ffmpegSeconds);
    const double ratio = peer > 0 ? ours / peer : 0;
    // The peer without its start-up: the pictures after the first over the
    // time they added to a one-picture run.
    const double peerNet =
        c.ffmpegFailed || n < 2 ? 0 : Rate(n - 1, c.ffmpegSeconds - std::min(c.ffmpegStartSeconds, c.ffmpegSeconds));
    const double netRatio = peerNet > 0 ? ours / peerNet : 0;
    std::string target = "-";
    if (c.codec == SynthCodec::Mpeg4 && c.predictedMode == 0) {
      target = std::string("ratio >= 1.0: ") + (ratio >= kRatioTargetMode0 ? "met" : "NOT MET");
    } else if (c.codec == SynthCodec::Mpeg4) {
      target = std::string(">= 400 pic/s: ") + (ours >= kRateTargetMode1 ? "met" : "NOT MET");
    }
    std::printf("%-8s %9zu %12.1f %12.1f %8.3f %10.3f  %s\n", c.name, n, ours, peer, ratio, netRatio, target.c_str());
  }
  for (const Case& c : cases) {
    if (c.ffmpegPictures != c.pictures.size())
      std::printf("note: ffmpeg made %u pictures of the %zu in %s\n", c.ffmpegPictures, c.pictures.size(),
                  c.streamName);
  }
  std::printf(
      "note: ffmpeg times are whole runs of the command, best of each; ours are decode calls on\n"
      "      packets already in memory. The net ratio leaves out what a run of the command that\n"
      "      decodes one picture takes:");
  for (const Case& c : cases) std::printf(" %.0f ms (%s)", 1000 * c.ffmpegStartSeconds, c.name);
  std::printf(
      ".\n"
      "note: ffmpeg decodes the mode-1 stream as a chain (each predicted picture against the one\n"
      "      before it), so its pictures there are wrong; only its rate is shown.\n");
}

int Main(int argc, char** argv) {
  const Options o = ParseOptions(argc, argv);
  const std::optional<fs::path> work = MakeWorkFolder(o.keep);
  if (!work) return 1;
  const fs::path& folder = *work;

  std::vector<Case> cases = {
      {"mode 0", SynthCodec::Mpeg4, 0, "mode0.vs4", "stream.m4v"},
      {"mode 1", SynthCodec::Mpeg4, 1, "mode1.vs4", "mode1.m4v"},
      {"JPEG", SynthCodec::Jpeg, 1, "jpeg.vs4", "x.mjpeg"},
  };
  std::vector<uint8_t> picture(kPictureSlotBytes);
  bool ok = true;
  for (Case& c : cases) ok = RunCase(c, o, folder, picture.data()) && ok;
  PrintTable(cases);

  if (o.keep.empty()) {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace tsv

int main(int argc, char** argv) { return tsv::Main(argc, argv); }
