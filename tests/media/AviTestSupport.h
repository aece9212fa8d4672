// Pictures with known content and the ffmpeg tools as independent readers
// of the AVI files the tests write.
#pragma once

#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace tsv::test {

// A bottom-up blue-green-red picture: the top row starts with a red pixel,
// the bottom row with a blue one, its second pixel carries the picture's
// number and the rest is a gradient.
inline std::vector<uint8_t> NumberedPicture(uint16_t width, uint16_t height, uint32_t number) {
  std::vector<uint8_t> p(std::size_t{width} * height * 3);
  for (std::size_t i = 0; i < p.size(); ++i) p[i] = static_cast<uint8_t>(i * 13 + i / 7 + 1);
  const std::size_t top = std::size_t{height - 1u} * width * 3;
  p[top] = 0, p[top + 1] = 0, p[top + 2] = 255;
  p[0] = 255, p[1] = 0, p[2] = 0;
  if (width > 1) {
    p[3] = static_cast<uint8_t>(number);
    p[4] = static_cast<uint8_t>(number >> 8);
    p[5] = 0x5A;
  }
  return p;
}

// The number NumberedPicture put in a picture's bytes.
inline uint32_t PictureNumber(const std::vector<uint8_t>& bytes) {
  return bytes.size() >= 6 && bytes[5] == 0x5A ? bytes[3] | (bytes[4] << 8) : UINT32_MAX;
}

// The video stream as ffprobe sees it after reading every packet:
// width, height, r_frame_rate, avg_frame_rate, nb_frames, nb_read_packets...
inline std::map<std::string, std::string> ProbeVideo(const std::string& path) {
  const CommandResult r =
      RunProgram({"ffprobe", "-v", "error", "-count_packets", "-select_streams", "v:0", "-show_entries",
                  "stream=codec_name,pix_fmt,width,height,r_frame_rate,avg_frame_rate,nb_frames,"
                  "nb_read_packets",
                  "-of", "default=noprint_wrappers=1", path});
  std::map<std::string, std::string> fields;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    const auto eq = line.find('=');
    if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
  }
  if (r.exitCode != 0 || !r.err.empty()) fields["error"] = r.err;
  return fields;
}

// ffmpeg's complaints when it decodes the whole file; empty when none.
inline std::string DecodeComplaints(const std::string& path) {
  const CommandResult r = RunProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "null", "-"});
  return r.exitCode == 0 ? r.err : "exit " + std::to_string(r.exitCode) + ": " + r.err;
}

// The first picture as ffmpeg decodes it: top row first, blue-green-red.
inline std::string DecodedFirstPicture(const std::string& path) {
  return RunProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt",
                     "bgr24", "-"})
      .out;
}

}  // namespace tsv::test
