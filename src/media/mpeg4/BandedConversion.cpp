// The hand-over of a picture is a release store and a notify that wakes
// the helper (std::atomic wait and notify: a short spin, then a futex on
// the value itself). The caller goes to sleep only when the helper holds a
// strip at the moment the caller runs out of strips, and then for at most
// that strip.
#include "media/mpeg4/BandedConversion.h"

#include <new>
#include <system_error>

namespace tsv {

namespace {

// The strip counts of claims_ fit its 16-bit halves up to this many strips
// (each side overshoots by at most one claim).
constexpr int kMaxStrips = 0x7FFF;

}  // namespace

std::unique_ptr<BandedConversion> BandedConversion::Start() {
  std::unique_ptr<BandedConversion> conversion(new (std::nothrow) BandedConversion);
  if (!conversion) return nullptr;
  try {
    conversion->thread_ = std::thread(&BandedConversion::Run, conversion.get());
  } catch (const std::system_error&) {
    return nullptr;
  }
  return conversion;
}

BandedConversion::~BandedConversion() {
  if (!thread_.joinable()) return;
  // Convert has returned, so the state is kIdle and the helper waits or is
  // about to.
  state_.store(kStopped, std::memory_order_relaxed);
  state_.notify_one();
  thread_.join();
}

bool BandedConversion::Claim(bool fromBottom, int* strip) {
  const uint32_t before = claims_.fetch_add(fromBottom ? 0x10000u : 1u, std::memory_order_relaxed);
  const uint32_t top = before & 0xFFFF, bottom = before >> 16;
  if (top + bottom >= static_cast<uint32_t>(strips_)) return false;
  *strip = fromBottom ? strips_ - 1 - static_cast<int>(bottom) : static_cast<int>(top);
  return true;
}

void BandedConversion::ConvertStrip(int strip) const {
  const int first = strip * kBandStripRows;
  ConvertOutput1Rows(planes_, scratch_, out_, outRowBytes_, first, first + kBandStripRows);
}

void BandedConversion::Convert(const YuvPlanes& planes, uint8_t* scratch, uint8_t* out, std::size_t outRowBytes) {
  const int strips = planes.height > 0 ? (planes.height + kBandStripRows - 1) / kBandStripRows : 0;
  if (strips < 2 || strips > kMaxStrips) {
    ConvertOutput1(planes, scratch, out, outRowBytes);
    return;
  }
  planes_ = planes;
  scratch_ = scratch;
  out_ = out;
  outRowBytes_ = outRowBytes;
  strips_ = strips;
  claims_.store(0, std::memory_order_relaxed);
  state_.store(kPosted, std::memory_order_release);
  state_.notify_one();

  int strip = 0;
  while (Claim(false, &strip)) ConvertStrip(strip);

  // Withdrawn if the helper has not taken it yet; else wait for it to
  // finish the strips it took.
  uint32_t expected = kPosted;
  if (state_.compare_exchange_strong(expected, kIdle, std::memory_order_acquire)) return;
  for (uint32_t s = state_.load(std::memory_order_acquire); s != kIdle; s = state_.load(std::memory_order_acquire))
    state_.wait(s, std::memory_order_acquire);
}

void BandedConversion::Run() {
  for (;;) {
    state_.wait(kIdle, std::memory_order_acquire);
    uint32_t expected = kPosted;
    if (state_.compare_exchange_strong(expected, kTaken, std::memory_order_acquire)) {
      int strip = 0;
      bool any = false;
      while (Claim(true, &strip)) {
        ConvertStrip(strip);
        any = true;
      }
      if (any) shared_.fetch_add(1, std::memory_order_relaxed);
      state_.store(kIdle, std::memory_order_release);
      state_.notify_one();
    } else if (expected == kStopped) {
      return;
    }
    // Else the caller withdrew the request before it was taken.
  }
}

}  // namespace tsv
