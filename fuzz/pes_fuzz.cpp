// The packet and frame-header parsers on arbitrary bytes.
#include <cstdint>
#include <vector>

#include "formats/PesPacket.h"
#include "formats/QrvLayout.h"
#include "formats/StartTimeQuery.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy so that any read past the end is caught.
  std::vector<uint8_t> bytes(data, data + size);
  tsv::ScanPes(bytes.data(), bytes.size(), true);
  tsv::ScanPes(bytes.data(), bytes.size(), false);
  tsv::PacketPayloadOffset(bytes.data(), bytes.size());
  tsv::QrvFrameHeader header;
  tsv::ParseQrvFrameHeader(bytes.data(), bytes.size(), &header);
  return 0;
}
