#include "media/mpeg4/Mpeg4Decoder.h"

#include <cstring>
#include <mutex>
#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
}

#include "media/mpeg4/BandedConversion.h"
#include "media/mpeg4/OutputConversion.h"

namespace tsv::mpeg4 {

namespace {

constexpr uint32_t kLiveMagic = 0x4D503444;  // "MP4D": the area holds a live decoder
constexpr std::size_t kPacketCapacity = 102400;  // one frame slot
constexpr uint32_t kVopI = 1, kVopP = 2;
// Pictures of at least this many pixels (half-D1, 720 x 240, and larger)
// have their output conversion shared with a helper thread. A CIF picture
// is converted in about the time the helper takes to wake, so it would
// only cost the hand-over.
constexpr uint32_t kBandedMinimumPixels = 640 * 240;

// Kept at the start of the decoder-context work area. The kept key picture
// and the padded copy of the packet being decoded follow it in the area, so
// a decode call allocates nothing of ours beyond the conversion helper
// thread, once per set-up.
struct DecoderContext {
  uint32_t magic = 0;
  AVCodecContext* codec = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t outputFormat = 1;
  uint32_t decodedCount = 0;
  uint32_t keyLength = 0;
  bool haveKey = false;
  // The decoder's reference is the kept key picture (nothing decoded since).
  bool referenceIsKey = false;
  // The two-thread output conversion, started at the first picture large
  // enough for it and ended with the codec; none when it could not be had.
  BandedConversion* banded = nullptr;
  bool bandedUnavailable = false;
};

constexpr std::size_t kKeyOffset = (sizeof(DecoderContext) + 63) / 64 * 64;
constexpr std::size_t kPacketOffset = kKeyOffset + kPacketCapacity + AV_INPUT_BUFFER_PADDING_SIZE;
constexpr std::size_t kNeeded = kPacketOffset + kPacketCapacity + AV_INPUT_BUFFER_PADDING_SIZE + 4;

DecoderContext* ContextOf(Mpeg4DecoderParams* params) {
  if (!params || !params->workAreas[3] || params->workAreaSizes[3] < kNeeded) return nullptr;
  return reinterpret_cast<DecoderContext*>(params->workAreas[3]);
}

uint32_t& ModeWord(Mpeg4DecoderParams* params) {
  return *reinterpret_cast<uint32_t*>(params->workAreas[3] + params->workAreaSizes[3] - 4);
}

void ReleaseCodec(DecoderContext* ctx) {
  delete ctx->banded;  // joins its thread
  ctx->banded = nullptr;
  avcodec_free_context(&ctx->codec);
  av_packet_free(&ctx->packet);
  av_frame_free(&ctx->frame);
  ctx->magic = 0;
}

// Scans for the first video object (00 00 01 00) or VOP (00 00 01 B6)
// start code; returns its offset or `length`.
std::size_t FindStart(const uint8_t* p, std::size_t length) {
  uint32_t window = 0xFFFFFFFF;
  for (std::size_t i = 0; i < length; ++i) {
    window = (window << 8) | p[i];
    if (window == 0x00000100 || window == 0x000001B6) return i - 3;
  }
  return length;
}

// Coding type of the first VOP (1 I, 2 P, 3 B, 4 S), 0 when none.
uint32_t VopType(const uint8_t* p, std::size_t length) {
  uint32_t window = 0xFFFFFFFF;
  for (std::size_t i = 0; i + 1 < length; ++i) {
    window = (window << 8) | p[i];
    if (window == 0x000001B6) return (p[i + 1] >> 6) + 1u;
  }
  return 0;
}

// Sends one packet and takes its picture. False when the decoder rejects
// the data or gives no picture for it.
bool DecodeOne(DecoderContext* ctx, uint8_t* data, std::size_t length) {
  av_packet_unref(ctx->packet);
  ctx->packet->data = data;
  ctx->packet->size = static_cast<int>(length);
  if (avcodec_send_packet(ctx->codec, ctx->packet) < 0) return false;
  av_frame_unref(ctx->frame);
  return avcodec_receive_frame(ctx->codec, ctx->frame) == 0;
}

}  // namespace

uint32_t Initialise(Mpeg4DecoderParams* params, uint16_t width, uint16_t height, uint32_t mode) {
  // A damaged picture is a dropped frame, not a message: the library's own
  // diagnostics would otherwise reach the user's terminal.
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
  DecoderContext* ctx = ContextOf(params);
  if (!ctx || width == 0 || height == 0 || (width & 1) || (height & 1)) return kMpeg4Failed;
  // The de-interlaced luma plane is built in the scratch area; work areas
  // sized for a smaller picture cannot hold it.
  if (!params->workAreas[2] || params->workAreaSizes[2] < static_cast<uint32_t>(width) * height)
    return kMpeg4Failed;
  if (ctx->magic == kLiveMagic) ReleaseCodec(ctx);
  new (ctx) DecoderContext;
  ModeWord(params) = mode;
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
  if (!codec) return kMpeg4Failed;
  ctx->codec = avcodec_alloc_context3(codec);
  ctx->packet = av_packet_alloc();
  ctx->frame = av_frame_alloc();
  ctx->magic = kLiveMagic;
  if (!ctx->codec || !ctx->packet || !ctx->frame) {
    ReleaseCodec(ctx);
    return kMpeg4Failed;
  }
  ctx->codec->width = width;
  ctx->codec->height = height;
  ctx->codec->thread_count = 1;
  // Every picture comes out of the call that decodes it.
  ctx->codec->flags |= AV_CODEC_FLAG_LOW_DELAY;
  if (avcodec_open2(ctx->codec, codec, nullptr) < 0) {
    ReleaseCodec(ctx);
    return kMpeg4Failed;
  }
  ctx->width = width;
  ctx->height = height;
  SelectOutput(params);
  return kMpeg4Ok;
}

uint32_t SelectOutput(Mpeg4DecoderParams* params) {
  DecoderContext* ctx = ContextOf(params);
  if (!ctx || ctx->magic != kLiveMagic) return kMpeg4Failed;
  // Every index 1..11 selects conversion 1, the only one the player uses;
  // other values leave the choice as it was.
  if (params->outputFormat >= 1 && params->outputFormat <= 11) ctx->outputFormat = 1;
  return kMpeg4Ok;
}

uint32_t Decode(const Mpeg4DecodeInput* input, Mpeg4DecoderParams* params) {
  DecoderContext* ctx = ContextOf(params);
  if (!ctx || ctx->magic != kLiveMagic || !input || !input->payload || !input->output) return kMpeg4Failed;
  const std::size_t start = FindStart(input->payload, input->length);
  if (start >= input->length) return kMpeg4Failed;  // no VOP start code
  const std::size_t length = input->length - start;
  if (length > kPacketCapacity) return kMpeg4Failed;
  uint8_t* area = params->workAreas[3];
  uint8_t* packet = area + kPacketOffset;
  std::memcpy(packet, input->payload + start, length);
  std::memset(packet + length, 0, AV_INPUT_BUFFER_PADDING_SIZE);

  const uint32_t type = VopType(packet, length);
  const bool keyReferenced = ModeWord(params) == 1;
  if (type == kVopI) {
    // Kept so that predicted pictures can be decoded against it again.
    std::memcpy(area + kKeyOffset, packet, length + AV_INPUT_BUFFER_PADDING_SIZE);
    ctx->keyLength = static_cast<uint32_t>(length);
    ctx->haveKey = true;
  } else if (type == kVopP && keyReferenced) {
    if (!ctx->haveKey) return kMpeg4Failed;
    // The decoder refers to the picture decoded last; in this mode a
    // predicted picture refers to its key picture, so that comes first.
    if (!ctx->referenceIsKey) {
      if (!DecodeOne(ctx, area + kKeyOffset, ctx->keyLength)) return kMpeg4Failed;
      ctx->referenceIsKey = true;
    }
  }
  if (!DecodeOne(ctx, packet, length)) {
    ctx->referenceIsKey = false;
    return kMpeg4Failed;
  }
  ctx->referenceIsKey = type == kVopI;
  ++ctx->decodedCount;

  const AVFrame* f = ctx->frame;
  if (f->format != AV_PIX_FMT_YUV420P || f->width != static_cast<int>(ctx->width) ||
      f->height != static_cast<int>(ctx->height) || input->rowWidth < ctx->width)
    return kMpeg4Failed;
  YuvPlanes planes;
  planes.y = f->data[0];
  planes.u = f->data[1];
  planes.v = f->data[2];
  planes.yStride = f->linesize[0];
  planes.uStride = f->linesize[1];
  planes.vStride = f->linesize[2];
  planes.width = f->width;
  planes.height = f->height;
  const std::size_t rowBytes = static_cast<std::size_t>(input->rowWidth) * 3;
  const bool large = ctx->width * ctx->height >= kBandedMinimumPixels;
  if (large && !ctx->banded && !ctx->bandedUnavailable) {
    ctx->banded = BandedConversion::Start().release();
    ctx->bandedUnavailable = ctx->banded == nullptr;
  }
  if (large && ctx->banded)
    ctx->banded->Convert(planes, params->workAreas[2], input->output, rowBytes);
  else
    ConvertOutput1(planes, params->workAreas[2], input->output, rowBytes);
  return kMpeg4Ok;
}

void Release(Mpeg4DecoderParams* params) {
  DecoderContext* ctx = ContextOf(params);
  if (ctx && ctx->magic == kLiveMagic) ReleaseCodec(ctx);
}

}  // namespace tsv::mpeg4
