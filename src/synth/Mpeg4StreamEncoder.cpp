#include "synth/Mpeg4StreamEncoder.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}

namespace tsv {

namespace {

// Start codes of the MPEG-4 visual stream (the byte after 00 00 01).
constexpr uint8_t kVideoObjectStart = 0x00;
constexpr uint8_t kGroupOfVopStart = 0xB3;
constexpr uint8_t kVopStart = 0xB6;

constexpr int kIntraPicture = 0;
constexpr int kPredictedPicture = 1;

// Keeps the encoder from turning a predicted picture into a key picture on
// a scene change: larger than any score the encoder computes.
constexpr int kNoSceneChange = 1000000000;
// Key-picture distance given to the encoder of a key/predicted pair: more
// than the two pictures it ever sees.
constexpr int kPairGopSize = 16;

// Position of the first 00 00 01 xx at or after `from`, or length.
std::size_t FindStartCode(const uint8_t* data, std::size_t length, uint8_t code, std::size_t from = 0) {
  for (std::size_t i = from; i + 3 < length; ++i) {
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && data[i + 3] == code) return i;
  }
  return length;
}

std::string AvError(const char* what, int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return std::string(what) + ": " + text;
}

}  // namespace

int Mpeg4PictureCodingType(const uint8_t* data, std::size_t length) {
  const std::size_t at = FindStartCode(data, length, kVopStart);
  if (at + 4 >= length) return -1;
  return data[at + 4] >> 6;
}

// One libavcodec encoder with its frame and packet.
class Mpeg4StreamEncoder::Context {
 public:
  Context() = default;
  ~Context() {
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    avcodec_free_context(&codec_);
  }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  bool Open(const Mpeg4EncoderSettings& s, std::string* error) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (codec == nullptr) return Fail(error, "libavcodec has no MPEG-4 encoder");
    codec_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (codec_ == nullptr || frame_ == nullptr || packet_ == nullptr) return Fail(error, "out of memory");
    codec_->width = s.width;
    codec_->height = s.height;
    codec_->pix_fmt = AV_PIX_FMT_YUV420P;
    codec_->time_base = AVRational{1, s.rate};
    codec_->framerate = AVRational{s.rate, 1};
    // Mode 1 encoders see a key picture and one predicted picture only.
    codec_->gop_size = s.predictedMode == 0 ? s.keyInterval : kPairGopSize;
    codec_->max_b_frames = 0;
    codec_->thread_count = 1;
    // A fixed quantiser: the same picture always reconstructs the same way.
    codec_->flags |= AV_CODEC_FLAG_QSCALE | AV_CODEC_FLAG_BITEXACT;
    codec_->global_quality = s.quantiser * FF_QP2LAMBDA;
    // H.263 quantisation, no scene-change key pictures.
    if (av_opt_set_int(codec_, "mpeg_quant", 0, AV_OPT_SEARCH_CHILDREN) < 0)
      return Fail(error, "the MPEG-4 encoder lacks the mpeg_quant option");
    if (av_opt_set_int(codec_, "sc_threshold", kNoSceneChange, AV_OPT_SEARCH_CHILDREN) < 0)
      return Fail(error, "the MPEG-4 encoder lacks the sc_threshold option");
    const int rc = avcodec_open2(codec_, codec, nullptr);
    if (rc < 0) return Fail(error, AvError("cannot open the MPEG-4 encoder", rc));
    frame_->format = AV_PIX_FMT_YUV420P;
    frame_->width = s.width;
    frame_->height = s.height;
    if (av_frame_get_buffer(frame_, 0) < 0) return Fail(error, "out of memory");
    quality_ = codec_->global_quality;
    return true;
  }

  // Encodes one picture as the given coding type and returns its packet.
  bool Encode(const YuvPicture& p, int64_t pts, int codingType, std::vector<uint8_t>* data, std::string* error) {
    if (p.width != codec_->width || p.height != codec_->height) return Fail(error, "picture size changed");
    if (av_frame_make_writable(frame_) < 0) return Fail(error, "out of memory");
    CopyPlane(p.y.data(), p.width, p.height, frame_->data[0], frame_->linesize[0]);
    CopyPlane(p.u.data(), p.width / 2, p.height / 2, frame_->data[1], frame_->linesize[1]);
    CopyPlane(p.v.data(), p.width / 2, p.height / 2, frame_->data[2], frame_->linesize[2]);
    frame_->pts = pts;
    frame_->quality = quality_;
    frame_->pict_type = codingType == kIntraPicture ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_P;
    int rc = avcodec_send_frame(codec_, frame_);
    if (rc < 0) return Fail(error, AvError("MPEG-4 encoding failed", rc));
    rc = avcodec_receive_packet(codec_, packet_);
    // Without B pictures every picture comes out at once.
    if (rc < 0) return Fail(error, AvError("the MPEG-4 encoder held a picture back", rc));
    data->assign(packet_->data, packet_->data + packet_->size);
    av_packet_unref(packet_);
    if (Mpeg4PictureCodingType(data->data(), data->size()) != codingType)
      return Fail(error, "the MPEG-4 encoder made a picture of another type");
    return true;
  }

 private:
  static bool Fail(std::string* error, const std::string& text) {
    if (error != nullptr) *error = text;
    return false;
  }

  static void CopyPlane(const uint8_t* src, int width, int height, uint8_t* dst, int stride) {
    for (int row = 0; row < height; ++row)
      std::memcpy(dst + static_cast<std::ptrdiff_t>(row) * stride, src + static_cast<std::size_t>(row) * width,
                  static_cast<std::size_t>(width));
  }

  AVCodecContext* codec_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  int quality_ = 0;
};

Mpeg4StreamEncoder::Mpeg4StreamEncoder() = default;
Mpeg4StreamEncoder::~Mpeg4StreamEncoder() = default;

bool Mpeg4StreamEncoder::Open(const Mpeg4EncoderSettings& s, std::string* error) {
  auto fail = [&](const char* text) {
    if (error != nullptr) *error = text;
    return false;
  };
  if (s.width < 16 || s.height < 16 || s.width % 2 != 0 || s.height % 2 != 0)
    return fail("MPEG-4 pictures need an even width and height of at least 16");
  if (s.rate < 1 || s.rate > 1000) return fail("picture rate out of range");
  if (s.keyInterval < 1) return fail("key interval must be at least 1");
  if (s.quantiser < 2 || s.quantiser > 31) return fail("quantiser must be 2..31");
  if (s.predictedMode != 0 && s.predictedMode != 1) return fail("predicted-stream mode must be 0 or 1");
  settings_ = s;
  context_.reset();
  haveKey_ = false;
  streamHeaders_.clear();
  open_ = true;
  return true;
}

std::unique_ptr<Mpeg4StreamEncoder::Context> Mpeg4StreamEncoder::NewContext(std::string* error) const {
  auto context = std::make_unique<Context>();
  if (!context->Open(settings_, error)) return nullptr;
  return context;
}

bool Mpeg4StreamEncoder::FinishKeyData(std::vector<uint8_t>* data, std::string* error) {
  const std::size_t vo = FindStartCode(data->data(), data->size(), kVideoObjectStart);
  if (vo < data->size()) {
    // Drop the visual object sequence headers before the video object.
    data->erase(data->begin(), data->begin() + static_cast<std::ptrdiff_t>(vo));
    if (streamHeaders_.empty()) {
      std::size_t end = FindStartCode(data->data(), data->size(), kGroupOfVopStart);
      end = std::min(end, FindStartCode(data->data(), data->size(), kVopStart));
      streamHeaders_.assign(data->begin(), data->begin() + static_cast<std::ptrdiff_t>(end));
    }
    return true;
  }
  if (streamHeaders_.empty()) {
    if (error != nullptr) *error = "the MPEG-4 encoder wrote no stream headers";
    return false;
  }
  data->insert(data->begin(), streamHeaders_.begin(), streamHeaders_.end());
  return true;
}

bool Mpeg4StreamEncoder::Encode(const YuvPicture& picture, uint32_t index, bool key, std::vector<uint8_t>* data,
                                std::string* error) {
  if (!open_) {
    if (error != nullptr) *error = "MPEG-4 encoder not open";
    return false;
  }
  const bool chain = settings_.predictedMode == 0;
  if (!key && (chain ? context_ == nullptr : !haveKey_)) {
    if (error != nullptr) *error = "an MPEG-4 stream must begin with a key picture";
    return false;
  }
  if (key) {
    // Mode 1: a fresh encoder for each key picture; it stays primed for the
    // first predicted picture after it.
    if (!chain || context_ == nullptr) {
      context_ = NewContext(error);
      if (context_ == nullptr) return false;
    }
    if (!context_->Encode(picture, index, kIntraPicture, data, error)) return false;
    if (!chain) {
      keyPicture_ = picture;
      keyIndex_ = index;
      haveKey_ = true;
    }
    return FinishKeyData(data, error);
  }
  if (chain) return context_->Encode(picture, index, kPredictedPicture, data, error);

  std::unique_ptr<Context> pair = std::move(context_);
  if (pair == nullptr) {
    pair = NewContext(error);
    if (pair == nullptr) return false;
    std::vector<uint8_t> again;
    if (!pair->Encode(keyPicture_, keyIndex_, kIntraPicture, &again, error)) return false;
  }
  return pair->Encode(picture, index, kPredictedPicture, data, error);
}

}  // namespace tsv
