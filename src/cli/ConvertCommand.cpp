// tessarovine-cli convert SOURCE [-o FOLDER]: converts a ".mp4" stream file
// or a ".QRV" stream into a ".vs4" recording, as the player does before it
// plays such a file, and prints the new recording's path.
#include <cstdio>
#include <string>

#include "cli/Commands.h"
#include "cli/TaskProgress.h"
#include "formats/StreamConversion.h"
#include "formats/StringTable.h"

namespace tsv::cli {

namespace {

constexpr int kInterruptedStatus = 130;  // the shell's status for a Ctrl-C

int Usage() {
  std::fprintf(stderr, "usage: tessarovine-cli convert SOURCE.mp4|SOURCE.QRV [-o FOLDER]\n");
  return 2;
}

void PrintWarnings(const std::string& source, const ConvertReport& r) {
  if (r.oversizedPackets > 0)
    std::fprintf(stderr, "%s: warning: %u packets longer than %zu bytes were skipped\n", source.c_str(),
                 r.oversizedPackets, kMaxStreamPacket);
  if (r.skippedBytes > 0)
    std::fprintf(stderr, "%s: warning: %llu bytes between packets belonged to no packet\n", source.c_str(),
                 static_cast<unsigned long long>(r.skippedBytes));
  if (r.truncatedLastPacket)
    std::fprintf(stderr, "%s: warning: the stream ends inside a packet; the recording ends before it\n",
                 source.c_str());
  if (r.sizeLimitReached)
    std::fprintf(stderr,
                 "%s: warning: the recording reached 4 GiB, the most a .vs4 index can address; the rest of the "
                 "stream was not converted\n",
                 source.c_str());
}

}  // namespace

int RunConvert(const Args& args) {
  std::string source, folder;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o" && i + 1 < args.size()) folder = args[++i];
    else if (source.empty() && args[i].rfind("-", 0) != 0) source = args[i];
    else return Usage();
  }
  if (source.empty()) return Usage();

  const std::optional<StreamKind> kind = StreamKindOfPath(source);
  StreamConversion conversion;
  const ConvertStatus opened = kind ? conversion.OpenSource(source, *kind) : ConvertStatus::NotAStream;
  if (opened != ConvertStatus::Done) {
    std::fprintf(stderr, "%s: %s\n", source.c_str(),
                 opened == ConvertStatus::NotAStream ? LoadString(kStrFileTypeNotCorrect) : "cannot open the file");
    return 1;
  }
  TaskProgress progress("converting");
  if (!conversion.StartConversion(folder, progress.Callback())) {
    std::fprintf(stderr, "%s: cannot start the conversion\n", source.c_str());
    return 1;
  }
  const bool interrupted = progress.WaitFor(conversion);
  const ConvertReport& report = conversion.ConversionReport();
  if (report.status == ConvertStatus::Stopped) {
    std::fprintf(stderr, "%s: stopped; no recording was written\n", source.c_str());
    return interrupted ? kInterruptedStatus : 1;
  }
  if (report.status != ConvertStatus::Done) {
    std::fprintf(stderr, "%s: %s\n", source.c_str(), report.error.c_str());
    return 1;
  }
  PrintWarnings(source, report);
  std::printf("%s\n", report.outputPath.c_str());
  return 0;
}

}  // namespace tsv::cli
