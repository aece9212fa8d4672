// ReaderThread: reads frames into the frame ring, forwards from the file
// position, or backwards through the reader's index-range walks.
#include "engine/PlaybackEngine.h"
#include "formats/PesPacket.h"
#include "platform/ByteIO.h"

namespace tsv {

namespace {

// The video object start code at the payload of the frame's packet: where
// an MPEG-4 decode can begin.
bool StartsWithVideoObject(CRecFile& reader, uint32_t slot) {
  const uint32_t size = reader.GetCurrentFrameSize(slot);
  const uint8_t* p = reader.FrameSlot(slot);
  const std::size_t at = PacketPayloadOffset(p, size);
  return size >= at + 4 && GetU32LE(p + at) == 0x00010000;
}

}  // namespace

void PlaybackEngine::ReaderThreadMpeg4() {
  PlaybackState& st = *state_;
  CRecFile& r = *reader_;
  if (st.fileMagic != kMpeg4Magic || st.indexCount == 0) {
    events_.CloseRequested();
    return;
  }
  st.qrvFirstFrame = 1;
  uint32_t k = 0;
  for (;;) {
    if (!WaitAbortOr(*abort_, *frameFree_)) return;
    if (st.reverse && !r.MP4SetTargetFilePointer()) return;
    if (!st.keyFrameFound) {
      if (st.atStart) {
        st.atStart = 0;
        r.SeekFilePointToBeginFrame();
      }
      if (!r.ReadCurrentFrameInfo(k, 0)) return;
      // Decoding starts at a picture that carries the stream headers.
      if (!st.audioOnly && !StartsWithVideoObject(r, k)) {
        frameFree_->Release();
        continue;
      }
      st.keyFrameFound = 1;
    } else if (!r.ReadCurrentFrameInfo(k, kMpeg4Magic)) {
      // A damaged frame is skipped; at the end of the frames nothing
      // follows, so the thread ends instead of spinning.
      if (r.PastFrameArea()) return;
      frameFree_->Release();
      continue;
    }
    if (r.GetCurrentFrameIndex(k) >= st.indexCount && !st.reverse) {
      frameFilled_->Release();
      return;
    }
    k = (k + 1) % kRingSlots;
    frameFilled_->Release();
  }
}

void PlaybackEngine::ReaderThreadJpeg() {
  PlaybackState& st = *state_;
  CRecFile& r = *reader_;
  if (st.fileMagic != kJpegMagic || st.indexCount == 0) {
    events_.CloseRequested();
    return;
  }
  st.qrvFirstFrame = 1;
  uint32_t k = 0;
  for (;;) {
    if (!WaitAbortOr(*abort_, *frameFree_)) return;
    if (st.reverse && !r.JpegSetTargetFilePointer()) return;
    if (st.atStart) {
      st.atStart = 0;
      r.SeekFilePointToBeginFrame();
      if (!r.ReadCurrentFrameInfo(k, 0)) return;
    } else if (!r.ReadCurrentFrameInfo(k, kJpegMagic)) {
      if (r.PastFrameArea()) return;
      frameFree_->Release();
      continue;
    }
    if (r.GetCurrentFrameIndex(k) >= st.indexCount && !st.reverse) {
      frameFilled_->Release();
      return;
    }
    k = (k + 1) % kRingSlots;
    frameFilled_->Release();
  }
}

}  // namespace tsv
