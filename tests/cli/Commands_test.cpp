// The command-line contract that scripts and later checks rely on: JSON
// keys and values for every layout, one-line errors with exit status 1 for
// bad files, segments, start times, pictures, snapshots and sound.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "platform/ByteIO.h"
#include "support/TestSupport.h"

namespace tsv {
namespace {

using test::RunCli;
using test::TempDir;

int Lines(const std::string& text) {
  int n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

// The value of a key in flat JSON text ("key": value), as written.
std::string JsonValue(const std::string& json, const std::string& key) {
  const std::regex re("\"" + key + "\": (\"[^\"]*\"|[^,}\\]]+)");
  std::smatch m;
  if (!std::regex_search(json, m, re)) return "<missing>";
  return m[1];
}

std::string Synth(const TempDir& dir, const std::string& name, std::vector<std::string> options) {
  const std::string path = dir.File(name);
  std::vector<std::string> args = {"synth", "-o", path};
  args.insert(args.end(), options.begin(), options.end());
  const test::CommandResult r = RunCli(args);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  return path;
}

TEST(InfoCommand, JsonForEveryKindOfRecording) {
  TempDir dir;
  struct Case {
    std::vector<std::string> options;
    const char* name;
    std::string layout, decoder, resolution, mode, pacing, audioOnly, streamFlag;
  } cases[] = {
      {{"--frames", "10", "--resolution", "0", "--audio"}, "a.vs4", "\"vsx\"", "\"mpeg4\"", "\"352 x 240\"", "1", "0",
       "false", "1"},
      {{"--frames", "10", "--resolution", "2", "--mode", "0"}, "b.vs4", "\"vsx\"", "\"mpeg4\"", "\"352 x 288\"", "0",
       "1", "false", "1"},
      {{"--frames", "6", "--codec", "jpeg"}, "c.vs4", "\"vsx\"", "\"jpeg\"", "\"352 x 240\"", "1", "1", "false", "1"},
      {{"--frames", "10", "--sound-only"}, "d.vs4", "\"vsx\"", "\"mpeg4\"", "\"352 x 240\"", "1", "1", "true", "0"},
      {{"--layout", "qrv", "--stream-type", "0", "--frames", "5", "--resolution", "7"}, "e.vse", "\"qrv\"",
       "\"jpeg\"", "\"320 x 228\"", "1", "1", "false", "0"},
      {{"--layout", "qrv", "--stream-type", "4", "--frames", "8", "--resolution", "6"}, "f.vse", "\"qrv\"",
       "\"mpeg4\"", "\"640 x 456\"", "0", "1", "false", "0"},
      {{"--layout", "qrv", "--stream-type", "5", "--frames", "8", "--resolution", "2"}, "g.vse", "\"qrv\"",
       "\"mpeg4\"", "\"352 x 288\"", "1", "1", "false", "0"},
  };
  for (const auto& c : cases) {
    const std::string path = Synth(dir, c.name, c.options);
    const test::CommandResult r = RunCli({"info", path, "--json"});
    ASSERT_EQ(r.exitCode, 0) << c.name << r.err;
    EXPECT_EQ(Lines(r.out), 1) << c.name;
    EXPECT_EQ(JsonValue(r.out, "layout"), c.layout) << c.name;
    EXPECT_EQ(JsonValue(r.out, "decoder"), c.decoder) << c.name;
    EXPECT_EQ(JsonValue(r.out, "resolution"), c.resolution) << c.name;
    EXPECT_EQ(JsonValue(r.out, "predicted_stream_mode"), c.mode) << c.name;
    EXPECT_EQ(JsonValue(r.out, "video_pacing"), c.pacing) << c.name;
    EXPECT_EQ(JsonValue(r.out, "audio_only"), c.audioOnly) << c.name;
    EXPECT_EQ(JsonValue(r.out, "stream_flag"), c.streamFlag) << c.name;
    EXPECT_EQ(JsonValue(r.out, "frame_count"), JsonValue(r.out, "index_count")) << c.name;
    for (const char* key : {"duration_s", "duration_text", "ip", "resolution_code", "record_style", "magic",
                            "file_timestamp"})
      EXPECT_NE(JsonValue(r.out, key), "<missing>") << c.name << " " << key;
  }
}

TEST(FramesCommand, JsonListsEveryFrameWithItsIndexEntry) {
  TempDir dir;
  const std::string path = Synth(dir, "a.vs4",
                                 {"--frames", "12", "--key-interval", "5", "--audio", "--start", "2005-03-05 10:15:30"});
  const test::CommandResult info = RunCli({"info", path, "--json"});
  const int count = std::stoi(JsonValue(info.out, "index_count"));
  const test::CommandResult r = RunCli({"frames", path, "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::vector<std::string> frames;
  const std::regex object("\\{[^}]*\\}");
  for (auto it = std::sregex_iterator(r.out.begin(), r.out.end(), object); it != std::sregex_iterator(); ++it)
    frames.push_back(it->str());
  ASSERT_EQ(static_cast<int>(frames.size()), count);
  int pictures = 0, keys = 0, sounds = 0;
  for (int i = 0; i < count; ++i) {
    const std::string& f = frames[i];
    EXPECT_EQ(JsonValue(f, "number"), std::to_string(i + 1));
    const std::string kind = JsonValue(f, "kind");
    const std::string type = JsonValue(f, "index_type");
    if (kind == "\"picture\"") {
      ++pictures;
      EXPECT_TRUE(type == "1" || type == "2" || type == "3") << f;
      // Key pictures are I pictures, predicted ones P pictures.
      EXPECT_EQ(JsonValue(f, "picture_type"), type == "2" ? "2" : "1") << f;
      keys += type != "2";
    } else {
      EXPECT_EQ(kind, "\"audio\"") << f;
      EXPECT_EQ(type, "0") << f;
      ++sounds;
    }
    EXPECT_NE(JsonValue(f, "pts"), "null") << f;
    EXPECT_EQ(std::stoul(JsonValue(f, "pts")) / 90, std::stoul(JsonValue(f, "time_ms"))) << f;
    EXPECT_EQ(JsonValue(f, "timestamp").substr(0, 18), "\"2005-03-05 10:15:") << f;
  }
  EXPECT_EQ(pictures, 12);
  EXPECT_EQ(keys, 3);
  EXPECT_GT(sounds, 0);
  EXPECT_EQ(JsonValue(frames[0], "offset"), "76");
}

TEST(Commands, BadFilesGiveOneLineAndStatusOne) {
  TempDir dir;
  const std::string good = Synth(dir, "good.vs4", {"--frames", "6"});
  std::vector<uint8_t> bytes = test::ReadBytes(good);
  std::vector<uint8_t> hugeIndex = bytes;
  PutU32LE(hugeIndex.data() + hugeIndex.size() - 4, 0x7FFFFFFF);
  std::vector<uint8_t> truncated(bytes.begin(), bytes.begin() + 60);
  test::WriteBytes(dir.File("huge.vs4"), hugeIndex);
  test::WriteBytes(dir.File("short.vs4"), truncated);
  test::WriteBytes(dir.File("empty.vse"), {});
  test::WriteBytes(dir.File("text.txt"), {'h', 'i'});
  for (const std::string name : {"huge.vs4", "short.vs4", "empty.vse", "text.txt", "missing.vs4"}) {
    for (const std::string command : {"info", "frames", "starttime"}) {
      // The start time needs only the header and the first frame.
      if (command == "starttime" && name == "huge.vs4") continue;
      const test::CommandResult r = RunCli({command, dir.File(name)});
      EXPECT_EQ(r.exitCode, 1) << command << " " << name;
      EXPECT_EQ(Lines(r.err), 1) << command << " " << name << ": " << r.err;
      EXPECT_TRUE(r.out.empty()) << command << " " << name;
    }
  }
  EXPECT_NE(RunCli({"info", dir.File("huge.vs4")}).err.find("Open file is failed."), std::string::npos);
  EXPECT_EQ(RunCli({"info"}).exitCode, 2);
  EXPECT_EQ(RunCli({"nonsense"}).exitCode, 2);
}

TEST(SegmentCommand, WritesTheStretchAndNeverReplaces) {
  TempDir dir;
  for (const char* name : {"a.vs4", "b.vse"}) {
    const bool qrv = std::string(name).back() == 'e';
    const std::string source =
        Synth(dir, name,
              qrv ? std::vector<std::string>{"--layout", "qrv", "--frames", "20", "--start", "2005-03-05 10:15:30"}
                  : std::vector<std::string>{"--frames", "20", "--start", "2005-03-05 10:15:30"});
    const std::string out = dir.File(qrv ? "qrv" : "vsx");
    std::filesystem::create_directory(out);
    const test::CommandResult first = RunCli({"segment", source, "--from-frame", "3", "--to-frame", "9", "-o", out});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    const std::string ext = qrv ? ".vse" : ".vs4";
    EXPECT_EQ(first.out, out + "/20050305_101530" + ext + "\n");
    const test::CommandResult second = RunCli({"segment", source, "--from-frame", "3", "--to-frame", "3", "-o", out});
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(second.out, out + "/20050305_101530_2" + ext + "\n");
    // The segment is a recording of its own: seven frames, numbered anew.
    const test::CommandResult frames = RunCli({"frames", out + "/20050305_101530" + ext, "--json"});
    ASSERT_EQ(frames.exitCode, 0) << frames.err;
    EXPECT_NE(frames.out.find("\"number\": 7,"), std::string::npos);
    EXPECT_EQ(frames.out.find("\"number\": 8,"), std::string::npos);
    EXPECT_EQ(test::ListFolder(out).size(), 2u);
    EXPECT_EQ(RunCli({"segment", source, "--from-frame", "9", "--to-frame", "3", "-o", out}).exitCode, 1);
    EXPECT_EQ(RunCli({"segment", source, "--from-frame", "1", "--to-frame", "999", "-o", out}).exitCode, 1);
    EXPECT_EQ(test::ListFolder(out).size(), 2u);
  }
}

TEST(StartTimeCommand, PrintsTheFirstFrameTime) {
  TempDir dir;
  const std::string vsx = Synth(dir, "a.vs4", {"--frames", "3", "--start", "2005-03-05 10:15:30"});
  const std::string qrv = Synth(dir, "b.vse", {"--layout", "qrv", "--frames", "3", "--start", "2006-11-30 23:59:58"});
  EXPECT_EQ(RunCli({"starttime", vsx}).out, "2005-03-05 10:15:30\n");
  EXPECT_EQ(RunCli({"starttime", qrv}).out, "2006-11-30 23:59:58\n");
}

TEST(PictureCommands, DecodeSnapshotAndAudioWriteNewFilesOnly) {
  TempDir dir;
  const std::string path = Synth(dir, "a.vs4", {"--frames", "12", "--key-interval", "5", "--audio"});
  const test::CommandResult frames = RunCli({"frames", path, "--json"});
  // The first picture frame follows the first sound frame.
  const test::CommandResult decoded = RunCli({"decode", path, "--frame", "2", "-o", dir.File("p.bmp")});
  ASSERT_EQ(decoded.exitCode, 0) << decoded.err;
  const std::vector<uint8_t> bmp = test::ReadBytes(dir.File("p.bmp"));
  ASSERT_GT(bmp.size(), 54u);
  EXPECT_EQ(GetU32LE(bmp.data() + 18), 352u);
  EXPECT_EQ(GetU32LE(bmp.data() + 22), 240u);
  EXPECT_EQ(RunCli({"decode", path, "--frame", "2", "-o", dir.File("p.bmp")}).exitCode, 1);
  EXPECT_EQ(RunCli({"decode", path, "--frame", "1", "-o", dir.File("q.png")}).exitCode, 1);  // sound
  EXPECT_EQ(RunCli({"decode", path, "--frame", "9999", "-o", dir.File("q.png")}).exitCode, 1);
  ASSERT_EQ(RunCli({"decode", path, "--frame", "8", "-o", dir.File("q.png")}).exitCode, 0);
  EXPECT_EQ(test::ReadBytes(dir.File("q.png"))[1], 'P');

  const std::string shots = dir.File("shots");
  std::filesystem::create_directory(shots);
  const test::CommandResult shot = RunCli({"snapshot", path, "--frame", "8", "-o", shots});
  ASSERT_EQ(shot.exitCode, 0) << shot.err;
  EXPECT_TRUE(std::regex_match(shot.out, std::regex(".*/shots/\\d{6}T\\d{8}(_\\d+)?\\.jpg\n"))) << shot.out;

  const test::CommandResult sound = RunCli({"audio", path, "-o", dir.File("s.wav")});
  ASSERT_EQ(sound.exitCode, 0) << sound.err;
  const std::vector<uint8_t> wav = test::ReadBytes(dir.File("s.wav"));
  ASSERT_GT(wav.size(), 44u);
  EXPECT_EQ(GetU32LE(wav.data() + 24), 8000u);
  EXPECT_EQ(GetU16LE(wav.data() + 22), 1u);
  EXPECT_EQ(GetU16LE(wav.data() + 34), 16u);
  EXPECT_EQ(RunCli({"audio", path, "-o", dir.File("s.wav")}).exitCode, 1);
  (void)frames;
}

}  // namespace
}  // namespace tsv
