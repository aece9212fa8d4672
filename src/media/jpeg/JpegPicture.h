// JPEG pictures on libjpeg-turbo: decode into packed blue-green-red, bottom
// row first (the row order every picture of the player has), and encode
// such pictures back into baseline JPEG.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tsv {

// Largest picture a slot of the picture ring holds (720 x 576 x 3 bytes
// rounded up to the slot size).
constexpr std::size_t kPictureSlotSize = 1572864;

// The start-of-image marker's position at or after `from`, or `length` when
// there is none. JPEG data inside a picture packet starts at the packet
// payload; bare JPEG data may have other bytes before the marker.
std::size_t FindJpegStart(const uint8_t* data, std::size_t length, std::size_t from = 0);

// Decodes the JPEG picture found in payload (from its start-of-image
// marker) into `picture` (capacity bytes). When expectWidth/expectHeight
// are non-zero the picture must have that size. On success writes the size
// and returns true; the picture holds width x height x 3 bytes, bottom row
// first. Never writes past capacity.
bool DecodeJpegPicture(const uint8_t* payload, std::size_t length, uint8_t* picture, std::size_t capacity,
                       uint16_t expectWidth, uint16_t expectHeight, uint16_t* width, uint16_t* height);

// Encodes a packed blue-green-red picture, bottom row first, as baseline
// JPEG 4:2:0 at the given quality (1..100). Empty on failure.
std::vector<uint8_t> EncodeJpegPicture(const uint8_t* picture, uint16_t width, uint16_t height, int quality);

}  // namespace tsv
