// A recording played through the real engine, with sinks that record what
// was drawn and told, and the silent sound device.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/PlayerCommands.h"
#include "formats/CVsxFile.h"
#include "formats/CZKQRV.h"
#include "support/TestSupport.h"
#include "synth/Synthesizer.h"

namespace tsv::test {

class RecordingFront final : public PictureSink, public EventSink, public PlayerFrontEnd {
 public:
  void DrawPicture(const DrawRequest& r) override {
    std::lock_guard lock(mutex_);
    frames_.push_back(r.record.frameNumber);
  }
  void CloseRequested() override { closeRequested = true; }
  void ProgressPercent(uint16_t percent) override { slider = percent; }
  void PictureSizeChanged() override { ++sizeChanges; }
  void StretchEnded() override { stretchEnded = true; }
  void ButtonLook(PlayerButton, bool) override {}
  void DurationTextChanged() override {}
  uint16_t SliderPosition() override { return slider; }

  std::vector<uint32_t> Frames() {
    std::lock_guard lock(mutex_);
    return frames_;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    frames_.clear();
  }

  std::atomic<uint16_t> slider{0};
  std::atomic<bool> closeRequested{false};
  std::atomic<bool> stretchEnded{false};
  std::atomic<int> sizeChanges{0};

 private:
  std::mutex mutex_;
  std::vector<uint32_t> frames_;
};

// Synthesizes a recording and opens it as the player does.
class PlayedRecording {
 public:
  explicit PlayedRecording(SynthOptions options, const std::string& audio = "null") : options_(options) {
    path_ = dir_.File(options.layout == SynthLayout::Vsx ? "r.vs4" : "r.vse");
    const std::string& path = path_;
    std::string error;
    EXPECT_TRUE(Synthesize(options, path, &error)) << error;
    if (options.layout == SynthLayout::Vsx) reader_ = std::make_unique<CVsxFile>(sink_);
    else reader_ = std::make_unique<CZKQRV>(sink_);
    if (options.layout == SynthLayout::Qrv) reader_->state().videoPacing = 1;
    engine_ = std::make_unique<PlaybackEngine>(front, front);
    engine_->SetAudioDevice(audio);
    EXPECT_TRUE(engine_->PrepareFileBuffers(*reader_));
    uint32_t flag = 0;
    EXPECT_TRUE(reader_->OpenFileToGetDecoder(path, &flag));
    reader_->state().defaultVideoPacing = reader_->state().videoPacing.load();
    commands = std::make_unique<PlayerCommands>(*engine_, *reader_, front);
  }
  ~PlayedRecording() {
    commands->Close();
    engine_.reset();
  }

  PlaybackState& state() { return reader_->state(); }
  const std::string& path() const { return path_; }
  PlaybackEngine& engine() { return *engine_; }
  CRecFile& reader() { return *reader_; }

  // Waits until the engine has stopped by itself (or the bound passed),
  // then collects its threads so that what they wrote is settled.
  bool WaitForEnd(std::chrono::milliseconds bound = std::chrono::milliseconds(20000)) {
    const auto until = std::chrono::steady_clock::now() + bound;
    while (std::chrono::steady_clock::now() < until) {
      if (engine_->abortEvent() && engine_->abortEvent()->IsSet()) {
        engine_->StopEngine();
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
  // Waits until at least n pictures were drawn.
  bool WaitForPictures(std::size_t n, std::chrono::milliseconds bound = std::chrono::milliseconds(20000)) {
    const auto until = std::chrono::steady_clock::now() + bound;
    while (std::chrono::steady_clock::now() < until) {
      if (front.Frames().size() >= n) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }

  RecordingFront front;
  std::unique_ptr<PlayerCommands> commands;

 private:
  TempDir dir_;
  std::string path_;
  SynthOptions options_;
  StderrMessageSink sink_;
  std::unique_ptr<CRecFile> reader_;
  std::unique_ptr<PlaybackEngine> engine_;
};

// The 1-based frame numbers of the picture frames of a recording, in order.
inline std::vector<uint32_t> PictureFrames(CRecFile& reader) {
  std::vector<uint32_t> frames;
  const auto& index = reader.frameIndex();
  const bool vsx = dynamic_cast<CVsxFile*>(&reader) != nullptr;
  for (std::size_t i = 0; i < index.size(); ++i) {
    const uint32_t t = index[i].type;
    const bool sound = vsx ? t == kVsxAudioFrame : t == kQrvAudioFrame;
    if (!sound) frames.push_back(static_cast<uint32_t>(i + 1));
  }
  return frames;
}

}  // namespace tsv::test
