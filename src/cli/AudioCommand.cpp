// tessarovine-cli audio FILE -o SOUND.wav: the recording's sound as 8 kHz
// mono 16-bit WAV, decoded frame by frame as the player decodes it.
#include <cstdio>
#include <vector>

#include "cli/Commands.h"
#include "cli/Recording.h"
#include "formats/PesPacket.h"
#include "media/ImaAdpcm.h"
#include "media/WavFile.h"
#include "platform/OutputFile.h"

namespace tsv::cli {

int RunAudio(const Args& args) {
  std::string path, output;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o" && i + 1 < args.size()) output = args[++i];
    else if (path.empty() && args[i].rfind("-", 0) != 0) path = args[i];
    else path.clear(), output.clear(), i = args.size();
  }
  if (path.empty() || output.empty()) {
    std::fprintf(stderr, "usage: tessarovine-cli audio FILE -o SOUND.wav\n");
    return 2;
  }
  OpenedRecording rec = OpenRecording(path);
  if (!rec.reader) return 1;
  CRecFile& r = *rec.reader;
  PlaybackState& st = r.state();
  std::vector<int16_t> samples;
  std::vector<int16_t> block(kSoundSlotSize / 2);
  uint32_t frames = 0;
  r.SeekFilePointToBeginFrame();
  for (uint32_t k = 0; k < st.indexCount && ReadNextFrame(r, k); ++k) {
    const uint32_t slot = k % kRingSlots;
    const uint8_t* payload = r.FrameSlot(slot);
    const uint32_t size = r.GetCurrentFrameSize(slot);
    if (FrameKindOf(r, slot) == kFrameSound) {
      // Data beyond one PCM block is cut, as playback cuts it.
      const std::size_t bytes = AdpcmBytesOfSoundFrame(size);
      const ImaAdpcmState seed = r.GetCurrentFrameADPCMState(slot);
      AdpcmDecoderState state;
      DecodeAdpcmBlock(state, static_cast<int>(bytes), payload + kSoundPacketHead, block.data(), seed.stepIndex,
                       seed.predictor);
      samples.insert(samples.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(2 * bytes));
      ++frames;
    }
    if (r.GetCurrentFrameIndex(slot) >= st.indexCount) break;
  }
  if (frames == 0) {
    std::fprintf(stderr, "%s: the recording holds no sound\n", path.c_str());
    return 1;
  }
  const std::vector<uint8_t> wav = EncodeWav(samples);
  OutputFile out;
  std::string error;
  if (!out.Create(output, &error) || !out.Write(wav.data(), wav.size()) || !out.Commit(&error)) {
    std::fprintf(stderr, "%s\n", error.empty() ? ("cannot write " + output).c_str() : error.c_str());
    return 1;
  }
  std::printf("%s (%u sound frames, %.1f s)\n", output.c_str(), frames, samples.size() / double(kSoundSampleRate));
  return 0;
}

}  // namespace tsv::cli
