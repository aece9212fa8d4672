// tessarovine-cli find-disc [DEVICE...]: the first optical drive (or given
// device or disc image) that holds a recorder disc.
// tessarovine-cli import-disc [DEVICE-OR-IMAGE] [-o FOLDER]: copies the
// disc's stream into a ".QRV" file named after the current time, in FOLDER
// or on the desktop, and prints its path.
#include <cstdio>
#include <string>

#include "cli/Commands.h"
#include "cli/TaskProgress.h"
#include "formats/DiscImporter.h"
#include "formats/StreamConversion.h"
#include "platform/DesktopFolder.h"

namespace tsv::cli {

namespace {

constexpr int kInterruptedStatus = 130;  // the shell's status for a Ctrl-C

// The device that holds a recorder disc, or an empty string after printing
// why there is none.
std::string FindDisc(const std::vector<std::string>& devices) {
  std::string problems;
  const std::optional<std::string> found = FindRecorderDisc(devices, &problems);
  if (found) return *found;
  std::fprintf(stderr, "tessarovine-cli: no recorder disc found%s%s\n", problems.empty() ? "" : ": ",
               problems.c_str());
  return {};
}

void PrintWarnings(const std::string& device, const DiscCopyReport& r) {
  if (r.sectorsBeyondEnd > 0)
    std::fprintf(stderr,
                 "%s: warning: the directory lists %llu sectors beyond the end of the disc; %llu of %llu listed "
                 "sectors were copied\n",
                 device.c_str(), static_cast<unsigned long long>(r.sectorsBeyondEnd),
                 static_cast<unsigned long long>(r.sectorsCopied), static_cast<unsigned long long>(r.sectorsListed));
  if (r.sectorsUnreadable > 0)
    std::fprintf(stderr, "%s: warning: %llu sectors could not be read and are missing from the copy\n",
                 device.c_str(), static_cast<unsigned long long>(r.sectorsUnreadable));
}

}  // namespace

int RunFindDisc(const Args& args) {
  for (const std::string& a : args) {
    if (a.rfind("-", 0) == 0) {
      std::fprintf(stderr, "usage: tessarovine-cli find-disc [DEVICE-OR-IMAGE...]\n");
      return 2;
    }
  }
  const std::string device = FindDisc(args.empty() ? OpticalDrivePaths() : args);
  if (device.empty()) return 1;
  std::printf("%s\n", device.c_str());
  return 0;
}

int RunImportDisc(const Args& args) {
  std::string device, folder;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o" && i + 1 < args.size()) {
      folder = args[++i];
    } else if (device.empty() && args[i].rfind("-", 0) != 0) {
      device = args[i];
    } else {
      std::fprintf(stderr, "usage: tessarovine-cli import-disc [DEVICE-OR-IMAGE] [-o FOLDER]\n");
      return 2;
    }
  }
  if (device.empty()) {
    device = FindDisc(OpticalDrivePaths());
    if (device.empty()) return 1;
  }
  if (folder.empty()) folder = DesktopFolder();

  StreamConversion conversion;
  TaskProgress progress("copying");
  if (!conversion.StartDiscCopy(device, folder, progress.Callback())) {
    std::fprintf(stderr, "%s: cannot start the copy\n", device.c_str());
    return 1;
  }
  const bool interrupted = progress.WaitFor(conversion);
  const DiscCopyReport& report = conversion.CopyReport();
  if (report.status == DiscCopyStatus::Stopped) {
    std::fprintf(stderr, "%s: stopped; the partial copy was removed\n", device.c_str());
    return interrupted ? kInterruptedStatus : 1;
  }
  if (report.status != DiscCopyStatus::Done) {
    std::fprintf(stderr, "%s\n", report.error.c_str());
    return 1;
  }
  PrintWarnings(device, report);
  std::printf("%s\n", report.copyPath.c_str());
  return 0;
}

}  // namespace tsv::cli
