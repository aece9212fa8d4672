// Helpers of the MP4 clip tests: test streams to put into clips, and
// ffprobe / ffmpeg as independent readers of the clips written.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "media/Mp4ClipWriter.h"
#include "support/TestSupport.h"
#include "synth/Mpeg4StreamEncoder.h"
#include "synth/TestPicture.h"

namespace tsv::test {

using Bytes = std::vector<uint8_t>;

constexpr int kClipWidth = 176;
constexpr int kClipHeight = 144;

inline SYSTEMTIME At(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi, uint16_t s, uint16_t ms) {
  SYSTEMTIME t;
  t.wYear = y;
  t.wMonth = mo;
  t.wDay = d;
  t.wHour = h;
  t.wMinute = mi;
  t.wSecond = s;
  t.wMilliseconds = ms;
  return t;
}

inline Mp4ClipSettings ClipSettings(Mp4VideoCodec codec, bool sound, SYSTEMTIME start = At(2026, 3, 5, 10, 15, 30, 0)) {
  Mp4ClipSettings s;
  s.codec = codec;
  s.width = kClipWidth;
  s.height = kClipHeight;
  s.sound = sound;
  s.start = start;
  return s;
}

struct CodedPicture {
  Bytes data;
  bool key;
};

// `count` pictures of the moving test picture as MPEG-4 Part 2 with the
// given reference rule (0 chain, 1 every predicted picture refers to the
// key picture).
inline std::vector<CodedPicture> Mpeg4Pictures(int mode, uint32_t count, int keyInterval = 25) {
  Mpeg4EncoderSettings s;
  s.width = kClipWidth;
  s.height = kClipHeight;
  s.keyInterval = keyInterval;
  s.predictedMode = mode;
  Mpeg4StreamEncoder encoder;
  std::string error;
  EXPECT_TRUE(encoder.Open(s, &error)) << error;
  std::vector<CodedPicture> out;
  for (uint32_t k = 0; k < count; ++k) {
    YuvPicture picture;
    DrawTestPicture(kClipWidth, kClipHeight, k, "2026-03-05", "10:15:30", &picture);
    CodedPicture coded{{}, k % static_cast<uint32_t>(keyInterval) == 0};
    EXPECT_TRUE(encoder.Encode(picture, k, coded.key, &coded.data, &error)) << error;
    out.push_back(std::move(coded));
  }
  return out;
}

// Writes a clip of copied MPEG-4 pictures at the given times.
inline std::string CopyClip(const std::string& folder, const std::vector<uint32_t>& times,
                            const Mp4ClipSettings& settings) {
  const std::vector<CodedPicture> pictures = Mpeg4Pictures(0, static_cast<uint32_t>(times.size()));
  Mp4ClipWriter writer;
  std::string error;
  EXPECT_TRUE(writer.Open(folder, "clip", settings, &error)) << error;
  for (std::size_t k = 0; k < times.size(); ++k)
    EXPECT_TRUE(writer.AddPicture(pictures[k].data.data(), pictures[k].data.size(), times[k], pictures[k].key));
  EXPECT_TRUE(writer.Finish(&error)) << error;
  return writer.path();
}

// ffprobe's values of -show_entries, by name (the first of each name);
// packets are counted (nb_read_packets).
inline std::map<std::string, std::string> Probe(const std::string& path, const std::string& streams,
                                                const std::string& entries) {
  std::vector<std::string> args = {"ffprobe", "-v", "error"};
  if (!streams.empty()) args.insert(args.end(), {"-select_streams", streams});
  args.insert(args.end(), {"-count_packets", "-show_entries", entries, "-of", "default=nw=1", path});
  const CommandResult r = RunProgram(args);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  std::map<std::string, std::string> values;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) values.emplace(line.substr(0, eq), line.substr(eq + 1));
  }
  return values;
}

// One line per packet of the selected stream, e.g. "0.040000,K_" for
// packet=pts_time,flags.
inline std::vector<std::string> ProbePackets(const std::string& path, const std::string& streams,
                                             const std::string& fields) {
  const CommandResult r = RunProgram({"ffprobe", "-v", "error", "-select_streams", streams, "-show_entries",
                                      "packet=" + fields, "-of", "csv=p=0", path});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  std::vector<std::string> out;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) out.push_back(line);
  return out;
}

// The subtitle track as SRT text, written by ffmpeg.
inline std::string SubtitlesAsSrt(const std::string& path) {
  const CommandResult r = RunProgram({"ffmpeg", "-v", "error", "-i", path, "-map", "0:s:0", "-f", "srt", "-"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  return r.out;
}

// ffmpeg's complaints when decoding the whole file: empty when all is well.
inline std::string DecodeErrors(const std::string& path) {
  const CommandResult r = RunProgram({"ffmpeg", "-v", "error", "-i", path, "-fps_mode", "passthrough",
                                      "-enc_time_base:v", "1:1000", "-f", "null", "-"});
  return r.exitCode == 0 ? r.err : "exit " + std::to_string(r.exitCode) + ": " + r.err;
}

// Output of ffmpeg for one mapped stream, e.g. {"-c", "copy", "-f", "data"}.
inline std::string Extract(const std::string& path, const std::string& map, const std::vector<std::string>& output) {
  std::vector<std::string> args = {"ffmpeg", "-v", "error", "-i", path, "-map", map};
  args.insert(args.end(), output.begin(), output.end());
  args.push_back("-");
  const CommandResult r = RunProgram(args);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  return r.out;
}

}  // namespace tsv::test
