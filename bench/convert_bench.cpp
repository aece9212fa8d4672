// Stream conversion against a plain copy: converts a synthesized ".mp4"
// stream file (500 MB by default) into a ".vs4" recording, and copies the
// same file with cp, in the same run and from the page cache alike. Prints
// the throughputs (source bytes per second) and their ratio; the conversion
// is fit for purpose when it runs at least at half the speed of the copy.
// The conversion ends with an fsync of its output (a recording appears only
// once it is safely written), which cp does not do: so a copy followed by
// sync is timed as well, and so is the same conversion into a plain file
// left in the page cache, as cp leaves its copy.
//
//   convert_bench [--size MB] [--runs N] [--dir FOLDER] [--keep]
//
// The synthesized stream is kept in FOLDER (default: the temporary folder)
// under a name with its size, and reused by later runs.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/StreamConverter.h"
#include "platform/File.h"
#include "synth/Synthesizer.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

bool Run(std::vector<std::string> args) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The conversion's source and output as plain files, without the
// temporary name, the fsync and the publishing of ConvertStreamFile.
class PlainInput final : public tsv::StreamInput {
 public:
  explicit PlainInput(tsv::File& file) : file_(file), size_(static_cast<uint64_t>(file.Size())) {}
  long long ReadAt(uint64_t pos, uint8_t* out, std::size_t size) override {
    if (!file_.Seek(static_cast<long long>(pos), tsv::File::Origin::Begin)) return -1;
    return file_.Read(out, size);
  }
  uint64_t Size() const override { return size_; }

 private:
  tsv::File& file_;
  uint64_t size_;
};

class PlainOutput final : public tsv::VsxOutput {
 public:
  explicit PlainOutput(tsv::File& file) : file_(file) {}
  bool Begin(const tsv::SYSTEMTIME&, std::string*) override { return true; }
  bool Write(const uint8_t* data, std::size_t size) override { return file_.Write(data, size); }
  bool WriteHeaderAgain(const uint8_t* header, std::size_t size) override {
    return file_.Seek(0, tsv::File::Origin::Begin) && file_.Write(header, size);
  }
  bool Finish(std::string*) override { return file_.Close(); }

 private:
  tsv::File& file_;
};

bool ConvertPlain(const std::string& source, const std::string& output) {
  tsv::File in, out;
  if (!in.OpenExisting(source, false) || !out.CreateNew(output)) return false;
  PlainInput input(in);
  PlainOutput sink(out);
  tsv::ConvertSettings settings;
  settings.kind = tsv::StreamKind::Mp4;
  uint8_t head[tsv::kStreamHeadSize];
  if (!in.ReadExact(head, sizeof head)) return false;
  settings.head = tsv::ParseStreamHead(head);
  std::atomic<bool> stop{false};
  return tsv::ConvertStream(input, settings, sink, stop, nullptr).status == tsv::ConvertStatus::Done;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Options for a stream of pictures that are large but fit the player's
// frame slots: 720 x 576 key pictures at the finest quantiser, with sound.
tsv::SynthOptions StreamOptions(uint32_t frames) {
  tsv::SynthOptions o;
  o.layout = tsv::SynthLayout::Mp4Stream;
  o.frames = frames;
  o.resolutionCode = 12;
  o.quantiser = 2;
  o.keyInterval = 1;
  o.sound = true;
  return o;
}

bool MakeStream(const std::string& path, uint64_t bytes) {
  // A short probe says how many bytes a picture takes.
  const std::string probe = path + ".probe";
  std::filesystem::remove(probe);
  std::string error;
  constexpr uint32_t kProbeFrames = 50;
  if (!tsv::Synthesize(StreamOptions(kProbeFrames), probe, &error)) {
    std::fprintf(stderr, "convert_bench: %s\n", error.c_str());
    return false;
  }
  const uint64_t perFrame = std::filesystem::file_size(probe) / kProbeFrames;
  std::filesystem::remove(probe);
  const auto frames = static_cast<uint32_t>(std::clamp<uint64_t>(bytes / std::max<uint64_t>(perFrame, 1), 1, 1000000));
  std::fprintf(stderr, "synthesizing %u pictures into %s ...\n", frames, path.c_str());
  const auto start = Clock::now();
  if (!tsv::Synthesize(StreamOptions(frames), path, &error)) {
    std::fprintf(stderr, "convert_bench: %s\n", error.c_str());
    return false;
  }
  std::fprintf(stderr, "synthesized in %.1f s\n", Seconds(start));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t sizeMb = 500;
  int runs = 3;
  bool keep = false;
  std::string folder = std::filesystem::temp_directory_path().string();
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--size" && i + 1 < argc) sizeMb = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--runs" && i + 1 < argc) runs = std::atoi(argv[++i]);
    else if (a == "--dir" && i + 1 < argc) folder = argv[++i];
    else if (a == "--keep") keep = true;
    else {
      std::fprintf(stderr, "usage: convert_bench [--size MB] [--runs N] [--dir FOLDER] [--keep]\n");
      return 2;
    }
  }
  if (sizeMb < 1 || runs < 1) return 2;

  const std::string source = folder + "/convert-bench-" + std::to_string(sizeMb) + "MB.mp4";
  if (!std::filesystem::exists(source) && !MakeStream(source, sizeMb << 20)) return 1;
  const double bytes = static_cast<double>(std::filesystem::file_size(source));
  const std::string work = folder + "/convert-bench-out";
  std::filesystem::remove_all(work);
  std::filesystem::create_directories(work);
  const std::string copy = work + "/copy.mp4";
  Run({"cp", source, copy});  // brings the source into the page cache for both
  std::filesystem::remove(copy);

  std::vector<double> cpTimes, cpSyncTimes, convertTimes, plainTimes;
  uint32_t frames = 0;
  for (int r = 0; r < runs; ++r) {
    auto start = Clock::now();
    if (!Run({"cp", source, copy})) return 1;
    cpTimes.push_back(Seconds(start));
    std::filesystem::remove(copy);

    start = Clock::now();
    if (!Run({"cp", source, copy}) || !Run({"sync", copy})) return 1;
    cpSyncTimes.push_back(Seconds(start));
    std::filesystem::remove(copy);

    std::atomic<bool> stop{false};
    start = Clock::now();
    const tsv::ConvertReport report = tsv::ConvertStreamFile(source, tsv::StreamKind::Mp4, work, stop, nullptr);
    convertTimes.push_back(Seconds(start));
    if (report.status != tsv::ConvertStatus::Done) {
      std::fprintf(stderr, "convert_bench: %s\n", report.error.c_str());
      return 1;
    }
    frames = report.frames;
    std::filesystem::remove(report.outputPath);

    const std::string plain = work + "/plain.vs4";
    start = Clock::now();
    if (!ConvertPlain(source, plain)) return 1;
    plainTimes.push_back(Seconds(start));
    std::filesystem::remove(plain);
  }
  std::filesystem::remove_all(work);
  if (!keep) std::filesystem::remove(source);

  const double mb = bytes / (1 << 20);
  const double cp = mb / Median(cpTimes), cpSync = mb / Median(cpSyncTimes), convert = mb / Median(convertTimes),
               plain = mb / Median(plainTimes);
  std::printf("source                        %.0f MB, %u frames, median of %d runs\n", mb, frames, runs);
  std::printf("cp                            %8.0f MB/s\n", cp);
  std::printf("cp + sync                     %8.0f MB/s\n", cpSync);
  std::printf("convert, published (fsync)    %8.0f MB/s\n", convert);
  std::printf("convert, plain file           %8.0f MB/s\n", plain);
  std::printf("ratio convert plain / cp           %.2f\n", plain / cp);
  std::printf("ratio convert published / cp       %.2f\n", convert / cp);
  std::printf("ratio convert published / cp+sync  %.2f\n", convert / cpSync);
  return 0;
}
