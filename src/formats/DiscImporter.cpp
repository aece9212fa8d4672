#include "formats/DiscImporter.h"

#include <algorithm>
#include <cstdio>

#include "platform/ByteIO.h"
#include "platform/OutputFile.h"

namespace tsv {

namespace {

constexpr uint64_t kSectorsPerRead = 256;  // one read, and one stop check, per this many sectors

// Reports each new percentage of the sectors done once; 100 is kept for the
// finished copy.
class SectorProgress {
 public:
  SectorProgress(const ProgressFn& fn, uint64_t total) : fn_(fn), total_(total) {}
  void Add(uint64_t sectors) {
    done_ += sectors;
    if (!fn_ || total_ == 0) return;
    const int percent = static_cast<int>(std::min<uint64_t>(99, done_ * 100 / total_));
    if (percent == last_) return;
    last_ = percent;
    fn_(percent);
  }
  void Done() {
    if (fn_) fn_(100);
  }

 private:
  const ProgressFn& fn_;
  uint64_t total_;
  uint64_t done_ = 0;
  int last_ = -1;
};

DiscCopyReport Failed(DiscCopyReport report, DiscCopyStatus status, const std::string& error) {
  report.status = status;
  report.error = error;
  return report;
}

}  // namespace

bool IsRecorderDiscSector(const uint8_t* sector, std::size_t size) {
  return size >= 4 && sector[0] == 0x00 && sector[1] == 0x00 && sector[2] == 0x01 && sector[3] >= 0xE0 &&
         sector[3] <= 0xE3;
}

std::optional<std::vector<DiscRun>> ParseDiscDirectory(const uint8_t* sector, std::size_t size) {
  if (size < kDiscDirectoryHead) return std::nullopt;
  const uint32_t count = GetU32LE(sector + 4);
  if (count > (size - kDiscDirectoryHead) / kDiscRunSize) return std::nullopt;
  std::vector<DiscRun> runs(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = sector + kDiscDirectoryHead + i * kDiscRunSize;
    runs[i] = {GetU32LE(e), GetU32LE(e + 4)};
  }
  return runs;
}

std::vector<uint8_t> SerializeDiscDirectory(const std::vector<DiscRun>& runs, std::size_t sectorSize) {
  std::vector<uint8_t> sector(std::max(sectorSize, kDiscDirectoryHead + runs.size() * kDiscRunSize), 0);
  PutU32LE(sector.data() + 4, static_cast<uint32_t>(runs.size()));
  for (std::size_t i = 0; i < runs.size(); ++i) {
    PutU32LE(sector.data() + kDiscDirectoryHead + i * kDiscRunSize, runs[i].firstSector);
    PutU32LE(sector.data() + kDiscDirectoryHead + i * kDiscRunSize + 4, runs[i].sectorCount);
  }
  return sector;
}

std::optional<std::string> FindRecorderDisc(const std::vector<std::string>& devices, std::string* problems) {
  problems->clear();
  for (const std::string& device : devices) {
    OpticalDrive drive;
    std::string error;
    const OpticalDrive::OpenResult opened = drive.Open(device, &error);
    if (opened == OpticalDrive::OpenResult::NoDevice || opened == OpticalDrive::OpenResult::NoDisc) continue;
    if (opened == OpticalDrive::OpenResult::Failed) {
      *problems += (problems->empty() ? "" : "; ") + error;
      continue;
    }
    std::vector<uint8_t> sector(drive.SectorSize());
    if (drive.ReadSectors(0, 1, sector.data()) != 1) {
      *problems += (problems->empty() ? "" : "; ") + device + ": the first sector cannot be read";
      continue;
    }
    if (IsRecorderDiscSector(sector.data(), sector.size())) return device;
  }
  return std::nullopt;
}

std::string DiscCopyStem(const SYSTEMTIME& t) {
  char name[64];
  std::snprintf(name, sizeof name, "%u_%02u_%02u_%02u_%02u_%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond);
  return name;
}

DiscCopyReport CopyRecorderDisc(const std::string& device, const std::string& folder, const SYSTEMTIME& now,
                                const std::atomic<bool>& stop, const ProgressFn& progress) {
  DiscCopyReport report;
  OpticalDrive drive;
  std::string error;
  if (drive.Open(device, &error) != OpticalDrive::OpenResult::Opened)
    return Failed(report, DiscCopyStatus::NotADisc, error);
  const uint32_t sectorSize = drive.SectorSize();
  std::vector<uint8_t> buffer(static_cast<std::size_t>(kSectorsPerRead * sectorSize));
  if (drive.ReadSectors(0, 1, buffer.data()) != 1)
    return Failed(report, DiscCopyStatus::NotADisc, device + ": the first sector cannot be read");
  if (!IsRecorderDiscSector(buffer.data(), sectorSize))
    return Failed(report, DiscCopyStatus::NotADisc, device + ": not a recorder disc");

  // The directory is the last whole sector; the size says where it is.
  const uint64_t sectors = drive.SectorCount();
  if (drive.ReadSectors(sectors - 1, 1, buffer.data()) != 1)
    return Failed(report, DiscCopyStatus::BadDirectory, device + ": the directory sector cannot be read");
  const std::optional<std::vector<DiscRun>> runs = ParseDiscDirectory(buffer.data(), sectorSize);
  if (!runs) return Failed(report, DiscCopyStatus::BadDirectory, device + ": the last sector is not a disc directory");
  report.runs = static_cast<uint32_t>(runs->size());

  uint64_t present = 0;
  for (const DiscRun& run : *runs) {
    report.sectorsListed += run.sectorCount;
    const uint64_t there = run.firstSector < sectors ? std::min<uint64_t>(run.sectorCount, sectors - run.firstSector) : 0;
    present += there;
    report.sectorsBeyondEnd += run.sectorCount - there;
  }

  const std::string path = FirstFreeName(folder, DiscCopyStem(now), ".QRV");
  OutputFile out;
  if (!out.Create(path, &error)) return Failed(report, DiscCopyStatus::WriteFailed, error);
  SectorProgress sectorProgress(progress, present);
  for (const DiscRun& run : *runs) {
    uint64_t next = run.firstSector;
    const uint64_t end = run.firstSector < sectors ? std::min<uint64_t>(next + run.sectorCount, sectors) : next;
    while (next < end) {
      if (stop.load(std::memory_order_relaxed)) return Failed(report, DiscCopyStatus::Stopped, "stopped");
      const uint64_t want = std::min(kSectorsPerRead, end - next);
      const uint64_t got = drive.ReadSectors(next, want, buffer.data());
      if (got > 0 && !out.Write(buffer.data(), static_cast<std::size_t>(got * sectorSize)))
        return Failed(report, DiscCopyStatus::WriteFailed, "cannot write " + path);
      report.sectorsCopied += got;
      uint64_t handled = got;
      if (got < want) {
        // The sector after the last one read is unreadable: leave it out.
        ++report.sectorsUnreadable;
        ++handled;
      }
      next += handled;
      sectorProgress.Add(handled);
    }
  }
  if (!out.Commit(&error)) return Failed(report, DiscCopyStatus::WriteFailed, error);
  report.copyPath = path;
  sectorProgress.Done();
  return report;
}

}  // namespace tsv
