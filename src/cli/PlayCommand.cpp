// tessarovine-cli play FILE [--audio KIND] [--script "CMD; ..."]
//                           [--report PATH.json] [--unpaced]
// Plays a recording headless through the real engine, driven by the same
// commands as the window's buttons.
#include <chrono>
#include <cstdio>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "cli/Commands.h"
#include "cli/FramePicture.h"
#include "cli/Json.h"
#include "cli/Recording.h"
#include "engine/PlayerCommands.h"
#include "platform/OutputFile.h"

namespace tsv::cli {

namespace {

struct ShownPicture {
  uint32_t frame = 0;
  uint64_t tMs = 0;
  uint16_t percent = 0;
  SYSTEMTIME timestamp;
};

// Collects what the engine shows and tells, from its threads.
class HeadlessFront final : public PictureSink, public EventSink, public PlayerFrontEnd {
 public:
  explicit HeadlessFront(uint64_t startMs) : startMs_(startMs) {}

  void DrawPicture(const DrawRequest& r) override {
    std::lock_guard lock(mutex_);
    pictures.push_back({r.record.frameNumber, SystemClock().NowMs() - startMs_, r.percent, r.record.timestamp});
  }
  void CloseRequested() override { closeRequested = true; }
  void ProgressPercent(uint16_t percent) override { slider = percent; }
  void PictureSizeChanged() override {}
  void StretchEnded() override { stretchEnded = true; }
  void ButtonLook(PlayerButton, bool) override {}
  void DurationTextChanged() override {}
  uint16_t SliderPosition() override { return slider; }

  std::vector<ShownPicture> Pictures() {
    std::lock_guard lock(mutex_);
    return pictures;
  }
  std::size_t PictureCount() {
    std::lock_guard lock(mutex_);
    return pictures.size();
  }

  std::atomic<uint16_t> slider{0};
  std::atomic<bool> closeRequested{false};
  std::atomic<bool> stretchEnded{false};

 private:
  uint64_t startMs_;
  std::mutex mutex_;
  std::vector<ShownPicture> pictures;
};

std::vector<std::string> SplitScript(const std::string& script) {
  std::vector<std::string> commands;
  std::stringstream in(script);
  std::string part;
  while (std::getline(in, part, ';')) {
    const auto b = part.find_first_not_of(" \t\n");
    if (b == std::string::npos) continue;
    const auto e = part.find_last_not_of(" \t\n");
    commands.push_back(part.substr(b, e - b + 1));
  }
  return commands;
}

int Usage() {
  std::fprintf(stderr,
               "usage: tessarovine-cli play FILE [--audio auto|device|null|wav:PATH] [--script \"CMD; ...\"]\n"
               "                            [--report PATH.json] [--unpaced]\n"
               "script commands: wait MS, play, pause, stop, fast-forward, slow-forward, fast-rewind,\n"
               "  slow-rewind, hold-fast-forward MS, hold-fast-rewind MS, seek PERCENT, preview PERCENT,\n"
               "  marks FRAME FRAME, quit\n");
  return 2;
}

}  // namespace

int RunPlay(const Args& args) {
  std::string path, audio = "auto", script, report;
  bool unpaced = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--audio" && hasValue) audio = args[++i];
    else if (a == "--script" && hasValue) script = args[++i];
    else if (a == "--report" && hasValue) report = args[++i];
    else if (a == "--unpaced") unpaced = true;
    else if (path.empty() && a.rfind("-", 0) != 0) path = a;
    else return Usage();
  }
  if (path.empty()) return Usage();

  OpenedRecording rec = OpenRecording(path, true);
  if (!rec.reader) return 1;
  CRecFile& r = *rec.reader;
  PlaybackState& st = r.state();
  HeadlessFront front(SystemClock().NowMs());
  PlaybackEngine engine(front, front);
  engine.SetAudioDevice(unpaced ? "null" : audio);
  if (!engine.PrepareFileBuffers(r)) {
    std::fprintf(stderr, "%s: the playback buffers cannot be set up\n", path.c_str());
    return 1;
  }
  // The open step configures the decoder the set-up created.
  uint32_t flag = 0;
  if (!r.OpenFileToGetDecoder(path, &flag)) {
    std::fprintf(stderr, "%s: Open file is failed.\n", path.c_str());
    return 1;
  }
  st.defaultVideoPacing = st.videoPacing.load();
  PlayerCommands commands(engine, r, front);
  if (unpaced) {
    st.speedLevel = kSpeedPaused;  // no pacing at all
    st.offSpeed = 1;
    st.videoPacing = 1;
  }
  if (!commands.Start()) {
    std::fprintf(stderr, "%s: the engine cannot start\n", path.c_str());
    return 1;
  }
  if (unpaced) {
    st.speedLevel = kSpeedPaused;
    st.offSpeed = 1;
  }

  std::string ended = "end";
  uint32_t firstMark = 0;
  bool loopedStretch = false;  // a marked stretch ended (and looped back)
  uint64_t lastLine = SystemClock().NowMs();
  // Waits, keeping the engine's own ends in view; false when playback ended.
  auto waitMs = [&](uint64_t ms) {
    const uint64_t until = SystemClock().NowMs() + ms;
    while (SystemClock().NowMs() < until || ms == UINT64_MAX) {
      if (front.closeRequested) {
        ended = "stopped";
        return false;
      }
      if (front.stretchEnded) {
        front.stretchEnded = false;
        loopedStretch = true;
        commands.LoopBack(firstMark);
      } else if (engine.abortEvent() && engine.abortEvent()->IsSet() && !engine.singlePicture) {
        ended = st.endReached ? "end" : (st.progressPercent == 100 ? "end" : "stopped");
        if (ms == UINT64_MAX) return false;
      }
      if (report.empty() && SystemClock().NowMs() - lastLine >= 1000) {
        lastLine = SystemClock().NowMs();
        std::fprintf(stderr, "t=%llus frame=%u percent=%u speed=%s %s\n",
                     static_cast<unsigned long long>(front.PictureCount()),
                     st.pictureRecords[st.ringIndex % kRingSlots].frameNumber, st.progressPercent.load(),
                     SpeedText(st.speedLevel == kSpeedPaused ? st.savedSpeedLevel.load() : st.speedLevel.load()),
                     st.paused ? "paused" : st.playing ? (st.reverse ? "backwards" : "playing") : "stopped");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  };

  bool quit = false;
  for (const std::string& line : SplitScript(script)) {
    std::stringstream words(line);
    std::string verb;
    words >> verb;
    uint32_t a = 0, b = 0;
    std::string arg1, arg2;
    words >> arg1 >> arg2;
    const bool has1 = ParseNumber(arg1, &a), has2 = ParseNumber(arg2, &b);
    if (commands.seeking() && verb != "wait" && verb != "preview") commands.EndSeek(front.slider);
    if (verb == "wait" && has1) waitMs(a);
    else if (verb == "play") commands.Play();
    else if (verb == "pause") commands.Pause();
    else if (verb == "stop") commands.Stop();
    else if (verb == "fast-forward") commands.FastForward();
    else if (verb == "slow-forward") commands.SlowForward();
    else if (verb == "fast-rewind") commands.FastRewind();
    else if (verb == "slow-rewind") commands.SlowRewind();
    else if ((verb == "hold-fast-forward" || verb == "hold-fast-rewind") && has1) {
      commands.FastButtonDown(verb == "hold-fast-forward" ? kFastForwardButton : kFastRewindButton);
      if (a >= 1000) {
        waitMs(1000);
        commands.FastButtonHeld();
        waitMs(a - 1000);
      } else {
        waitMs(a);
      }
      commands.FastButtonUp();
    } else if (verb == "seek" && has1 && a <= 100) {
      // Press and release on the slider at that position.
      front.slider = static_cast<uint16_t>(a);
      commands.BeginSeek();
      commands.EndSeek(static_cast<uint16_t>(a));
    } else if (verb == "preview" && has1 && a <= 100) {
      // Press, drag there and hold: one picture is shown; the release comes
      // with the next command.
      front.slider = static_cast<uint16_t>(a);
      commands.BeginSeek();
      commands.Preview(static_cast<uint16_t>(a));
    } else if (verb == "marks" && has1 && has2 && a >= 1 && a < b && b <= st.indexCount) {
      firstMark = a;
      st.secondMarkFrame = b;
      st.secondMarkPercent = static_cast<uint32_t>(static_cast<uint64_t>(b) * 100 / st.indexCount);
      st.marksComplete = 1;
    } else if (verb == "quit") {
      quit = true;
      ended = "quit";
      break;
    } else {
      std::fprintf(stderr, "play: unknown script command '%s'\n", line.c_str());
      commands.Close();
      return 2;
    }
  }
  if (commands.seeking() && !quit) commands.EndSeek(front.slider);
  if (!quit && script.empty()) waitMs(UINT64_MAX);
  if (!quit && !script.empty())
    ended = st.endReached ? "end" : loopedStretch ? "stretch" : (st.playing ? "stopped" : ended);
  commands.Close();

  const std::vector<ShownPicture> pictures = front.Pictures();
  if (!report.empty()) {
    std::string json = "{\"pictures\": [";
    for (std::size_t i = 0; i < pictures.size(); ++i) {
      JsonObject o;
      o.Add("frame", uint64_t{pictures[i].frame})
          .Add("t_ms", pictures[i].tMs)
          .Add("percent", uint64_t{pictures[i].percent})
          .Add("timestamp", FormatSystemTime(pictures[i].timestamp, true));
      json += (i ? ",\n  " : "\n  ") + o.str();
    }
    json += "],\n \"sound_blocks\": " + std::to_string(engine.soundBlocksPlayed.load()) + ",\n \"ended\": " +
            JsonString(ended) + "}\n";
    OutputFile out;
    std::string error;
    if (!out.Create(report, &error) || !out.Write(json.data(), json.size()) || !out.Commit(&error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
  }
  std::fprintf(stderr, "%s: %zu pictures shown, %llu sound blocks, ended: %s\n", path.c_str(), pictures.size(),
               static_cast<unsigned long long>(engine.soundBlocksPlayed.load()), ended.c_str());
  return 0;
}

}  // namespace tsv::cli
