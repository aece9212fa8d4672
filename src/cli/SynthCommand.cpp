// tessarovine-cli synth: makes a recording of any kind with the synthesizer.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "cli/Commands.h"
#include "formats/QrvLayout.h"
#include "synth/Synthesizer.h"

namespace tsv::cli {

namespace {

constexpr const char* kUsage =
    "usage: tessarovine-cli synth [--layout vsx|qrv|mp4|qrvstream|disc] [--codec mpeg4|jpeg]\n"
    "         [--stream-type 0..6] [--disc-run-sectors N]\n"
    "         [--frames N] [--rate FPS] [--key-interval K] [--resolution CODE] [--mode 0|1]\n"
    "         [--audio] [--sound-only] [--start \"YYYY-MM-DD hh:mm:ss\"] [--ip A.B.C.D]\n"
    "         [--record-style N] [--channel C] [--quality Q] [--quantiser Q] [--bare-jpeg]\n"
    "         [--long-head] [--dts] [--alt-key-type] [--qrv-extras] [--first-time-ms MS] -o FILE\n"
    "\n"
    "  --layout        vsx writes a .vs4 recording (default), qrv a .vse recording;\n"
    "                  the raw forms a recorder hands out (MPEG-4 pictures, converted by\n"
    "                  'tessarovine-cli convert'):\n"
    "                  mp4: a .mp4 stream file (28-byte head, byte-swapped packets,\n"
    "                    predicted pictures refer to their key picture);\n"
    "                  qrvstream: a .QRV stream (byte-swapped packets with the local time\n"
    "                    packed in, one chain of pictures; years 2000..2063, 2128..2191);\n"
    "                  disc: a recorder disc image holding a .QRV stream (2048-byte\n"
    "                    sectors: signature sector, runs of the stream with an unlisted\n"
    "                    sector between runs, directory in the last sector)\n"
    "  --disc-run-sectors  disc: sectors per run of the stream (default 64)\n"
    "  --codec         .vs4 pictures: mpeg4 (default) or jpeg\n"
    "  --stream-type   .vse: 0/3 JPEG, 1/4 MPEG-4 chain, 2/5 MPEG-4 key-referenced, 6 sound only\n"
    "                  (default from --codec, --mode and --sound-only, else 2)\n"
    "  --frames        pictures (default 100); with --sound-only the duration in pictures\n"
    "  --rate          pictures per second, 1..100 (default 25)\n"
    "  --key-interval  pictures from one MPEG-4 key picture to the next (default 25)\n"
    "  --resolution    resolution code (default 0, 352 x 240)\n"
    "  --mode          0: MPEG-4 pictures form one chain and the .vs4 file is marked as\n"
    "                  converted from a .QRV stream; 1: predicted pictures refer to their\n"
    "                  key picture (default)\n"
    "  --audio         interleave 8 kHz IMA ADPCM sound frames\n"
    "  --sound-only    sound frames only\n"
    "  --start         local time of the first frame (default 2026-01-01 00:00:00)\n"
    "  --ip            recorder address (default 192.168.1.64)\n"
    "  --record-style  header record style (default 1)\n"
    "  --channel       camera channel 0..15 (default 0)\n"
    "  --quality       JPEG quality 1..100 (default 80)\n"
    "  --quantiser     MPEG-4 quantiser 2..31 (default 4)\n"
    "  --bare-jpeg     .vse JPEG streams: JPEG data without the packet head\n"
    "  --long-head     picture data at byte 104 of each packet instead of 32\n"
    "  --dts           picture packets carry a decoding time stamp as well\n"
    "  --alt-key-type  .vs4: every second key picture has index type 3; .vse: key type 0\n"
    "  --qrv-extras    .vse frame headers carry the two extra bytes\n"
    "  --first-time-ms frame time of the first frame in ms (default 0)\n"
    "  -o              the new file; an existing file is never replaced\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "tessarovine-cli synth: %s\n", problem.c_str());
  std::fprintf(stderr, "%s", kUsage);
  return 2;
}

std::optional<uint32_t> ParseNumber(const std::string& text, uint32_t low, uint32_t high) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value < low || value > high) return std::nullopt;
  return static_cast<uint32_t>(value);
}

// "A.B.C.D" with A in the lowest byte, as the headers store it.
std::optional<uint32_t> ParseIp(const std::string& text) {
  uint32_t address = 0;
  std::size_t at = 0;
  for (int part = 0; part < 4; ++part) {
    const std::size_t dot = part < 3 ? text.find('.', at) : text.size();
    if (dot == std::string::npos) return std::nullopt;
    const std::optional<uint32_t> n = ParseNumber(text.substr(at, dot - at), 0, 255);
    if (!n) return std::nullopt;
    address |= *n << (8 * part);
    at = dot + 1;
  }
  return address;
}

}  // namespace

int RunSynth(const Args& args) {
  SynthOptions o;
  std::string output;
  std::optional<std::string> layout, codec;
  std::optional<uint32_t> streamType, mode;
  bool soundOnly = false;

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      std::printf("%s", kUsage);
      return 0;
    }
    if (a == "--audio") { o.sound = true; continue; }
    if (a == "--sound-only") { soundOnly = true; continue; }
    if (a == "--bare-jpeg") { o.bareJpeg = true; continue; }
    if (a == "--long-head") { o.longHead = true; continue; }
    if (a == "--dts") { o.withDts = true; continue; }
    if (a == "--alt-key-type") { o.alternateKeyType = true; continue; }
    if (a == "--qrv-extras") { o.qrvExtraBytes = true; continue; }
    if (i + 1 >= args.size()) return Usage(a.rfind("-", 0) == 0 ? a + " needs a value" : "unexpected '" + a + "'");
    const std::string& v = args[++i];
    auto number = [&](uint32_t low, uint32_t high) -> std::optional<uint32_t> { return ParseNumber(v, low, high); };
    std::optional<uint32_t> n;
    if (a == "-o") {
      output = v;
    } else if (a == "--layout") {
      if (v != "vsx" && v != "qrv" && v != "mp4" && v != "qrvstream" && v != "disc")
        return Usage("--layout is vsx, qrv, mp4, qrvstream or disc");
      layout = v;
    } else if (a == "--disc-run-sectors") {
      if (!(n = number(1, 1000000))) return Usage("--disc-run-sectors is 1..1000000");
      o.discRunSectors = *n;
    } else if (a == "--codec") {
      if (v != "mpeg4" && v != "jpeg") return Usage("--codec is mpeg4 or jpeg");
      codec = v;
    } else if (a == "--stream-type") {
      if (!(streamType = number(0, 6))) return Usage("--stream-type is 0..6");
    } else if (a == "--mode") {
      if (!(mode = number(0, 1))) return Usage("--mode is 0 or 1");
    } else if (a == "--frames") {
      if (!(n = number(1, 1000000))) return Usage("--frames is 1..1000000");
      o.frames = *n;
    } else if (a == "--rate") {
      if (!(n = number(1, 100))) return Usage("--rate is 1..100");
      o.rate = *n;
    } else if (a == "--key-interval") {
      if (!(n = number(1, 1000000))) return Usage("--key-interval is at least 1");
      o.keyInterval = *n;
    } else if (a == "--resolution") {
      if (!(n = number(0, 13))) return Usage("--resolution is a code 0..13");
      o.resolutionCode = static_cast<uint8_t>(*n);
    } else if (a == "--start") {
      const std::optional<SYSTEMTIME> t = ParseSystemTime(v);
      if (!t) return Usage("--start is \"YYYY-MM-DD hh:mm:ss\"");
      o.start = *t;
    } else if (a == "--ip") {
      if (!(n = ParseIp(v))) return Usage("--ip is A.B.C.D");
      o.ipAddress = *n;
    } else if (a == "--record-style") {
      if (!(n = number(0, 255))) return Usage("--record-style is 0..255");
      o.recordStyle = static_cast<uint8_t>(*n);
    } else if (a == "--channel") {
      if (!(n = number(0, 15))) return Usage("--channel is 0..15");
      o.channel = static_cast<uint8_t>(*n);
    } else if (a == "--quality") {
      if (!(n = number(1, 100))) return Usage("--quality is 1..100");
      o.jpegQuality = static_cast<int>(*n);
    } else if (a == "--quantiser") {
      if (!(n = number(2, 31))) return Usage("--quantiser is 2..31");
      o.quantiser = static_cast<int>(*n);
    } else if (a == "--first-time-ms") {
      if (!(n = number(0, 0xFFFFFFFFu / 90))) return Usage("--first-time-ms is out of range");
      o.firstFrameTimeMs = *n;
    } else {
      return Usage("unknown option '" + a + "'");
    }
  }
  if (output.empty()) return Usage("-o FILE is required");

  if (mode && (codec == "jpeg" || soundOnly)) return Usage("--mode applies to MPEG-4 pictures only");
  const std::string chosenLayout = layout.value_or("vsx");
  o.layout = chosenLayout == "qrv"         ? SynthLayout::Qrv
             : chosenLayout == "mp4"       ? SynthLayout::Mp4Stream
             : chosenLayout == "qrvstream" ? SynthLayout::QrvStream
             : chosenLayout == "disc"      ? SynthLayout::Disc
                                           : SynthLayout::Vsx;
  if (SynthIsStream(o)) {
    if (streamType || mode) return Usage("--stream-type and --mode do not apply to raw streams");
    o.codec = codec.value_or("mpeg4") == "jpeg" ? SynthCodec::Jpeg : SynthCodec::Mpeg4;
    o.soundOnly = soundOnly;
  } else if (o.layout == SynthLayout::Vsx) {
    if (streamType) return Usage("--stream-type applies to --layout qrv");
    o.codec = codec.value_or("mpeg4") == "jpeg" ? SynthCodec::Jpeg : SynthCodec::Mpeg4;
    o.predictedMode = static_cast<int>(mode.value_or(1));
    o.soundOnly = soundOnly;
  } else {
    // The stream type says everything; the other options only choose it.
    uint8_t chosen = kQrvStreamMpeg4KeyRefOwnPacing;
    if (soundOnly) chosen = kQrvStreamSoundOnly;
    else if (codec == "jpeg") chosen = kQrvStreamJpegOwnPacing;
    else if (mode == 0u) chosen = kQrvStreamMpeg4ChainOwnPacing;
    if (streamType) {
      o.streamType = static_cast<uint8_t>(*streamType);
      SynthOptions probe = o;
      const bool jpeg = SynthHasPictures(probe) && !SynthUsesMpeg4(probe);
      if ((soundOnly && SynthHasPictures(probe)) || (codec == "jpeg" && !jpeg) ||
          (codec == "mpeg4" && !SynthUsesMpeg4(probe)) ||
          (mode && (!SynthUsesMpeg4(probe) || static_cast<int>(*mode) != SynthPredictedMode(probe))))
        return Usage("--stream-type " + std::to_string(*streamType) + " contradicts --codec, --mode or --sound-only");
    } else {
      o.streamType = chosen;
    }
  }
  if (const std::string problem = CheckSynthOptions(o); !problem.empty()) return Usage(problem);

  std::string error;
  if (!Synthesize(o, output, &error)) {
    std::fprintf(stderr, "tessarovine-cli synth: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n", output.c_str());
  return 0;
}

}  // namespace tsv::cli
