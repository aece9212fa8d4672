// The clip exporter against synthesized recordings: AVI pictures sized,
// timed and labelled as the player shows them, recordings copied frame for
// frame, and no file left behind by a stopped export.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>

#include "engine/ClipExporter.h"
#include "formats/RecordingOpener.h"
#include "support/TestSupport.h"
#include "synth/Synthesizer.h"

namespace tsv {
namespace {

using test::TempDir;

// Records the texts it is asked to draw and marks the top-left pixel of
// each, so the test sees where text went.
class MarkingPainter final : public TextPainter {
 public:
  void DrawTexts(uint8_t* picture, uint16_t width, uint16_t height, const std::vector<PictureText>& texts) override {
    for (const PictureText& t : texts) {
      drawn.push_back(t);
      uint8_t* px = picture + (static_cast<std::size_t>(height - 1 - t.y) * width + t.x) * 3;
      px[0] = 1, px[1] = 2, px[2] = 3;
    }
    sizes.emplace_back(width, height);
  }
  std::vector<PictureText> drawn;
  std::vector<std::pair<int, int>> sizes;
};

class CollectingSink final : public MessageSink {
 public:
  void ShowMessage(std::string_view text) override { shown.emplace_back(text); }
  void Log(std::string_view) override {}
  std::vector<std::string> shown;
};

// A front end like the window's: the exporter's events are queued to the
// test's thread, which answers them.
class ExportFront final : public EventSink {
 public:
  void CloseRequested() override {}
  void ProgressPercent(uint16_t) override {}
  void PictureSizeChanged() override {}
  void StretchEnded() override {}
  void ExportPictureReady(ClipExporter&) override { Push(false); }
  void ExportEnded(ClipExporter&) override { Push(true); }

  // Answers events until the export ends: true when Finish succeeded.
  // After `stopAfter` pictures the export is stopped instead.
  bool Run(ClipExporter& e, const ExportPictureSettings& s, TextPainter* painter, int stopAfter = -1) {
    for (int pictures = 0;;) {
      std::unique_lock lock(mutex_);
      if (!changed_.wait_for(lock, std::chrono::seconds(30), [this] { return !queue_.empty(); })) {
        ADD_FAILURE() << "the export went quiet";
        return false;
      }
      const bool ended = queue_.front();
      queue_.pop_front();
      lock.unlock();
      if (ended) return e.Finish();
      e.WritePicture(s, painter);
      if (++pictures == stopAfter) {
        e.Stop();
        return false;
      }
    }
  }

 private:
  void Push(bool ended) {
    std::lock_guard lock(mutex_);
    queue_.push_back(ended);
    changed_.notify_one();
  }
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<bool> queue_;
};

struct Exported {
  bool ok = false;
  std::string path;
  uint32_t pictures = 0;
  uint32_t startFrame = 0;
  std::vector<std::string> messages;
};

struct Rig {
  explicit Rig(const SynthOptions& o, const std::string& name = "r.vs4") : path(dir.File(name)) {
    std::string error;
    EXPECT_TRUE(Synthesize(o, path, &error)) << error;
    std::filesystem::create_directory(out());
  }
  std::string out() const { return dir.File("out"); }

  Exported Export(ExportMode mode, uint32_t first, uint32_t last, bool osd = false, TextPainter* painter = nullptr) {
    ExportFront front;
    CollectingSink sink;
    ClipExporter e(front, sink);
    Exported x;
    EXPECT_TRUE(e.OpenReader(path));
    EXPECT_TRUE(e.Start({mode, first, last, out()}));
    ExportPictureSettings s;
    s.osdOn = osd;
    x.ok = front.Run(e, s, painter);
    x.path = e.outputPath();
    x.pictures = e.picturesWritten();
    x.startFrame = e.startFrame();
    x.messages = sink.shown;
    return x;
  }

  TempDir dir;
  std::string path;
};

SynthOptions Recording(uint8_t code, uint32_t frames) {
  SynthOptions o;
  o.frames = frames;
  o.keyInterval = 25;
  o.resolutionCode = code;
  o.start = {2026, 3, 4, 5, 10, 15, 30, 0};
  return o;
}

// "key=value" lines of ffprobe's default output for the first video stream.
std::string Probe(const std::string& path, const std::string& entries) {
  const test::CommandResult r = test::RunProgram({"ffprobe", "-v", "error", "-select_streams", "v:0", "-count_frames",
                                                  "-show_entries", entries, "-of", "default=noprint_wrappers=1", path});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  return r.out;
}

TEST(ClipExporter, AviHoldsEveryPictureOfTheStretchAtTheRecordedRate) {
  Rig rig(Recording(2, 80));  // 352 x 288, 25 pictures a second, key pictures at 1, 26, 51
  MarkingPainter painter;
  const Exported x = rig.Export(ExportMode::Avi, 30, 70, true, &painter);
  ASSERT_TRUE(x.ok);
  EXPECT_EQ(std::filesystem::path(x.path).filename(), "20260305_101531.avi");  // frame 30 is 1.16 s in
  EXPECT_EQ(x.pictures, 41u);
  EXPECT_EQ(x.startFrame, 30u) << "the pictures before the first mark are decoded, not written";
  EXPECT_EQ(Probe(x.path, "stream=width,height,r_frame_rate,nb_read_frames"),
            "width=352\nheight=288\nr_frame_rate=25/1\nnb_read_frames=41\n");
  ASSERT_EQ(painter.drawn.size(), 2u * 41);
  EXPECT_EQ(painter.drawn[0].text, "2026/03/05  10:15:31");
  EXPECT_EQ(painter.drawn[0].x, 10);
  EXPECT_EQ(painter.drawn[0].y, 10);
  EXPECT_EQ(painter.drawn[1].text, "352 x 288");
  EXPECT_EQ(painter.drawn[1].y, 288 - 20);
  EXPECT_TRUE(x.messages.empty());
}

TEST(ClipExporter, AviPicturesAreUprightAndCarryTextOnlyWithTheDisplayOn) {
  Rig rig(Recording(2, 30));
  MarkingPainter painter;
  const Exported plain = rig.Export(ExportMode::Avi, 1, 5, false, &painter);
  ASSERT_TRUE(plain.ok);
  EXPECT_TRUE(painter.drawn.empty());
  const Exported marked = rig.Export(ExportMode::Avi, 1, 5, true, &painter);
  ASSERT_TRUE(marked.ok);
  EXPECT_NE(plain.path, marked.path) << "a second export never replaces the first";
  // The marked pixel at (10, 10) from the top must come out at (10, 10):
  // ffmpeg turns the bottom-up rows into a top-down raw picture.
  const std::string raw = rig.dir.File("frame.rgb");
  const test::CommandResult r = test::RunProgram({"ffmpeg", "-v", "error", "-i", marked.path, "-frames:v", "1",
                                                  "-f", "rawvideo", "-pix_fmt", "bgr24", "-y", raw});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::vector<uint8_t> pixels = test::ReadBytes(raw);
  ASSERT_EQ(pixels.size(), 352u * 288 * 3);
  const std::size_t at = (10u * 352 + 10) * 3;
  EXPECT_EQ(pixels[at], 1);
  EXPECT_EQ(pixels[at + 1], 2);
  EXPECT_EQ(pixels[at + 2], 3);
}

TEST(ClipExporter, FieldPicturesAreStretchedToFullHeight) {
  Rig rig(Recording(11, 20));  // 720 x 240 fields
  MarkingPainter painter;
  const Exported x = rig.Export(ExportMode::Avi, 1, 10, true, &painter);
  ASSERT_TRUE(x.ok);
  EXPECT_EQ(Probe(x.path, "stream=width,height"), "width=720\nheight=480\n");
  ASSERT_FALSE(painter.sizes.empty());
  EXPECT_EQ(painter.sizes[0], std::make_pair(720, 480));
  EXPECT_EQ(painter.drawn[1].text, "720 x 240");
}

TEST(ClipExporter, AStretchShorterThanASecondStillGivesAFile) {
  Rig rig(Recording(2, 30));
  const Exported x = rig.Export(ExportMode::Avi, 3, 8);
  ASSERT_TRUE(x.ok);
  EXPECT_EQ(Probe(x.path, "stream=r_frame_rate,nb_read_frames"), "r_frame_rate=25/1\nnb_read_frames=6\n");
}

TEST(ClipExporter, JpegRecordingsExportToo) {
  SynthOptions o = Recording(2, 30);
  o.layout = SynthLayout::Qrv;
  o.codec = SynthCodec::Jpeg;
  o.streamType = 0;
  Rig rig(o, "r.vse");
  const Exported avi = rig.Export(ExportMode::Avi, 5, 24);
  ASSERT_TRUE(avi.ok);
  EXPECT_EQ(Probe(avi.path, "stream=width,height,nb_read_frames"), "width=352\nheight=288\nnb_read_frames=20\n");
  const Exported mp4 = rig.Export(ExportMode::Mp4, 5, 24);
  ASSERT_TRUE(mp4.ok);
  EXPECT_EQ(mp4.startFrame, 5u) << "every JPEG picture is a key picture";
  EXPECT_EQ(Probe(mp4.path, "stream=codec_name,nb_read_frames"), "codec_name=mjpeg\nnb_read_frames=20\n");
}

// "key=value" lines for every stream and the container's tags.
std::string ProbeAll(const std::string& path) {
  const test::CommandResult r =
      test::RunProgram({"ffprobe", "-v", "error", "-count_packets", "-show_entries",
                        "stream=codec_name,nb_read_packets:format=duration:format_tags=creation_time", "-of",
                        "default=noprint_wrappers=1", path});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  return r.out;
}

TEST(ClipExporter, Mp4CopyStartsOnTheKeyPictureBeforeTheFirstMark) {
  SynthOptions o = Recording(2, 120);
  o.predictedMode = 0;  // a chain: copied as recorded
  o.sound = true;
  Rig rig(o);
  // Frame numbers count sound frames too: find the pictures' numbers.
  NullMessageSink sink;
  uint32_t flag = 0;
  std::string error;
  auto r = OpenRecordingReader(rig.path, sink, false, &flag, &error);
  ASSERT_TRUE(r);
  std::vector<uint32_t> pictures, keys;
  for (uint32_t i = 0; i < r->frameIndex().size(); ++i) {
    if (r->IsSoundEntry(i)) continue;
    pictures.push_back(i + 1);
    if (r->IsKeyEntry(i)) keys.push_back(i + 1);
  }
  ASSERT_GE(keys.size(), 3u);
  const uint32_t first = pictures[30], last = pictures[99];  // pictures 31..100; key pictures at 1, 26, 51, 76
  const Exported x = rig.Export(ExportMode::Mp4, first, last);
  ASSERT_TRUE(x.ok);
  EXPECT_EQ(x.startFrame, keys[1]);
  EXPECT_EQ(x.pictures, 75u) << "pictures 26..100";
  const std::string probe = ProbeAll(x.path);
  EXPECT_NE(probe.find("codec_name=mpeg4\nnb_read_packets=75\n"), std::string::npos) << probe;
  EXPECT_NE(probe.find("codec_name=aac"), std::string::npos) << probe;
  EXPECT_NE(probe.find("duration=3.0"), std::string::npos) << probe;           // 75 pictures of 40 ms
  EXPECT_NE(probe.find("creation_time=2026-03-05T10:15:31"), std::string::npos) << probe;  // picture 26: 1.0 s in
  const test::CommandResult cues = test::RunProgram(
      {"ffmpeg", "-v", "error", "-i", x.path, "-map", "0:s:0", "-f", "srt", "-"});
  EXPECT_NE(cues.out.find("2026/03/05  10:15:31"), std::string::npos) << cues.out;
  EXPECT_NE(cues.out.find("2026/03/05  10:15:33"), std::string::npos) << cues.out;
  EXPECT_EQ(cues.out.find("2026/03/05  10:15:35"), std::string::npos) << cues.out;
}

TEST(ClipExporter, Mp4OfAKeyReferencedStreamIsEncodedAgainAndDecodesRight) {
  Rig rig(Recording(2, 60));  // predicted pictures refer to their key picture
  const Exported x = rig.Export(ExportMode::Mp4, 1, 50);
  ASSERT_TRUE(x.ok);
  EXPECT_EQ(x.pictures, 50u);
  // The last picture as a standard decoder shows it, against the AVI
  // export's picture (our decoder): close, where a copy drifts.
  const Exported avi = rig.Export(ExportMode::Avi, 50, 50);
  ASSERT_TRUE(avi.ok);
  auto lastPicture = [&](const std::string& video, const char* name) {
    const std::string raw = rig.dir.File(name);
    test::RunProgram({"ffmpeg", "-v", "error", "-i", video, "-f", "rawvideo", "-pix_fmt", "gray",
                      "-y", raw});
    std::vector<uint8_t> all = test::ReadBytes(raw);
    const std::size_t picture = 352u * 288;
    return all.size() < picture ? all : std::vector<uint8_t>(all.end() - picture, all.end());
  };
  const auto a = lastPicture(x.path, "a.gray"), b = lastPicture(avi.path, "b.gray");
  ASSERT_EQ(a.size(), 352u * 288);
  ASSERT_EQ(b.size(), a.size());
  double error = 0;
  for (std::size_t i = 0; i < a.size(); ++i) error += std::abs(a[i] - b[i]);
  EXPECT_LT(error / a.size(), 3.0);
}

// The frames of a recording as (header without the frame number, payload).
std::vector<std::vector<uint8_t>> FramePayloads(const std::string& path, uint32_t first, uint32_t last) {
  NullMessageSink sink;
  uint32_t flag = 0;
  std::string error;
  auto r = OpenRecordingReader(path, sink, false, &flag, &error);
  EXPECT_TRUE(r) << error;
  std::vector<std::vector<uint8_t>> frames;
  if (!r) return frames;
  r->state().qrvFirstFrame = 1;
  r->SeekFilePointToBeginFrame();
  for (uint32_t k = 0; k < last; ++k) {
    if (!r->ReadCurrentFrameInfo(k % kRingSlots, k == 0 ? 0 : r->state().fileMagic)) break;
    if (k + 1 < first) continue;
    const uint8_t* p = r->FrameSlot(k % kRingSlots);
    frames.emplace_back(p, p + r->GetCurrentFrameSize(k % kRingSlots));
  }
  return frames;
}

TEST(ClipExporter, RecordingExportCopiesTheMarkedFramesOfBothLayouts) {
  for (SynthLayout layout : {SynthLayout::Vsx, SynthLayout::Qrv}) {
    SynthOptions o = Recording(2, 60);
    o.layout = layout;
    o.sound = true;
    const bool qrv = layout == SynthLayout::Qrv;
    Rig rig(o, qrv ? "r.vse" : "r.vs4");
    const Exported x = rig.Export(ExportMode::Recording, 12, 40);
    ASSERT_TRUE(x.ok) << qrv;
    EXPECT_EQ(std::filesystem::path(x.path).extension(), qrv ? ".vse" : ".vs4");
    const auto source = FramePayloads(rig.path, 12, 40);
    const auto copy = FramePayloads(x.path, 1, 1000);
    EXPECT_EQ(copy.size(), 29u);
    EXPECT_EQ(copy, source) << qrv;
  }
}

TEST(ClipExporter, AStartWhileRunningIsIgnoredAndAStopLeavesNoFile) {
  for (ExportMode mode : {ExportMode::Avi, ExportMode::Recording}) {
    Rig rig(Recording(12, 120));
    ExportFront front;
    CollectingSink sink;
    ClipExporter e(front, sink);
    ASSERT_TRUE(e.OpenReader(rig.path));
    ASSERT_TRUE(e.Start({mode, 1, 120, rig.out()}));
    EXPECT_FALSE(e.Start({mode, 1, 10, rig.out()})) << "ignored while running";
    EXPECT_TRUE(e.running());
    if (mode == ExportMode::Avi) {
      EXPECT_FALSE(front.Run(e, {}, nullptr, 30));
    } else {
      e.Stop();
    }
    EXPECT_FALSE(e.running());
    EXPECT_TRUE(test::ListFolder(rig.out()).empty()) << "no file, complete or partial";
    // The exporter is usable again.
    ASSERT_TRUE(e.Start({mode, 1, 3, rig.out()}));
    EXPECT_TRUE(front.Run(e, {}, nullptr));
    EXPECT_EQ(test::ListFolder(rig.out()).size(), 1u);
  }
}

TEST(ClipExporter, MarksOutsideTheRecordingOrAFileThatIsNoRecordingAreRefused) {
  Rig rig(Recording(2, 10));
  ExportFront front;
  CollectingSink sink;
  ClipExporter e(front, sink);
  EXPECT_FALSE(e.Start({ExportMode::Avi, 1, 5, rig.out()})) << "no reader yet";
  test::WriteBytes(rig.dir.File("not.vs4"), std::vector<uint8_t>(300, 7));
  EXPECT_FALSE(e.OpenReader(rig.dir.File("not.vs4")));
  ASSERT_TRUE(e.OpenReader(rig.path));
  EXPECT_FALSE(e.Start({ExportMode::Avi, 0, 5, rig.out()}));
  EXPECT_FALSE(e.Start({ExportMode::Avi, 6, 5, rig.out()}));
  EXPECT_FALSE(e.Start({ExportMode::Avi, 1, 11, rig.out()}));
}

TEST(ClipExporter, AFolderThatCannotBeWrittenFailsWithOneMessage) {
  Rig rig(Recording(2, 40));
  ExportFront front;
  CollectingSink sink;
  ClipExporter e(front, sink);
  ASSERT_TRUE(e.OpenReader(rig.path));
  ASSERT_TRUE(e.Start({ExportMode::Avi, 1, 40, rig.dir.File("missing/folder")}));
  EXPECT_FALSE(front.Run(e, {}, nullptr));
  EXPECT_EQ(sink.shown, std::vector<std::string>{"Error Occured While Rendering the Movie"});
}

}  // namespace
}  // namespace tsv
