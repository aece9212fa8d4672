// Header query (control code 0x80000) on video object layer headers built
// bit by bit in the test, field by field as ISO/IEC 14496-2 lays them out.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "media/mpeg4/Mpeg4DecoderEntry.h"

namespace tsv {
namespace {

// Most-significant-bit-first writer. Remembers where each marker bit went
// so a test can clear one.
class BitWriter {
 public:
  void Put(uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) PutBit((value >> i) & 1u);
  }
  void Marker() {
    markers_.push_back(bitCount_);
    PutBit(1);
  }
  void Bytes(std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes) Put(b, 8);
  }
  // Pads to a byte boundary with a 0 then 1s (next_start_code stuffing).
  void Stuff() {
    PutBit(0);
    while (bitCount_ % 8 != 0) PutBit(1);
  }
  std::size_t BitCount() const { return bitCount_; }
  const std::vector<std::size_t>& Markers() const { return markers_; }
  const std::vector<uint8_t>& Data() const { return data_; }

 private:
  void PutBit(uint32_t bit) {
    if (bitCount_ % 8 == 0) data_.push_back(0);
    if (bit != 0) data_.back() |= static_cast<uint8_t>(0x80u >> (bitCount_ % 8));
    ++bitCount_;
  }
  std::vector<uint8_t> data_;
  std::vector<std::size_t> markers_;
  std::size_t bitCount_ = 0;
};

struct Vol {
  uint8_t startCode = 0x20;
  bool objectLayerIdentifier = false;
  uint32_t verid = 1;
  uint32_t aspect = 1;
  uint32_t parWidth = 0;
  uint32_t parHeight = 0;
  bool controlParameters = false;
  bool vbv = false;
  uint32_t shape = 0;  // 0 rectangular, 1 binary, 2 binary only, 3 grayscale
  uint32_t resolution = 25;
  bool fixedRate = false;
  int incrementBits = 0;  // written as given: the test states the count
  uint32_t increment = 0;
  uint32_t width = 352;
  uint32_t height = 240;
};

struct Built {
  std::vector<uint8_t> bytes;
  std::size_t headerEndByte = 0;  // bytes up to and including the marker after the height
  std::vector<std::size_t> markers;
};

// Visual object sequence, visual object, video object, then the layer
// header, then a few more header bits and a VOP start code as a real
// stream has them. `prefix` bytes of 0xFF go first; the layer start code
// follows 14 bytes after them.
Built BuildStream(const Vol& v, std::size_t prefix = 0) {
  BitWriter w;
  for (std::size_t i = 0; i < prefix; ++i) w.Put(0xFF, 8);
  w.Bytes({0x00, 0x00, 0x01, 0xB0, 0x01});                          // profile and level
  w.Bytes({0x00, 0x00, 0x01, 0xB5, 0x09});                          // visual object: video
  w.Bytes({0x00, 0x00, 0x01, 0x00});                                // video object 0
  w.Bytes({0x00, 0x00, 0x01, v.startCode});
  w.Put(0, 1);     // random_accessible_vol
  w.Put(0x01, 8);  // simple object
  w.Put(v.objectLayerIdentifier ? 1 : 0, 1);
  if (v.objectLayerIdentifier) {
    w.Put(v.verid, 4);
    w.Put(1, 3);  // priority
  }
  w.Put(v.aspect, 4);
  if (v.aspect == 15) {
    w.Put(v.parWidth, 8);
    w.Put(v.parHeight, 8);
  }
  w.Put(v.controlParameters ? 1 : 0, 1);
  if (v.controlParameters) {
    w.Put(1, 2);  // chroma 4:2:0
    w.Put(1, 1);  // low delay
    w.Put(v.vbv ? 1 : 0, 1);
    if (v.vbv) {
      w.Put(0x0000, 15);  // bit rate, all-zero halves put a 0 next to every marker
      w.Marker();
      w.Put(0x0000, 15);
      w.Marker();
      w.Put(0x0000, 15);  // buffer size
      w.Marker();
      w.Put(0, 3);
      w.Put(0, 11);  // occupancy
      w.Marker();
      w.Put(0, 15);
      w.Marker();
    }
  }
  w.Put(v.shape, 2);
  if (v.shape == 3 && v.verid != 1) w.Put(0, 4);  // shape extension
  w.Marker();
  w.Put(v.resolution, 16);
  w.Marker();
  w.Put(v.fixedRate ? 1 : 0, 1);
  if (v.fixedRate) w.Put(v.increment, v.incrementBits);
  if (v.shape != 2) {
    w.Marker();
    w.Put(v.width, 13);
    w.Marker();
    w.Put(v.height, 13);
    w.Marker();
  }
  Built built;
  built.headerEndByte = (w.BitCount() + 7) / 8;
  w.Put(0, 1);  // interlaced
  w.Put(1, 1);  // obmc disable
  w.Put(0, 1);  // sprite
  w.Put(0, 1);  // not 8 bit
  w.Put(0, 1);  // quant type H.263
  w.Put(1, 1);  // complexity estimation disable
  w.Put(1, 1);  // resync marker disable
  w.Put(0, 1);  // data partitioned
  w.Put(0, 1);  // scalability
  w.Stuff();
  w.Bytes({0x00, 0x00, 0x01, 0xB6, 0x10, 0x00});
  built.bytes = w.Data();
  built.markers = w.Markers();
  return built;
}

// The query on exactly `length` bytes of a heap copy, so an over-read is
// seen by the address sanitizer.
uint32_t Query(const std::vector<uint8_t>& bytes, std::size_t length, uint32_t* out) {
  std::vector<uint8_t> exact(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
  Mpeg4StreamBytes stream{exact.data(), exact.size()};
  return Mpeg4DecoderEntry(1, kMpeg4HeaderQuery, &stream, out, 0, 0, 0);
}

uint32_t Query(const std::vector<uint8_t>& bytes, uint32_t* out) { return Query(bytes, bytes.size(), out); }

Vol Sized(uint32_t width, uint32_t height) {
  Vol v;
  v.width = width;
  v.height = height;
  return v;
}

TEST(Mpeg4HeaderQuery, GoodHeadersGiveThePackedSize) {
  struct Case {
    const char* name;
    Vol vol;
    uint32_t packed;
  };
  Vol withId = Sized(352, 240);
  withId.objectLayerIdentifier = true;
  withId.verid = 2;
  Vol extendedPar = Sized(720, 576);
  extendedPar.aspect = 15;
  extendedPar.parWidth = 0x80;  // leading 1 bits would show a misread as a wrong size
  extendedPar.parHeight = 0xFF;
  Vol vbv = Sized(704, 480);
  vbv.controlParameters = true;
  vbv.vbv = true;
  Vol controlNoVbv = Sized(640, 456);
  controlNoVbv.controlParameters = true;
  Vol everything = Sized(176, 144);
  everything.objectLayerIdentifier = true;
  everything.verid = 1;
  everything.aspect = 15;
  everything.parWidth = 12;
  everything.parHeight = 11;
  everything.controlParameters = true;
  everything.vbv = true;
  everything.fixedRate = true;
  everything.resolution = 30000;
  everything.incrementBits = 15;
  everything.increment = 1000;
  Vol lastLayerId = Sized(1, 1);
  lastLayerId.startCode = 0x2F;
  Vol largest = Sized(4095, 4095);
  const Case cases[] = {
      {"plain 352x240", Sized(352, 240), 0x1600F0},
      {"object layer identifier", withId, 0x1600F0},
      {"extended pixel aspect", extendedPar, (720u << 12) | 576u},
      {"vbv parameters", vbv, (704u << 12) | 480u},
      {"control parameters without vbv", controlNoVbv, (640u << 12) | 456u},
      {"every optional field", everything, (176u << 12) | 144u},
      {"layer id 15, 1x1", lastLayerId, (1u << 12) | 1u},
      {"largest packable", largest, 0xFFFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint32_t packed = 0;
    EXPECT_EQ(kMpeg4Ok, Query(BuildStream(c.vol).bytes, &packed));
    EXPECT_EQ(c.packed, packed);
  }
}

// The fixed increment is as wide as resolution - 1 needs, at least one bit.
// An even increment puts a 0 in its last bit, and width 352 starts with a
// 0, so reading one bit too few or too many lands a 0 on a marker.
TEST(Mpeg4HeaderQuery, FixedVopTimeIncrementWidth) {
  struct Case {
    uint32_t resolution;
    int bits;
  };
  const Case cases[] = {{1, 1},      {2, 1},      {3, 2},      {4, 2},      {5, 3},
                        {25, 5},     {30000, 15}, {32768, 15}, {32769, 16}, {65535, 16}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "resolution " << c.resolution);
    Vol v = Sized(352, 240);
    v.fixedRate = true;
    v.resolution = c.resolution;
    v.incrementBits = c.bits;
    v.increment = (c.resolution - 1) & ~1u;
    uint32_t packed = 0;
    EXPECT_EQ(kMpeg4Ok, Query(BuildStream(v).bytes, &packed));
    EXPECT_EQ(0x1600F0u, packed);
  }
}

TEST(Mpeg4HeaderQuery, UnusableHeadersFail) {
  struct Case {
    const char* name;
    Vol vol;
  };
  Vol binary = Sized(352, 240);
  binary.shape = 1;
  Vol binaryOnly = Sized(352, 240);
  binaryOnly.shape = 2;
  Vol grayscale = Sized(352, 240);
  grayscale.shape = 3;
  Vol grayscaleV2 = grayscale;
  grayscaleV2.objectLayerIdentifier = true;
  grayscaleV2.verid = 2;
  Vol noResolution = Sized(352, 240);
  noResolution.resolution = 0;
  Vol tooWide = Sized(4096, 240);
  Vol tooTall = Sized(352, 4096);
  Vol maxFields = Sized(8191, 8191);
  Vol notVol = Sized(352, 240);
  notVol.startCode = 0x30;
  const Case cases[] = {
      {"binary shape", binary},
      {"binary only shape", binaryOnly},
      {"grayscale shape", grayscale},
      {"grayscale shape with extension", grayscaleV2},
      {"zero time resolution", noResolution},
      {"zero width", Sized(0, 240)},
      {"zero height", Sized(352, 0)},
      {"width beyond 12 bits", tooWide},
      {"height beyond 12 bits", tooTall},
      {"13-bit maximum", maxFields},
      {"0x30 is not a layer start code", notVol},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint32_t packed = 0xDEADBEEF;
    EXPECT_EQ(kMpeg4Failed, Query(BuildStream(c.vol).bytes, &packed));
    EXPECT_EQ(0xDEADBEEFu, packed);
  }
}

// The sizes the 12-bit packing cannot carry are real header values: the
// parser reports them, only the packed query refuses them.
TEST(Mpeg4HeaderQuery, ParserReportsFullThirteenBitSize) {
  const Built b = BuildStream(Sized(8191, 4096));
  uint32_t width = 0;
  uint32_t height = 0;
  ASSERT_TRUE(ParseVideoObjectLayerSize(b.bytes.data(), b.bytes.size(), &width, &height));
  EXPECT_EQ(8191u, width);
  EXPECT_EQ(4096u, height);
}

TEST(Mpeg4HeaderQuery, EachMissingMarkerFails) {
  Vol v = Sized(352, 240);
  v.controlParameters = true;
  v.vbv = true;
  const Built good = BuildStream(v);
  ASSERT_EQ(10u, good.markers.size());
  for (std::size_t bit : good.markers) {
    SCOPED_TRACE(testing::Message() << "marker at bit " << bit);
    std::vector<uint8_t> bytes = good.bytes;
    bytes[bit / 8] &= static_cast<uint8_t>(~(0x80u >> (bit % 8)));
    uint32_t packed = 0;
    EXPECT_EQ(kMpeg4Failed, Query(bytes, &packed));
  }
}

// Every length short of the last header byte fails; from there on the
// rest of the stream is not needed.
TEST(Mpeg4HeaderQuery, TruncationAtEveryByte) {
  Vol v = Sized(352, 240);
  v.objectLayerIdentifier = true;
  v.aspect = 15;
  v.controlParameters = true;
  v.vbv = true;
  const Built b = BuildStream(v);
  for (std::size_t length = 0; length <= b.bytes.size(); ++length) {
    uint32_t packed = 0;
    const uint32_t expected = length < b.headerEndByte ? kMpeg4Failed : kMpeg4Ok;
    EXPECT_EQ(expected, Query(b.bytes, length, &packed)) << "length " << length;
  }
}

// The header counts only when it lies wholly inside the first 256 bytes,
// however many bytes the caller has.
TEST(Mpeg4HeaderQuery, HeaderMustEndWithinFirst256Bytes) {
  const Built plain = BuildStream(Sized(352, 240));
  const std::size_t lastFit = 256 - plain.headerEndByte;
  struct Case {
    std::size_t prefix;
    uint32_t result;
  };
  const Case cases[] = {
      {lastFit, kMpeg4Ok},          // header ends on byte 256
      {lastFit + 1, kMpeg4Failed},  // header ends on byte 257
      {256 - 18, kMpeg4Failed},     // layer start code is the last 4 bytes of the window
      {256 - 14, kMpeg4Failed},     // layer start code right after the window
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "prefix " << c.prefix);
    Built b = BuildStream(Sized(352, 240), c.prefix);
    b.bytes.resize(b.bytes.size() + 300, 0xFF);
    uint32_t packed = 0;
    EXPECT_EQ(c.result, Query(b.bytes, &packed));
  }
}

TEST(Mpeg4HeaderQuery, BytesWithoutHeaderFail) {
  const std::vector<std::vector<uint8_t>> inputs = {
      {},
      {0x00, 0x00, 0x01},
      {0x00, 0x00, 0x01, 0x20},
      {0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0xB6, 0x10, 0x20, 0x30},  // VOP without layer
      std::vector<uint8_t>(512, 0x00),
  };
  for (const auto& bytes : inputs) {
    uint32_t packed = 0;
    EXPECT_EQ(kMpeg4Failed, Query(bytes, &packed)) << bytes.size() << " bytes";
  }
  Mpeg4StreamBytes nothing{nullptr, 100};
  uint32_t packed = 0;
  EXPECT_EQ(kMpeg4Failed, Mpeg4DecoderEntry(1, kMpeg4HeaderQuery, &nothing, &packed, 0, 0, 0));
  const Built good = BuildStream(Sized(352, 240));
  Mpeg4StreamBytes stream{good.bytes.data(), good.bytes.size()};
  EXPECT_EQ(kMpeg4Failed, Mpeg4DecoderEntry(1, kMpeg4HeaderQuery, &stream, nullptr, 0, 0, 0));
}

}  // namespace
}  // namespace tsv
