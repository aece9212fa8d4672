// tessarovine-cli: the headless companion of the player.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/Commands.h"

namespace {

void PrintUsage(std::FILE* to) {
  std::fprintf(to,
               "usage: tessarovine-cli COMMAND [ARGS]\n"
               "\n"
               "  info FILE [--json]        header, index and stream facts of a .vs4/.vse recording\n"
               "  frames FILE [--json]      every frame header, in file order\n"
               "  segment FILE --from-frame A --to-frame B [-o DIR]\n"
               "                            write frames A..B into a new recording of the same layout\n"
               "  export FILE --from-frame A --to-frame B --format avi|vs4|mp4 [--osd] [-o FOLDER]\n"
               "                            export frames A..B: uncompressed AVI (beside the recording; --osd burns\n"
               "                            in date, time and size), a new recording or a standard MP4 file (both\n"
               "                            on the desktop); prints the new file's path (Ctrl-C stops)\n"
               "  starttime FILE            the recording's start time (YYYY-MM-DD hh:mm:ss)\n"
               "  decode FILE --frame N -o PICTURE.png|bmp|jpg\n"
               "                            the picture of frame N as the player shows it\n"
               "  snapshot FILE --frame N [-o FOLDER]\n"
               "                            save frame N as the Snapshot command does (JPEG, named by the time)\n"
               "  audio FILE -o SOUND.wav   the recording's sound as 8 kHz mono 16-bit WAV\n"
               "  play FILE [--audio KIND] [--script \"CMD; ...\"] [--report PATH.json] [--unpaced]\n"
               "                            play through the engine, headless (see 'play --help')\n"
               "  convert SOURCE.mp4|SOURCE.QRV [-o FOLDER]\n"
               "                            convert a raw stream into a .vs4 recording (Ctrl-C stops)\n"
               "  find-disc [DEVICE...]     the optical drive (/dev/sr0..9) or image holding a recorder disc\n"
               "  import-disc [DEVICE-OR-IMAGE] [-o FOLDER]\n"
               "                            copy a recorder disc's stream into a .QRV file (default: desktop)\n"
               "  synth --layout vsx|qrv|mp4|qrvstream|disc [OPTIONS] -o FILE\n"
               "                            make a test recording (see 'synth --help')\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintUsage(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  const std::string command = argv[1];
  const tsv::cli::Args args(argv + 2, argv + argc);
  if (command == "info") return tsv::cli::RunInfo(args);
  if (command == "frames") return tsv::cli::RunFrames(args);
  if (command == "segment") return tsv::cli::RunSegment(args);
  if (command == "export") return tsv::cli::RunExport(args);
  if (command == "starttime") return tsv::cli::RunStartTime(args);
  if (command == "decode") return tsv::cli::RunDecode(args);
  if (command == "snapshot") return tsv::cli::RunSnapshot(args);
  if (command == "audio") return tsv::cli::RunAudio(args);
  if (command == "play") return tsv::cli::RunPlay(args);
  if (command == "synth") return tsv::cli::RunSynth(args);
  if (command == "convert") return tsv::cli::RunConvert(args);
  if (command == "find-disc") return tsv::cli::RunFindDisc(args);
  if (command == "import-disc") return tsv::cli::RunImportDisc(args);
  std::fprintf(stderr, "tessarovine-cli: unknown command '%s'\n", command.c_str());
  PrintUsage(stderr);
  return 2;
}
