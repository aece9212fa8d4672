// Most-significant-bit-first reader over a bounded byte range, as MPEG-4
// visual headers are written. A read past the end yields zero bits and
// latches the overrun flag, so a parser can read a whole header and check
// once; no read ever touches a byte outside the range.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tsv {

class BitReader {
 public:
  BitReader(const uint8_t* data, std::size_t length) : data_(data), bitLength_(length * 8) {}

  // Reads `count` bits (0..32), first bit read is the most significant.
  uint32_t Read(int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
      value = (value << 1) | ReadBit();
    }
    return value;
  }

  uint32_t ReadBit() {
    if (bitPos_ >= bitLength_) {
      overrun_ = true;
      return 0;
    }
    const uint32_t bit = (data_[bitPos_ >> 3] >> (7 - (bitPos_ & 7))) & 1u;
    ++bitPos_;
    return bit;
  }

  // True when a read went past the end of the range.
  bool Overrun() const { return overrun_; }
  std::size_t BitPosition() const { return bitPos_; }

 private:
  const uint8_t* data_;
  std::size_t bitLength_;
  std::size_t bitPos_ = 0;
  bool overrun_ = false;
};

}  // namespace tsv
