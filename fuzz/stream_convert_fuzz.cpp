// Arbitrary bytes through the stream converter, as a ".mp4" stream file or
// a ".QRV" stream (first byte), read once in small blocks of a size the
// input chooses and once in the default large blocks. Beyond the
// sanitizers, it checks that both give the same recording and that every
// recording it finishes is whole: a header that counts its frames, frames
// back to back from byte 76, and an index that points at each of them.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "formats/FrameInfo.h"
#include "formats/StreamConverter.h"
#include "formats/VsxLayout.h"
#include "platform/ByteIO.h"

namespace {

class Input final : public tsv::StreamInput {
 public:
  Input(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  long long ReadAt(uint64_t pos, uint8_t* out, std::size_t size) override {
    if (pos >= size_) return 0;
    const std::size_t n = size < size_ - pos ? size : static_cast<std::size_t>(size_ - pos);
    std::memcpy(out, data_ + pos, n);
    return static_cast<long long>(n);
  }
  uint64_t Size() const override { return size_; }

 private:
  const uint8_t* data_;
  std::size_t size_;
};

class Output final : public tsv::VsxOutput {
 public:
  bool Begin(const tsv::SYSTEMTIME&, std::string*) override { return true; }
  bool Write(const uint8_t* data, std::size_t size) override {
    bytes.insert(bytes.end(), data, data + size);
    return true;
  }
  bool WriteHeaderAgain(const uint8_t* header, std::size_t size) override {
    if (bytes.size() < size) std::abort();
    std::memcpy(bytes.data(), header, size);
    return true;
  }
  bool Finish(std::string*) override {
    finished = true;
    return true;
  }
  std::vector<uint8_t> bytes;
  bool finished = false;
};

std::vector<uint8_t> Convert(const uint8_t* data, std::size_t size, tsv::StreamKind kind, std::size_t block) {
  Input input(data, size);
  Output output;
  tsv::ConvertSettings settings;
  settings.kind = kind;
  if (kind == tsv::StreamKind::Mp4 && size >= tsv::kStreamHeadSize) settings.head = tsv::ParseStreamHead(data);
  settings.readBlock = block;
  std::atomic<bool> stop{false};
  int last = -1;
  const tsv::ProgressFn progress = [&last](int percent) {
    if (percent < last || percent > 100) std::abort();
    last = percent;
  };
  const tsv::ConvertReport report = tsv::ConvertStream(input, settings, output, stop, progress);
  if ((report.status == tsv::ConvertStatus::Done) != output.finished) std::abort();
  if (output.finished && last != 100) std::abort();
  return output.finished ? output.bytes : std::vector<uint8_t>{};
}

void CheckWhole(const std::vector<uint8_t>& b) {
  if (b.empty()) return;
  if (b.size() < tsv::kVsxHeaderSize + 4) std::abort();
  const tsv::VsxFileHeader header = tsv::ParseVsxFileHeader(b.data());
  const uint32_t count = tsv::GetU32LE(b.data() + b.size() - 4);
  if (count == 0 || header.frameCount != count) std::abort();
  const uint64_t indexAt = b.size() - 4 - static_cast<uint64_t>(count) * tsv::kIndexEntrySize;
  uint64_t at = tsv::kVsxHeaderSize;
  for (uint32_t i = 0; i < count; ++i) {
    const tsv::RecIndexEntry e = tsv::ParseIndexEntry(b.data() + indexAt + i * tsv::kIndexEntrySize);
    if (e.offset != at || e.type > 2) std::abort();
    const tsv::FrameInfo info = tsv::ParseFrameInfo(b.data() + at);
    if (info.frameNumber != i + 1 || info.payloadSize > tsv::kMaxStreamPacket || info.payloadSize < 32) std::abort();
    at += tsv::kFrameInfoSize + info.payloadSize;
  }
  if (at != indexAt) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const tsv::StreamKind kind = (data[0] & 1) != 0 ? tsv::StreamKind::Qrv : tsv::StreamKind::Mp4;
  const std::size_t smallBlock = 64 + (data[0] >> 1) * 37u;  // 64..4763 bytes: windows end everywhere
  const std::vector<uint8_t> small = Convert(data + 1, size - 1, kind, smallBlock);
  const std::vector<uint8_t> large = Convert(data + 1, size - 1, kind, tsv::kConvertReadBlock);
  if (small != large) std::abort();
  CheckWhole(small);
  return 0;
}
