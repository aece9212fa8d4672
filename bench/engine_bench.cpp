// Playback engine speed: the whole pipeline (reader, decode, render and
// sound threads) on synthesized 720 x 576 MPEG-4 ".vs4" recordings with a
// key picture every 25.
//
//  1. Unpaced throughput: every picture of the recording through the four
//     threads at speed level 16 (no pacing, no sound), pictures per second
//     from opening the file to the last picture drawn, against the
//     `ffmpeg -threads 2` command decoding the same elementary stream to
//     BGR. Target: ratio >= 1.0.
//  2. Latency: from opening the file (reader, per-file set-up, open step,
//     start) to its first picture drawn, and from a seek preview request to
//     its picture, at several percents. Target: each under 100 ms.
//  3. CPU: the process's user + system time while a recording with sound
//     plays at normal speed on the silent sound device, in percent of one
//     core. Target: under 10 %.
//
//   engine_bench [--frames N] [--runs N] [--quick] [--verbose] [--keep DIR]
//
// --frames sets the pictures of the throughput recordings (default 1500);
// --runs how often each timing is taken (the best throughput counts; the
// latencies count all). The CPU case plays 60 s of recording, 15 s with
// --quick. --verbose prints every latency as it is taken. --keep writes
// the recordings and streams to DIR and leaves them there.
//
// Exits 0 unless something failed to run or a picture went missing; a
// target that is not met is reported in the table, not in the exit status.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "engine/PlayerCommands.h"
#include "formats/MessageSink.h"

namespace tsv {
namespace {

using namespace bench;

constexpr uint8_t kResolution720x576 = 12;
constexpr uint32_t kKeyInterval = 25;  // pictures from one key picture to the next
constexpr uint32_t kRate = 25;         // pictures per second
constexpr uint32_t kDefaultFrames = 1500;
constexpr int kDefaultRuns = 3;
constexpr uint32_t kCpuSeconds = 60;       // recording played for the CPU figure
constexpr uint32_t kQuickCpuSeconds = 15;  // the same with --quick
constexpr int kPeerThreads = 2;            // ffmpeg's decoding threads

constexpr double kRatioTarget = 1.0;      // ours / ffmpeg, pictures per second
constexpr double kLatencyTargetMs = 100;  // first picture, preview picture
constexpr double kCpuTargetPercent = 10;  // of one core

// Seek previews taken per latency case, in percent of the recording; all
// well past the pictures shown before the first of them.
constexpr uint16_t kPreviewPercents[] = {12, 27, 38, 50, 61, 74, 86, 97, 5};

// How long the bench waits for playback that should end by itself, beyond
// the recording's own duration, before it calls the run broken.
constexpr auto kEndGrace = std::chrono::seconds(30);
// How often the bench looks whether playback ended; seldom, so that its own
// wake-ups do not count in the CPU figure.
constexpr auto kPollInterval = std::chrono::milliseconds(20);

struct Options {
  uint32_t frames = kDefaultFrames;
  int runs = kDefaultRuns;
  bool quick = false;
  bool verbose = false;
  std::string keep;
};

[[noreturn]] void Usage() {
  std::fprintf(stderr, "usage: engine_bench [--frames N] [--runs N] [--quick] [--verbose] [--keep DIR]\n");
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
      if (n < 50 || n > 100000) Usage();
      o.frames = static_cast<uint32_t>(n);
    } else if (arg == "--runs") {
      const long n = std::strtol(value().c_str(), nullptr, 10);
      if (n < 1 || n > 100) Usage();
      o.runs = static_cast<int>(n);
    } else if (arg == "--quick") {
      o.quick = true;
    } else if (arg == "--verbose") {
      o.verbose = true;
    } else if (arg == "--keep") {
      o.keep = value();
    } else {
      Usage();
    }
  }
  return o;
}

struct Shown {
  uint32_t frame = 0;
  uint16_t percent = 0;
  SteadyClock::time_point at;
};

// The front end of a benchmark run: notes each picture drawn (frame and
// time) and answers the commands' questions. Drawing itself costs nothing
// here; the window's painting is not part of these figures.
class BenchFront final : public PictureSink, public EventSink, public PlayerFrontEnd {
 public:
  explicit BenchFront(std::size_t expected) { shown_.reserve(expected + 64); }

  void DrawPicture(const DrawRequest& r) override {
    const SteadyClock::time_point now = SteadyClock::now();
    {
      std::lock_guard lock(mutex_);
      shown_.push_back({r.record.frameNumber, r.percent, now});
    }
    drawn_.notify_all();
  }
  void CloseRequested() override { closeRequested = true; }
  void ProgressPercent(uint16_t percent) override { slider = percent; }
  void PictureSizeChanged() override {}
  void StretchEnded() override {}
  void ButtonLook(PlayerButton, bool) override {}
  void DurationTextChanged() override {}
  uint16_t SliderPosition() override { return slider; }

  // Waits until at least n pictures were drawn; the n-th, or none when the
  // deadline passed first.
  std::optional<Shown> WaitForPicture(std::size_t n, SteadyClock::time_point deadline) {
    std::unique_lock lock(mutex_);
    if (!drawn_.wait_until(lock, deadline, [&] { return shown_.size() >= n; })) return std::nullopt;
    return shown_[n - 1];
  }
  std::vector<Shown> ShownPictures() {
    std::lock_guard lock(mutex_);
    return shown_;
  }
  std::size_t ShownCount() {
    std::lock_guard lock(mutex_);
    return shown_.size();
  }

  std::atomic<uint16_t> slider{0};
  std::atomic<bool> closeRequested{false};

 private:
  std::mutex mutex_;
  std::condition_variable drawn_;
  std::vector<Shown> shown_;
};

// A recording opened as the player opens it, with the engine and the
// commands over it. Members are destroyed in reverse order: the commands,
// then the engine, before the reader whose state the engine uses.
class Player {
 public:
  explicit Player(std::size_t expectedPictures) : front(expectedPictures), engine_(front, front) {}
  ~Player() {
    if (commands_) commands_->Close();
  }

  // The per-file set-up and the reader's open step.
  bool Open(const fs::path& path, const std::string& audio) {
    engine_.SetAudioDevice(audio);
    if (!engine_.PrepareFileBuffers(reader_)) return false;
    uint32_t flag = 0;
    if (!reader_.OpenFileToGetDecoder(path.string(), &flag)) return false;
    PlaybackState& st = reader_.state();
    st.defaultVideoPacing = st.videoPacing.load();
    commands_ = std::make_unique<PlayerCommands>(engine_, reader_, front);
    return true;
  }

  // Plays from the first frame; unpaced shows pictures as fast as they are
  // decoded, without sound (speed level 16, off normal speed).
  bool Start(bool unpaced) {
    PlaybackState& st = reader_.state();
    if (unpaced) {
      st.speedLevel = kSpeedPaused;
      st.offSpeed = 1;
      st.videoPacing = 1;
    }
    if (!commands_->Start()) return false;
    if (unpaced) {
      st.speedLevel = kSpeedPaused;
      st.offSpeed = 1;
    }
    return true;
  }

  // Waits until the engine stopped by itself; false when it did not
  // within the bound or the file was closed.
  bool WaitForEnd(SteadyClock::duration bound) {
    const SteadyClock::time_point until = SteadyClock::now() + bound;
    while (SteadyClock::now() < until) {
      if (front.closeRequested) return false;
      if (engine_.abortEvent() && engine_.abortEvent()->IsSet()) {
        engine_.StopEngine();
        // The last picture shown, or the sound of the last frame played.
        const PlaybackState& st = reader_.state();
        return st.endReached != 0 || st.progressPercent == 100;
      }
      std::this_thread::sleep_for(kPollInterval);
    }
    return false;
  }

  void Preview(uint16_t percent) {
    front.slider = percent;
    commands_->Preview(percent);
  }
  void Close() { commands_->Close(); }

  PlaybackEngine& engine() { return engine_; }
  PlaybackState& state() { return reader_.state(); }

  BenchFront front;

 private:
  StderrMessageSink sink_;
  CVsxFile reader_{sink_};
  PlaybackEngine engine_;
  std::unique_ptr<PlayerCommands> commands_;
};

// One recording of the benchmark and what was measured on it.
struct Recording {
  const char* name;
  int predictedMode;
  bool sound;
  uint32_t frames;
  fs::path path;
  fs::path stream;
  std::vector<uint32_t> pictureFrames;  // frame numbers of its pictures, in order
};

bool Prepare(Recording& r, const fs::path& folder, const char* fileName, const char* streamName) {
  SynthOptions o;
  o.layout = SynthLayout::Vsx;
  o.codec = SynthCodec::Mpeg4;
  o.predictedMode = r.predictedMode;
  o.resolutionCode = kResolution720x576;
  o.keyInterval = kKeyInterval;
  o.frames = r.frames;
  o.rate = kRate;
  o.sound = r.sound;
  r.path = folder / fileName;
  r.stream = folder / streamName;
  std::fprintf(stderr, "engine_bench: %s: synthesizing %u pictures%s\n", r.name, r.frames,
               r.sound ? " with sound" : "");
  if (!MakeRecording(o, r.path)) return false;

  StderrMessageSink sink;
  CVsxFile reader(sink);
  if (!OpenReader(reader, true, r.path)) {
    std::fprintf(stderr, "engine_bench: cannot open %s\n", r.path.c_str());
    return false;
  }
  const auto& index = reader.frameIndex();
  for (std::size_t i = 0; i < index.size(); ++i)
    if (index[i].type != kVsxAudioFrame) r.pictureFrames.push_back(static_cast<uint32_t>(i + 1));
  std::vector<Picture> pictures;
  if (!ReadPictures(reader, true, &pictures) || pictures.size() != r.pictureFrames.size()) {
    std::fprintf(stderr, "engine_bench: cannot read the pictures of %s\n", r.path.c_str());
    return false;
  }
  if (!WriteElementaryStream(pictures, r.stream)) {
    std::fprintf(stderr, "engine_bench: cannot write %s\n", r.stream.c_str());
    return false;
  }
  return true;
}

// Whether a run showed every picture of the recording once and in order.
bool ShowedEveryPicture(const Recording& r, const std::vector<Shown>& shown, const char* what) {
  bool same = shown.size() == r.pictureFrames.size();
  for (std::size_t i = 0; same && i < shown.size(); ++i) {
    same = shown[i].frame == r.pictureFrames[i];
    // A file that ends in sound: its last picture counts one frame
    // further, so that the end is seen on it.
    if (r.sound && i + 1 == shown.size()) same = same || shown[i].frame == r.pictureFrames[i] + 1;
    if (!same)
      std::fprintf(stderr, "engine_bench: %s of %s: picture %zu is frame %u, not %u\n", what, r.name, i, shown[i].frame,
                   r.pictureFrames[i]);
  }
  if (shown.size() != r.pictureFrames.size())
    std::fprintf(stderr, "engine_bench: %s of %s: %zu pictures shown of %zu\n", what, r.name, shown.size(),
                 r.pictureFrames.size());
  return same;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double Max(const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }


// One unpaced play of the whole recording: seconds from the reader's
// construction to the last picture drawn, or none when it broke.
std::optional<double> PlayUnpaced(const Recording& r, double* cpuSeconds) {
  const double cpuBefore = ProcessCpuSeconds();
  const SteadyClock::time_point start = SteadyClock::now();
  Player player(r.pictureFrames.size());
  if (!player.Open(r.path, "null") || !player.Start(true)) {
    std::fprintf(stderr, "engine_bench: %s: cannot start playing\n", r.name);
    return std::nullopt;
  }
  bool ok = player.WaitForEnd(std::chrono::seconds(r.frames / 50) + kEndGrace);
  if (!ok) std::fprintf(stderr, "engine_bench: %s: unpaced play did not reach the end\n", r.name);
  const std::vector<Shown> shown = player.front.ShownPictures();
  ok = ShowedEveryPicture(r, shown, "unpaced play") && ok;
  if (!ok) return std::nullopt;
  *cpuSeconds = ProcessCpuSeconds() - cpuBefore;
  return Seconds(shown.back().at - start);
}

// 1. Unpaced throughput of the engine against ffmpeg on one recording. Our
// runs and the peer's alternate, so that both see the same load; the best
// of each counts. `comparable`: the peer makes the same pictures.
bool Throughput(const Recording& r, bool comparable, const Options& o, std::vector<Row>* rows) {
  std::fprintf(stderr, "engine_bench: %s: unpaced play and ffmpeg -threads %d, %d runs each\n", r.name, kPeerThreads,
               o.runs);
  const uint32_t peerPictures = FfmpegPictureCount(r.stream, r.stream.string() + ".crc");
  std::optional<double> best, peerBest, peerStart;
  // CPU seconds of the whole run, the least of all runs.
  double cpu = 0, peerCpu = 0;
  bool ok = true, peerOk = true;
  for (int run = 0; run < o.runs && ok && peerOk; ++run) {
    double runCpu = 0, peerRunCpu = 0;
    const std::optional<double> ours = PlayUnpaced(r, &runCpu);
    ok = ours.has_value();
    if (ours && (!best || *ours < *best)) best = ours;
    if (ours && (run == 0 || runCpu < cpu)) cpu = runCpu;
    const std::optional<double> peer = RunTimed(FfmpegDecode(r.stream, kPeerThreads, "null"), "/dev/null", &peerRunCpu);
    if (peer && (run == 0 || peerRunCpu < peerCpu)) peerCpu = peerRunCpu;
    // What every run of the command pays before decoding: start-up,
    // probing and the first picture.
    const std::optional<double> one = RunTimed(FfmpegDecode(r.stream, kPeerThreads, "null", 1), "/dev/null");
    peerOk = peer && one;
    if (peer && (!peerBest || *peer < *peerBest)) peerBest = peer;
    if (one && (!peerStart || *one < *peerStart)) peerStart = one;
  }

  const double n = static_cast<double>(r.pictureFrames.size());
  const double ours = ok && best ? n / *best : 0;
  const double peer = peerOk && peerBest ? n / *peerBest : 0;
  const double peerNet = peer > 0 && *peerBest > *peerStart ? (n - 1) / (*peerBest - *peerStart) : 0;
  const std::string name = r.name;
  rows->push_back(
      {"unpaced pictures/s, " + name + ", ours", ok ? Format("%.1f", ours) : "failed", "", ok ? "-" : "FAILED"});
  rows->push_back({Format("  ffmpeg -threads %d, whole command", kPeerThreads),
                   peer > 0 ? Format("%.1f", peer) : "failed", "", peer > 0 ? "-" : "FAILED"});
  if (peerNet > 0)
    rows->push_back(
        {Format("  ffmpeg without its start-up (%.0f ms)", 1000 * *peerStart), Format("%.1f", peerNet), "", "-"});
  const bool measured = ours > 0 && peer > 0;
  const char* verdict = !measured ? "FAILED" : !comparable ? "- (see note)" : Verdict(ours / peer >= kRatioTarget);
  rows->push_back(
      {"  ratio ours / ffmpeg", measured ? Format("%.3f", ours / peer) : "-", comparable ? ">= 1.0" : "", verdict});
  if (measured && peerNet > 0)
    rows->push_back({"  ratio ours / ffmpeg without its start-up", Format("%.3f", ours / peerNet), "", "-"});
  if (measured)
    rows->push_back(
        {"  CPU ms per picture, ours / ffmpeg", Format("%.2f / %.2f", 1000 * cpu / n, 1000 * peerCpu / n), "", "-"});
  if (peerPictures != 0 && peerPictures != r.pictureFrames.size())
    std::fprintf(stderr, "engine_bench: note: ffmpeg made %u pictures of the %zu of %s\n", peerPictures,
                 r.pictureFrames.size(), r.stream.c_str());
  return measured;
}

// 2. Open to first picture, and seek preview to its picture, on one
// recording at normal speed with the silent sound device.
bool Latency(const Recording& r, const Options& o, std::vector<Row>* rows) {
  std::fprintf(stderr, "engine_bench: %s: open and preview latency, %d runs\n", r.name, o.runs);
  std::vector<double> open, setUp, preview;
  bool ok = true;
  // Frames from a key picture to the next, sound frames included, and one
  // frame of rounding.
  const uint32_t frameCount = r.pictureFrames.empty() ? 0 : r.pictureFrames.back() + (r.sound ? 1 : 0);
  const uint32_t keySpan =
      static_cast<uint32_t>(uint64_t{kKeyInterval} * frameCount / std::max<std::size_t>(r.pictureFrames.size(), 1)) + 2;
  for (int run = 0; run < o.runs && ok; ++run) {
    const SteadyClock::time_point start = SteadyClock::now();
    Player player(r.pictureFrames.size());
    if (!player.Open(r.path, "null")) {
      std::fprintf(stderr, "engine_bench: %s: cannot open\n", r.name);
      ok = false;
      break;
    }
    const SteadyClock::time_point opened = SteadyClock::now();
    if (!player.Start(false)) {
      std::fprintf(stderr, "engine_bench: %s: cannot start playing\n", r.name);
      ok = false;
      break;
    }
    const std::optional<Shown> first = player.front.WaitForPicture(1, SteadyClock::now() + std::chrono::seconds(5));
    if (!first || first->frame != r.pictureFrames.front()) {
      std::fprintf(stderr, "engine_bench: %s: the first picture was not shown\n", r.name);
      ok = false;
      break;
    }
    open.push_back(Milliseconds(first->at - start));
    setUp.push_back(Milliseconds(opened - start));
    if (o.verbose)
      std::fprintf(stderr, "engine_bench: %s: first picture (frame %u) after %.1f ms\n", r.name, first->frame,
                   open.back());
    // Let it play a little, as a user would before grabbing the slider.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    for (const uint16_t percent : kPreviewPercents) {
      const SteadyClock::time_point asked = SteadyClock::now();
      // The preview stops the engine, shows one picture and returns when
      // it has: the last picture drawn then is the preview's.
      player.Preview(percent);
      const std::vector<Shown> shown = player.front.ShownPictures();
      // The key picture at or before the position.
      const uint32_t target = static_cast<uint32_t>(uint64_t{percent} * player.state().indexCount / 100);
      const Shown* last = shown.empty() ? nullptr : &shown.back();
      if (!last || last->at < asked || last->frame > target + 1 || last->frame + keySpan < target) {
        std::fprintf(stderr, "engine_bench: %s: the preview at %u %% (frame %u) showed %s %u\n", r.name, percent,
                     target, last ? "frame" : "no picture", last ? last->frame : 0);
        ok = false;
        break;
      }
      preview.push_back(Milliseconds(last->at - asked));
      if (o.verbose)
        std::fprintf(stderr, "engine_bench: %s: preview at %u %% (frame %u) after %.1f ms\n", r.name, percent,
                     last->frame, preview.back());
    }
    player.Close();
  }
  const std::string name = std::string(r.name);
  if (!open.empty()) {
    rows->push_back({"open to first picture, " + name + ", median / max ms",
                     Format("%.1f / %.1f", Median(open), Max(open)), "< 100 ms",
                     Verdict(Max(open) < kLatencyTargetMs)});
    rows->push_back({"  of which set-up and open step, median ms", Format("%.1f", Median(setUp)), "", "-"});
  }
  if (!preview.empty())
    rows->push_back({"preview to its picture, " + name + ", median / max ms",
                     Format("%.1f / %.1f", Median(preview), Max(preview)), "< 100 ms",
                     Verdict(Max(preview) < kLatencyTargetMs)});
  if (!ok) rows->push_back({"latency, " + name, "failed", "", "FAILED"});
  return ok;
}

// 3. CPU time of playing the whole recording at normal speed with sound on
// the silent device.
bool CpuUse(const Recording& r, std::vector<Row>* rows) {
  const double duration = static_cast<double>(r.frames) / kRate;
  std::fprintf(stderr, "engine_bench: %s: playing %.0f s at normal speed\n", r.name, duration);
  const double cpuBefore = ProcessCpuSeconds();
  const SteadyClock::time_point start = SteadyClock::now();
  bool ok = true;
  std::vector<Shown> shown;
  uint64_t blocks = 0;
  {
    Player player(r.pictureFrames.size());
    ok = player.Open(r.path, "null") && player.Start(false);
    if (ok && !player.WaitForEnd(std::chrono::seconds(r.frames / kRate) + kEndGrace)) {
      std::fprintf(stderr, "engine_bench: %s: normal play did not reach the end\n", r.name);
      ok = false;
    }
    player.Close();
    shown = player.front.ShownPictures();
    blocks = player.engine().soundBlocksPlayed;
  }
  const double wall = Seconds(SteadyClock::now() - start);
  const double cpu = ProcessCpuSeconds() - cpuBefore;
  ok = ShowedEveryPicture(r, shown, "normal play") && ok;
  const double percent = wall > 0 ? 100 * cpu / wall : 0;
  rows->push_back({"CPU at normal speed with sound, " + Format("%.0f s, %% of one core", duration),
                   ok ? Format("%.2f", percent) : "failed", "< 10 %",
                   ok ? Verdict(percent < kCpuTargetPercent) : "FAILED"});
  rows->push_back({"  wall / CPU seconds, sound blocks played",
                   Format("%.2f / %.2f, ", wall, cpu) + std::to_string(blocks), "", "-"});
  return ok;
}

// The one-minute load average of the machine, or a negative number.
void PrintTable(const std::vector<Row>& rows, double loadBefore, double loadAfter) {
  std::printf("\nengine_bench: 720 x 576 MPEG-4, key picture every %u, %u pictures per second\n", kKeyInterval, kRate);
  PrintRows(rows, loadBefore, loadAfter);
  std::printf(
      "\nnote: ours runs from the reader's construction to the last picture drawn; ffmpeg's are whole\n"
      "      runs of the command; best of each, taken in turns. Latencies are of files in the page\n"
      "      cache, over all runs. CPU is the whole process's user and system time over the wall time\n"
      "      from opening the file to the end of playback; drawing costs nothing here.\n"
      "note: ffmpeg decodes the mode-1 stream as a chain (each predicted picture against the one\n"
      "      before it) and so skips the key picture decode that each of ours needs; its pictures\n"
      "      are wrong there, and its rate is shown for information only.\n");
}

int Main(int argc, char** argv) {
  const Options o = ParseOptions(argc, argv);
  const std::optional<fs::path> work = MakeWorkFolder(o.keep);
  if (!work) return 1;
  const fs::path& folder = *work;

  const double loadBefore = LoadAverage();
  const uint32_t cpuFrames = (o.quick ? kQuickCpuSeconds : kCpuSeconds) * kRate;
  Recording mode0{"mode 0", 0, false, o.frames, {}, {}, {}};
  Recording mode1{"mode 1", 1, false, o.frames, {}, {}, {}};
  Recording withSound{"mode 1, sound", 1, true, cpuFrames, {}, {}, {}};

  bool ok = Prepare(mode0, folder, "mode0.vs4", "mode0.m4v") && Prepare(mode1, folder, "mode1.vs4", "mode1.m4v") &&
            Prepare(withSound, folder, "sound.vs4", "sound.m4v");
  std::vector<Row> rows;
  if (ok) {
    ok = Throughput(mode0, true, o, &rows) && ok;
    ok = Throughput(mode1, false, o, &rows) && ok;
    ok = Latency(withSound, o, &rows) && ok;
    ok = Latency(mode0, o, &rows) && ok;
    ok = Latency(mode1, o, &rows) && ok;
    ok = CpuUse(withSound, &rows) && ok;
  }
  PrintTable(rows, loadBefore, LoadAverage());

  if (o.keep.empty()) {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace tsv

int main(int argc, char** argv) { return tsv::Main(argc, argv); }
