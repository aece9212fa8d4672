// Operations on packed 24-bit pictures (blue-green-red, bottom row first).
#pragma once

#include <cstdint>

namespace tsv {

// A field picture holds only the first height/2 rows of a width x height
// picture; repeats each of those rows so the picture fills all height rows.
void ExpandFieldLines(uint8_t* picture, uint16_t width, uint16_t height);

}  // namespace tsv
