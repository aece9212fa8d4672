#include "BenchSupport.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "formats/MessageSink.h"
#include "formats/PesPacket.h"
#include "formats/PlaybackState.h"
#include "media/VideoDecoder.h"

extern char** environ;

namespace tsv::bench {

namespace {

// The running benchmark's name, for its messages.
const char* Name() { return program_invocation_short_name; }

}  // namespace

double Seconds(SteadyClock::duration d) { return std::chrono::duration<double>(d).count(); }
double Milliseconds(SteadyClock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double CpuSeconds(const rusage& usage) {
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return CpuSeconds(usage);
}

std::optional<fs::path> MakeWorkFolder(const std::string& keep) {
  if (!keep.empty()) {
    std::error_code ec;
    fs::create_directories(keep, ec);
    if (ec) {
      std::fprintf(stderr, "%s: cannot make %s: %s\n", Name(), keep.c_str(), ec.message().c_str());
      return std::nullopt;
    }
    return fs::path(keep);
  }
  std::string pattern = (fs::temp_directory_path() / (std::string(Name()) + ".XXXXXX")).string();
  if (!mkdtemp(pattern.data())) {
    std::fprintf(stderr, "%s: cannot make a temporary folder: %s\n", Name(), std::strerror(errno));
    return std::nullopt;
  }
  return fs::path(pattern);
}

bool MakeRecording(const SynthOptions& options, const fs::path& path) {
  std::string error;
  std::error_code ec;
  fs::remove(path, ec);
  if (!Synthesize(options, path.string(), &error)) {
    std::fprintf(stderr, "%s: cannot synthesize %s: %s\n", Name(), path.c_str(), error.c_str());
    return false;
  }
  return true;
}

bool OpenReader(CVsxFile& reader, bool mpeg4, const fs::path& path) {
  if (mpeg4 && !CreateMpeg4Decoder(reader.state().decoder)) return false;
  PrepareRings(reader.state(), false);
  uint32_t streamFlag = 0;
  return reader.OpenFileToGetDecoder(path.string(), &streamFlag);
}

bool ReadPictures(CVsxFile& reader, bool mpeg4, std::vector<Picture>* pictures) {
  PlaybackState& st = reader.state();
  reader.SeekFilePointToBeginFrame();
  for (uint32_t k = 0; k < st.indexCount; ++k) {
    const uint32_t slot = k % kRingSlots;
    if (!reader.ReadCurrentFrameInfo(slot, k == 0 ? 0 : st.fileMagic)) return false;
    st.readSlotIndex = slot;
    const uint8_t* payload = reader.FrameSlot(slot);
    const uint32_t size = reader.GetCurrentFrameSize(slot);
    if (size < 4) continue;
    const uint8_t kind = mpeg4 ? reader.GetMp4FrameKind(payload) : reader.GetJpegFrameKind(payload);
    if (kind != kFramePicture) continue;
    Picture p;
    p.packet.assign(payload, payload + size);
    if (mpeg4) {
      uint32_t pts = 0, width = 0, height = 0, reserved = 0;
      reader.ParseMp4FramePes(payload, size, &pts, &width, &height, &reserved, &p.pictureType);
    }
    pictures->push_back(std::move(p));
  }
  return !pictures->empty();
}

bool WriteElementaryStream(const std::vector<Picture>& pictures, const fs::path& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (const Picture& p : pictures) {
    const std::size_t from = PacketPayloadOffset(p.packet.data(), p.packet.size());
    if (from >= p.packet.size()) return false;
    out.write(reinterpret_cast<const char*>(p.packet.data() + from),
              static_cast<std::streamsize>(p.packet.size() - from));
  }
  out.close();
  return static_cast<bool>(out);
}

std::optional<double> RunTimed(const std::vector<std::string>& args, const std::string& stdoutPath,
                               double* cpuSeconds) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const SteadyClock::time_point start = SteadyClock::now();
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    std::fprintf(stderr, "%s: cannot run %s: %s\n", Name(), argv[0], std::strerror(spawned));
    return std::nullopt;
  }
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) return std::nullopt;
  }
  const double seconds = Seconds(SteadyClock::now() - start);
  if (cpuSeconds) *cpuSeconds = CpuSeconds(usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s: %s failed (status %d)\n", Name(), argv[0], status);
    return std::nullopt;
  }
  return seconds;
}

std::vector<std::string> FfmpegDecode(const fs::path& stream, int threads, const char* outputFormat,
                                      uint32_t pictures) {
  std::vector<std::string> args = {"ffmpeg",   "-hide_banner",          "-nostdin", "-loglevel",    "error",
                                   "-threads", std::to_string(threads), "-i",       stream.string()};
  if (pictures != 0) args.insert(args.end(), {"-frames:v", std::to_string(pictures)});
  args.insert(args.end(), {"-pix_fmt", "bgr24", "-f", outputFormat, "-"});
  return args;
}

uint32_t FfmpegPictureCount(const fs::path& stream, const fs::path& listing) {
  if (!RunTimed(FfmpegDecode(stream, 1, "framecrc"), listing.string())) return 0;
  std::ifstream in(listing);
  uint32_t count = 0;
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] != '#') ++count;
  return count;
}

std::string Format(const char* format, ...) {
  char text[160];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

const char* Verdict(bool met) { return met ? "met" : "NOT MET"; }

double LoadAverage() {
  double load = -1;
  if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
    if (std::fscanf(f, "%lf", &load) != 1) load = -1;
    std::fclose(f);
  }
  return load;
}

void PrintRows(const std::vector<Row>& rows, double loadBefore, double loadAfter) {
  std::size_t width = 0;
  for (const Row& row : rows) width = std::max(width, row.measure.size());
  std::printf("load average %.2f before, %.2f after, on %u cores\n\n", loadBefore, loadAfter,
              std::thread::hardware_concurrency());
  std::printf("%-*s  %15s  %9s  %s\n", static_cast<int>(width), "measure", "figure", "target", "result");
  for (const Row& row : rows)
    std::printf("%-*s  %15s  %9s  %s\n", static_cast<int>(width), row.measure.c_str(), row.figure.c_str(),
                row.target.c_str(), row.result.c_str());
}

}  // namespace tsv::bench
