// Helpers the benchmarks share: synthesizing a recording, reading its
// pictures through the reader, writing them out as an elementary stream
// for the peer, and running the peer as a timed child process.
#pragma once

#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "formats/CVsxFile.h"
#include "synth/Synthesizer.h"

namespace tsv::bench {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

double Seconds(SteadyClock::duration d);
double Milliseconds(SteadyClock::duration d);

// User plus system seconds of a resource usage, and of this process so far.
double CpuSeconds(const rusage& usage);
double ProcessCpuSeconds();

// The folder a benchmark works in: `keep` when given (made if missing),
// else a fresh temporary folder. None, with a line on stderr, on failure.
std::optional<fs::path> MakeWorkFolder(const std::string& keep);

// Writes a recording, replacing what the path held; false with a line on
// stderr on failure.
bool MakeRecording(const SynthOptions& options, const fs::path& path);

// One picture frame as the reader hands it over.
struct Picture {
  std::vector<uint8_t> packet;  // the whole frame payload
  uint32_t pictureType = 0;
};

// Opens a recording the way the player does, the MPEG-4 decoder created
// before the open step configures it.
bool OpenReader(CVsxFile& reader, bool mpeg4, const fs::path& path);

// Every picture frame of an opened recording, read through the reader.
bool ReadPictures(CVsxFile& reader, bool mpeg4, std::vector<Picture>* pictures);

// The picture data of every packet, back to back: the elementary stream.
bool WriteElementaryStream(const std::vector<Picture>& pictures, const fs::path& path);

// Runs a command with stdin from /dev/null and stdout to `stdoutPath`; its
// wall-clock seconds, or none (with a line on stderr) when it could not run
// or failed. `cpuSeconds`, when given, receives its user plus system time.
std::optional<double> RunTimed(const std::vector<std::string>& args, const std::string& stdoutPath,
                               double* cpuSeconds = nullptr);

// The ffmpeg command that decodes a stream to BGR with `threads` threads;
// `pictures` limits how many (0: all).
std::vector<std::string> FfmpegDecode(const fs::path& stream, int threads, const char* outputFormat,
                                      uint32_t pictures = 0);

// How many pictures ffmpeg makes of a stream (one line per picture of its
// frame-CRC listing, written to `listing`); 0 when it fails.
uint32_t FfmpegPictureCount(const fs::path& stream, const fs::path& listing);

// A line of a benchmark's closing table.
struct Row {
  std::string measure;
  std::string figure;
  std::string target;
  std::string result;  // "met", "NOT MET", "FAILED" or "-"
};

__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...);
const char* Verdict(bool met);
// The machine's load average over the last minute.
double LoadAverage();
// The load before and after, then the rows as a table on stdout.
void PrintRows(const std::vector<Row>& rows, double loadBefore, double loadAfter);

}  // namespace tsv::bench
