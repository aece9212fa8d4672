// The sound the engine plays is the recording's sound, block by block and
// in order: captured by the WAV device and compared with the sound decoded
// frame by frame.
#include <gtest/gtest.h>

#include "EngineHarness.h"
#include "formats/PesPacket.h"
#include "media/ImaAdpcm.h"
#include "platform/ByteIO.h"

namespace tsv {
namespace {

using test::PlayedRecording;

// Every sound frame of the recording decoded as the player decodes it.
std::vector<int16_t> DecodedSound(const std::string& path) {
  NullMessageSink sink;
  CVsxFile reader(sink);
  PrepareRings(reader.state(), false);
  uint32_t flag = 0;
  EXPECT_TRUE(reader.OpenFileToGetDecoder(path, &flag));
  std::vector<int16_t> samples;
  std::vector<int16_t> block(kSoundSlotSize / 2);
  reader.SeekFilePointToBeginFrame();
  for (uint32_t k = 0; k < reader.state().indexCount; ++k) {
    const uint32_t slot = k % kRingSlots;
    if (!reader.ReadCurrentFrameInfo(slot, k ? kMpeg4Magic : 0)) break;
    const uint8_t* payload = reader.FrameSlot(slot);
    if (reader.GetMp4FrameKind(payload) != kFrameSound) continue;
    const std::size_t bytes = AdpcmBytesOfSoundFrame(reader.GetCurrentFrameSize(slot));
    const ImaAdpcmState seed = reader.GetCurrentFrameADPCMState(slot);
    AdpcmDecoderState state;
    DecodeAdpcmBlock(state, static_cast<int>(bytes), payload + kSoundPacketHead, block.data(), seed.stepIndex,
                     seed.predictor);
    samples.insert(samples.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(2 * bytes));
  }
  return samples;
}

TEST(EngineSound, PlayedSoundIsTheRecordingsSoundInOrder) {
  test::TempDir dir;
  const std::string wav = dir.File("played.wav");
  SynthOptions o;
  o.frames = 25;  // one second
  o.keyInterval = 10;
  o.resolutionCode = 4;
  o.sound = true;
  std::vector<int16_t> decoded;
  {
    PlayedRecording rec(o, "wav:" + wav);
    decoded = DecodedSound(rec.path());
    ASSERT_TRUE(rec.commands->Start());
    ASSERT_TRUE(rec.WaitForEnd());
  }  // the WAV file is written when the file's sound buffers are released
  const std::vector<uint8_t> bytes = test::ReadBytes(wav);
  ASSERT_GT(bytes.size(), 44u);
  std::vector<int16_t> played((bytes.size() - 44) / 2);
  for (std::size_t i = 0; i < played.size(); ++i) played[i] = static_cast<int16_t>(GetU16LE(&bytes[44 + 2 * i]));
  ASSERT_FALSE(played.empty());
  // Reading starts at the first key picture, so sound frames before it are
  // not played, and playback ends on the last picture, so the last blocks
  // may be cut; what was played is a stretch of the recording's sound,
  // sample for sample, from a frame boundary on.
  ASSERT_LE(played.size(), decoded.size());
  EXPECT_GE(played.size() * 2, decoded.size());
  const std::size_t frameSamples = 2 * AdpcmBytesOfSoundFrame(512 + kSoundPacketHead);
  bool found = false;
  for (std::size_t at = 0; at + played.size() <= decoded.size() && !found; at += frameSamples)
    found = std::equal(played.begin(), played.end(), decoded.begin() + static_cast<std::ptrdiff_t>(at));
  EXPECT_TRUE(found);
}

}  // namespace
}  // namespace tsv
