// Output conversion 1 runs for every decoded picture, so it has a vector
// path: AVX2 kernels that take 32 pixels of two output rows at a time and
// SSSE3 kernels that take 16, chosen at run time, with the plain C++ row
// functions below for other processors and for the pixels left over at
// the end of a row. All of them compute the same integers; the vector
// kernels only pack them tighter:
// - the combing measure fits 16 bits: |(a - b)(c - b)| <= 127 x 127 and
//   625 ((a - c)^2 >> 12) <= 1875;
// - (k d) >> 13 for one coefficient is the high half of (8 d) x k, since
//   8 d and k fit 16 bits; the green term sums two products first, so it is
//   computed in 32 bits;
// - Y plus a term lies within -262..513, so it fits 16 bits, and packing
//   with unsigned saturation is the clamp to 0..255.
// ConvertOutput1 runs both steps in one pass over the picture: the filtered
// odd row is made in registers and never stored.
#include "media/mpeg4/OutputConversion.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TSV_OUTPUT_CONVERSION_SSSE3 1
#endif

namespace tsv {

namespace {

// Colour coefficients with 13 fractional bits.
constexpr int kRv = 9339;   // 1.140
constexpr int kGu = -3228;  // -0.394
constexpr int kGv = -4760;  // -0.581
constexpr int kBu = 16646;  // 2.032
// Combing threshold of the de-interlace measure.
constexpr int kCombThreshold = 73;

inline uint8_t Clamp255(int x) { return static_cast<uint8_t>(x < 0 ? 0 : (x > 255 ? 255 : x)); }

// Odd row B between rows A and C, pixels [from, width).
void DeinterlaceRow(const uint8_t* A, const uint8_t* B, const uint8_t* C, uint8_t* out, int from, int width) {
  for (int x = from; x < width; ++x) {
    const int a = A[x] >> 1, b = B[x] >> 1, c = C[x] >> 1;
    const int m = (a - b) * (c - b) - 625 * (((a - c) * (a - c)) >> 12);
    out[x] = m > kCombThreshold ? static_cast<uint8_t>(a + c) : B[x];
  }
}

// Luma rows y0 and y1 (y1 and o1 null for a lone last row) sharing one
// chroma row, pixels [from, width); `from` is even.
void ConvertRows(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v, uint8_t* o0, uint8_t* o1,
                 int from, int width) {
  for (int x = from; x < width; x += 2) {
    const int du = u[x / 2] - 128, dv = v[x / 2] - 128;
    const int rd = (kRv * dv) >> 13;
    const int gd = (kGu * du + kGv * dv) >> 13;
    const int bd = (kBu * du) >> 13;
    for (int k = 0; k < 2 && x + k < width; ++k) {
      const int Y0 = y0[x + k];
      uint8_t* d0 = o0 + 3 * (x + k);
      d0[0] = Clamp255(Y0 + bd);
      d0[1] = Clamp255(Y0 + gd);
      d0[2] = Clamp255(Y0 + rd);
      if (o1) {
        const int Y1 = y1[x + k];
        uint8_t* d1 = o1 + 3 * (x + k);
        d1[0] = Clamp255(Y1 + bd);
        d1[1] = Clamp255(Y1 + gd);
        d1[2] = Clamp255(Y1 + rd);
      }
    }
  }
}

#ifdef TSV_OUTPUT_CONVERSION_SSSE3

#define TSV_SSSE3 __attribute__((target("ssse3")))

bool HaveSsse3() {
#ifdef __SSSE3__
  return true;
#else
  static const bool have = __builtin_cpu_supports("ssse3");
  return have;
#endif
}

// Where 8 odd-row samples b between a and c (halved, as words) are combed.
TSV_SSSE3 inline __m128i CombedMask(__m128i a, __m128i b, __m128i c) {
  const __m128i product = _mm_mullo_epi16(_mm_sub_epi16(a, b), _mm_sub_epi16(c, b));
  const __m128i ac = _mm_sub_epi16(a, c);
  const __m128i spread = _mm_mullo_epi16(_mm_srli_epi16(_mm_mullo_epi16(ac, ac), 12), _mm_set1_epi16(625));
  return _mm_cmpgt_epi16(_mm_sub_epi16(product, spread), _mm_set1_epi16(kCombThreshold));
}

// 16 pixels of odd row B filtered against rows A and C.
TSV_SSSE3 inline __m128i DeinterlaceBlock(__m128i A, __m128i B, __m128i C) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i low7 = _mm_set1_epi8(0x7F);
  // Halved samples as bytes (0..127), widened to words for the measure.
  const __m128i a8 = _mm_and_si128(_mm_srli_epi16(A, 1), low7);
  const __m128i b8 = _mm_and_si128(_mm_srli_epi16(B, 1), low7);
  const __m128i c8 = _mm_and_si128(_mm_srli_epi16(C, 1), low7);
  const __m128i maskLo =
      CombedMask(_mm_unpacklo_epi8(a8, zero), _mm_unpacklo_epi8(b8, zero), _mm_unpacklo_epi8(c8, zero));
  const __m128i maskHi =
      CombedMask(_mm_unpackhi_epi8(a8, zero), _mm_unpackhi_epi8(b8, zero), _mm_unpackhi_epi8(c8, zero));
  const __m128i mask = _mm_packs_epi16(maskLo, maskHi);
  const __m128i average = _mm_add_epi8(a8, c8);  // at most 254
  return _mm_or_si128(_mm_and_si128(mask, average), _mm_andnot_si128(mask, B));
}

// The colour terms of 8 chroma samples, each for the two pixels it serves:
// lo for pixels 0..7 of the block, hi for pixels 8..15.
struct ColourTerms {
  __m128i bLo, bHi, gLo, gHi, rLo, rHi;
};

TSV_SSSE3 inline ColourTerms ComputeTerms(const uint8_t* u, const uint8_t* v) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i bias = _mm_set1_epi16(128);
  const __m128i u8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(u));
  const __m128i v8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v));
  const __m128i du = _mm_sub_epi16(_mm_unpacklo_epi8(u8, zero), bias);
  const __m128i dv = _mm_sub_epi16(_mm_unpacklo_epi8(v8, zero), bias);
  const __m128i bd = _mm_mulhi_epi16(_mm_slli_epi16(du, 3), _mm_set1_epi16(kBu));
  const __m128i rd = _mm_mulhi_epi16(_mm_slli_epi16(dv, 3), _mm_set1_epi16(kRv));
  const __m128i gCoefficients =
      _mm_set1_epi32(static_cast<int>((static_cast<uint32_t>(kGv) << 16) | (static_cast<uint32_t>(kGu) & 0xFFFF)));
  const __m128i gLo32 = _mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(du, dv), gCoefficients), 13);
  const __m128i gHi32 = _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(du, dv), gCoefficients), 13);
  const __m128i gd = _mm_packs_epi32(gLo32, gHi32);
  return {_mm_unpacklo_epi16(bd, bd), _mm_unpackhi_epi16(bd, bd), _mm_unpacklo_epi16(gd, gd),
          _mm_unpackhi_epi16(gd, gd), _mm_unpacklo_epi16(rd, rd), _mm_unpackhi_epi16(rd, rd)};
}

// 16 luma samples of one row to 48 bytes of blue-green-red. Blue and green
// are paired first; byte selectors then place the pairs and red (a
// selector byte of -128 yields zero).
TSV_SSSE3 inline void StoreBgrBlock(__m128i luma, const ColourTerms& t, uint8_t* out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i lo = _mm_unpacklo_epi8(luma, zero);
  const __m128i hi = _mm_unpackhi_epi8(luma, zero);
  const __m128i blue = _mm_packus_epi16(_mm_add_epi16(lo, t.bLo), _mm_add_epi16(hi, t.bHi));
  const __m128i green = _mm_packus_epi16(_mm_add_epi16(lo, t.gLo), _mm_add_epi16(hi, t.gHi));
  const __m128i red = _mm_packus_epi16(_mm_add_epi16(lo, t.rLo), _mm_add_epi16(hi, t.rHi));
  const __m128i bgLo = _mm_unpacklo_epi8(blue, green);    // pixels 0..7
  const __m128i bgHi = _mm_unpackhi_epi8(blue, green);    // pixels 8..15
  const __m128i bgMid = _mm_alignr_epi8(bgHi, bgLo, 11);  // green 5, then pixels 6..10
  constexpr char z = -128;
  // Bytes 0..15: B0 G0 R0 ... B4 G4 R4 B5.
  const __m128i part0 =
      _mm_or_si128(_mm_shuffle_epi8(bgLo, _mm_setr_epi8(0, 1, z, 2, 3, z, 4, 5, z, 6, 7, z, 8, 9, z, 10)),
                   _mm_shuffle_epi8(red, _mm_setr_epi8(z, z, 0, z, z, 1, z, z, 2, z, z, 3, z, z, 4, z)));
  // Bytes 16..31: G5 R5 B6 G6 R6 ... B10 G10.
  const __m128i part1 =
      _mm_or_si128(_mm_shuffle_epi8(bgMid, _mm_setr_epi8(0, z, 1, 2, z, 3, 4, z, 5, 6, z, 7, 8, z, 9, 10)),
                   _mm_shuffle_epi8(red, _mm_setr_epi8(z, 5, z, z, 6, z, z, 7, z, z, 8, z, z, 9, z, z)));
  // Bytes 32..47: R10 B11 G11 R11 ... B15 G15 R15.
  const __m128i part2 =
      _mm_or_si128(_mm_shuffle_epi8(bgHi, _mm_setr_epi8(z, 6, 7, z, 8, 9, z, 10, 11, z, 12, 13, z, 14, 15, z)),
                   _mm_shuffle_epi8(red, _mm_setr_epi8(10, z, z, 11, z, z, 12, z, z, 13, z, z, 14, z, z, 15)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), part0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), part1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), part2);
}

TSV_SSSE3 inline __m128i Load16(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// Odd row B between A and C in blocks of 16 pixels; the pixels done.
TSV_SSSE3 int DeinterlaceRowSsse3(const uint8_t* A, const uint8_t* B, const uint8_t* C, uint8_t* out, int width) {
  int x = 0;
  for (; x + 16 <= width; x += 16) {
    const __m128i filtered = DeinterlaceBlock(Load16(A + x), Load16(B + x), Load16(C + x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), filtered);
  }
  return x;
}

// Two output rows in blocks of 16 pixels from pixel `from` (a multiple of
// 16) on; the pixels done. Row 0 is luma y0; row 1 is y1 as it stands
// when c is null, else y1 filtered against y0 above and c below.
TSV_SSSE3 int ConvertRowPairSsse3(const uint8_t* y0, const uint8_t* y1, const uint8_t* c, const uint8_t* u,
                                  const uint8_t* v, uint8_t* o0, uint8_t* o1, int from, int width) {
  int x = from;
  for (; x + 16 <= width; x += 16) {
    const ColourTerms t = ComputeTerms(u + x / 2, v + x / 2);
    const __m128i top = Load16(y0 + x);
    const __m128i odd = c ? DeinterlaceBlock(top, Load16(y1 + x), Load16(c + x)) : Load16(y1 + x);
    StoreBgrBlock(top, t, o0 + 3 * x);
    StoreBgrBlock(odd, t, o1 + 3 * x);
  }
  return x;
}

// The AVX2 kernels do the SSSE3 kernels' arithmetic on 32 pixels: each
// 128-bit lane holds what one SSSE3 register held (pixels 0..15 in the low
// lane, 16..31 in the high one), since unpacking, packing, byte selection
// and alignment all work within lanes. Only the chroma load (16 samples
// widened across both lanes) and the final stores (the lanes' 48-byte
// runs put back in order) differ.

#define TSV_AVX2 __attribute__((target("avx2")))

bool HaveAvx2() {
#ifdef __AVX2__
  return true;
#else
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
#endif
}

TSV_AVX2 inline __m256i CombedMask(__m256i a, __m256i b, __m256i c) {
  const __m256i product = _mm256_mullo_epi16(_mm256_sub_epi16(a, b), _mm256_sub_epi16(c, b));
  const __m256i ac = _mm256_sub_epi16(a, c);
  const __m256i spread =
      _mm256_mullo_epi16(_mm256_srli_epi16(_mm256_mullo_epi16(ac, ac), 12), _mm256_set1_epi16(625));
  return _mm256_cmpgt_epi16(_mm256_sub_epi16(product, spread), _mm256_set1_epi16(kCombThreshold));
}

TSV_AVX2 inline __m256i DeinterlaceBlock(__m256i A, __m256i B, __m256i C) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i low7 = _mm256_set1_epi8(0x7F);
  const __m256i a8 = _mm256_and_si256(_mm256_srli_epi16(A, 1), low7);
  const __m256i b8 = _mm256_and_si256(_mm256_srli_epi16(B, 1), low7);
  const __m256i c8 = _mm256_and_si256(_mm256_srli_epi16(C, 1), low7);
  const __m256i maskLo = CombedMask(_mm256_unpacklo_epi8(a8, zero), _mm256_unpacklo_epi8(b8, zero),
                                    _mm256_unpacklo_epi8(c8, zero));
  const __m256i maskHi = CombedMask(_mm256_unpackhi_epi8(a8, zero), _mm256_unpackhi_epi8(b8, zero),
                                    _mm256_unpackhi_epi8(c8, zero));
  const __m256i mask = _mm256_packs_epi16(maskLo, maskHi);
  const __m256i average = _mm256_add_epi8(a8, c8);
  return _mm256_or_si256(_mm256_and_si256(mask, average), _mm256_andnot_si256(mask, B));
}

struct ColourTerms256 {
  __m256i bLo, bHi, gLo, gHi, rLo, rHi;
};

// 16 chroma samples: samples 0..7 in the low lane serve pixels 0..15,
// samples 8..15 in the high lane pixels 16..31.
TSV_AVX2 inline ColourTerms256 ComputeTermsWide(const uint8_t* u, const uint8_t* v) {
  const __m256i bias = _mm256_set1_epi16(128);
  const __m256i du =
      _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(u))), bias);
  const __m256i dv =
      _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v))), bias);
  const __m256i bd = _mm256_mulhi_epi16(_mm256_slli_epi16(du, 3), _mm256_set1_epi16(kBu));
  const __m256i rd = _mm256_mulhi_epi16(_mm256_slli_epi16(dv, 3), _mm256_set1_epi16(kRv));
  const __m256i gCoefficients = _mm256_set1_epi32(
      static_cast<int>((static_cast<uint32_t>(kGv) << 16) | (static_cast<uint32_t>(kGu) & 0xFFFF)));
  const __m256i gLo32 = _mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(du, dv), gCoefficients), 13);
  const __m256i gHi32 = _mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(du, dv), gCoefficients), 13);
  const __m256i gd = _mm256_packs_epi32(gLo32, gHi32);
  return {_mm256_unpacklo_epi16(bd, bd), _mm256_unpackhi_epi16(bd, bd), _mm256_unpacklo_epi16(gd, gd),
          _mm256_unpackhi_epi16(gd, gd), _mm256_unpacklo_epi16(rd, rd), _mm256_unpackhi_epi16(rd, rd)};
}

// 32 luma samples of one row to 96 bytes of blue-green-red: in each lane
// the SSSE3 kernel's selectors make that lane's 48 bytes, in three parts.
TSV_AVX2 inline void StoreBgrBlock(__m256i luma, const ColourTerms256& t, uint8_t* out) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i lo = _mm256_unpacklo_epi8(luma, zero);
  const __m256i hi = _mm256_unpackhi_epi8(luma, zero);
  const __m256i blue = _mm256_packus_epi16(_mm256_add_epi16(lo, t.bLo), _mm256_add_epi16(hi, t.bHi));
  const __m256i green = _mm256_packus_epi16(_mm256_add_epi16(lo, t.gLo), _mm256_add_epi16(hi, t.gHi));
  const __m256i red = _mm256_packus_epi16(_mm256_add_epi16(lo, t.rLo), _mm256_add_epi16(hi, t.rHi));
  const __m256i bgLo = _mm256_unpacklo_epi8(blue, green);
  const __m256i bgHi = _mm256_unpackhi_epi8(blue, green);
  const __m256i bgMid = _mm256_alignr_epi8(bgHi, bgLo, 11);
  constexpr char z = -128;
  const __m256i part0 = _mm256_or_si256(
      _mm256_shuffle_epi8(bgLo, _mm256_setr_epi8(0, 1, z, 2, 3, z, 4, 5, z, 6, 7, z, 8, 9, z, 10, 0, 1, z, 2, 3, z,
                                                 4, 5, z, 6, 7, z, 8, 9, z, 10)),
      _mm256_shuffle_epi8(red, _mm256_setr_epi8(z, z, 0, z, z, 1, z, z, 2, z, z, 3, z, z, 4, z, z, z, 0, z, z, 1, z,
                                                z, 2, z, z, 3, z, z, 4, z)));
  const __m256i part1 = _mm256_or_si256(
      _mm256_shuffle_epi8(bgMid, _mm256_setr_epi8(0, z, 1, 2, z, 3, 4, z, 5, 6, z, 7, 8, z, 9, 10, 0, z, 1, 2, z, 3,
                                                  4, z, 5, 6, z, 7, 8, z, 9, 10)),
      _mm256_shuffle_epi8(red, _mm256_setr_epi8(z, 5, z, z, 6, z, z, 7, z, z, 8, z, z, 9, z, z, z, 5, z, z, 6, z, z,
                                                7, z, z, 8, z, z, 9, z, z)));
  const __m256i part2 = _mm256_or_si256(
      _mm256_shuffle_epi8(bgHi, _mm256_setr_epi8(z, 6, 7, z, 8, 9, z, 10, 11, z, 12, 13, z, 14, 15, z, z, 6, 7, z, 8,
                                                 9, z, 10, 11, z, 12, 13, z, 14, 15, z)),
      _mm256_shuffle_epi8(red, _mm256_setr_epi8(10, z, z, 11, z, z, 12, z, z, 13, z, z, 14, z, z, 15, 10, z, z, 11, z,
                                                z, 12, z, z, 13, z, z, 14, z, z, 15)));
  // Bytes 0..47 are the low lanes of part0, part1, part2; 48..95 the high.
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(part0, part1, 0x20));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), _mm256_permute2x128_si256(part2, part0, 0x30));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 64), _mm256_permute2x128_si256(part1, part2, 0x31));
}

TSV_AVX2 inline __m256i Load32(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }

// ConvertRowPairSsse3 in blocks of 32 pixels from pixel 0; the pixels done.
TSV_AVX2 int ConvertRowPairAvx2(const uint8_t* y0, const uint8_t* y1, const uint8_t* c, const uint8_t* u,
                                const uint8_t* v, uint8_t* o0, uint8_t* o1, int width) {
  int x = 0;
  for (; x + 32 <= width; x += 32) {
    const ColourTerms256 t = ComputeTermsWide(u + x / 2, v + x / 2);
    const __m256i top = Load32(y0 + x);
    const __m256i odd = c ? DeinterlaceBlock(top, Load32(y1 + x), Load32(c + x)) : Load32(y1 + x);
    StoreBgrBlock(top, t, o0 + 3 * x);
    StoreBgrBlock(odd, t, o1 + 3 * x);
  }
  return x;
}

#else

bool HaveSsse3() { return false; }
bool HaveAvx2() { return false; }
int DeinterlaceRowSsse3(const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*, int) { return 0; }
int ConvertRowPairSsse3(const uint8_t*, const uint8_t*, const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*,
                        uint8_t*, int from, int) {
  return from;
}
int ConvertRowPairAvx2(const uint8_t*, const uint8_t*, const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*,
                       uint8_t*, int) {
  return 0;
}

#endif

}  // namespace

void DeinterlaceLuma(const YuvPlanes& p, uint8_t* luma) {
  const int w = p.width, h = p.height;
  const bool vector = HaveSsse3();
  for (int r = 0; r < h; r += 2) std::memcpy(luma + static_cast<std::ptrdiff_t>(r) * w, p.y + r * p.yStride, w);
  for (int i = 0; i < h / 2 - 1; ++i) {
    const uint8_t* A = p.y + (2 * i) * p.yStride;
    const uint8_t* B = p.y + (2 * i + 1) * p.yStride;
    const uint8_t* C = p.y + (2 * i + 2) * p.yStride;
    uint8_t* out = luma + static_cast<std::ptrdiff_t>(2 * i + 1) * w;
    const int done = vector ? DeinterlaceRowSsse3(A, B, C, out, w) : 0;
    DeinterlaceRow(A, B, C, out, done, w);
  }
  if (h >= 2) std::memcpy(luma + static_cast<std::ptrdiff_t>(h - 1) * w, p.y + (h - 1) * p.yStride, w);
}

void ConvertToBgrBottomUp(const YuvPlanes& p, const uint8_t* luma, uint8_t* out, std::size_t outRowBytes) {
  const int w = p.width, h = p.height;
  const bool vector = HaveSsse3();
  for (int row = 0; row < h; row += 2) {
    const uint8_t* y0 = luma + static_cast<std::ptrdiff_t>(row) * w;
    const uint8_t* y1 = y0 + w;
    const uint8_t* u = p.u + (row / 2) * p.uStride;
    const uint8_t* v = p.v + (row / 2) * p.vStride;
    uint8_t* o0 = out + static_cast<std::size_t>(h - 1 - row) * outRowBytes;
    uint8_t* o1 = row + 1 < h ? out + static_cast<std::size_t>(h - 2 - row) * outRowBytes : nullptr;
    const int done = vector && o1 ? ConvertRowPairSsse3(y0, y1, nullptr, u, v, o0, o1, 0, w) : 0;
    ConvertRows(y0, y1, u, v, o0, o1, done, w);
  }
}

void ConvertOutput1(const YuvPlanes& p, uint8_t* scratch, uint8_t* out, std::size_t outRowBytes) {
  ConvertOutput1Rows(p, scratch, out, outRowBytes, 0, p.height);
}

void ConvertOutput1Rows(const YuvPlanes& p, uint8_t* scratch, uint8_t* out, std::size_t outRowBytes, int firstRow,
                        int endRow) {
  // Row by row pair: even row 2i is the decoder's own; odd row 2i + 1 is
  // filtered when row 2i + 2 exists, else (the last row) kept. The scratch
  // rows receive the filtered odd rows the vector path leaves to the plain
  // one. Each pair reads the picture's planes only and writes its own two
  // output and scratch rows, so any run of pairs is independent of the
  // others.
  const int w = p.width, h = p.height;
  const bool vector = HaveSsse3();
  const bool wide = vector && HaveAvx2();
  if (firstRow < 0) firstRow = 0;
  if (firstRow & 1) ++firstRow;
  if (endRow > h) endRow = h;
  for (int row = firstRow; row < endRow; row += 2) {
    const uint8_t* y0 = p.y + row * p.yStride;
    const uint8_t* u = p.u + (row / 2) * p.uStride;
    const uint8_t* v = p.v + (row / 2) * p.vStride;
    uint8_t* o0 = out + static_cast<std::size_t>(h - 1 - row) * outRowBytes;
    if (row + 1 >= h) {
      ConvertRows(y0, nullptr, u, v, o0, nullptr, 0, w);
      break;
    }
    const uint8_t* y1 = y0 + p.yStride;
    const uint8_t* below = row + 2 < h ? y1 + p.yStride : nullptr;
    uint8_t* o1 = out + static_cast<std::size_t>(h - 2 - row) * outRowBytes;
    const int wideDone = wide ? ConvertRowPairAvx2(y0, y1, below, u, v, o0, o1, w) : 0;
    const int done = vector ? ConvertRowPairSsse3(y0, y1, below, u, v, o0, o1, wideDone, w) : 0;
    if (done == w) continue;
    if (below) {
      uint8_t* filtered = scratch + static_cast<std::ptrdiff_t>(row + 1) * w;
      DeinterlaceRow(y0, y1, below, filtered, done, w);
      y1 = filtered;
    }
    ConvertRows(y0, y1, u, v, o0, o1, done, w);
  }
}

}  // namespace tsv
