// tessarovine-cli starttime FILE: the recording's first frame time.
#include <cstdio>

#include "cli/Commands.h"
#include "formats/StartTimeQuery.h"

namespace tsv::cli {

int RunStartTime(const Args& args) {
  if (args.size() != 1 || args[0].rfind("--", 0) == 0) {
    std::fprintf(stderr, "usage: tessarovine-cli starttime FILE\n");
    return 2;
  }
  SYSTEMTIME when;
  if (!GetRecordingStartTime(args[0], &when)) {
    std::fprintf(stderr, "%s: no start time (not a readable .vs4 or .vse recording)\n", args[0].c_str());
    return 1;
  }
  std::printf("%s\n", FormatSystemTime(when, false).c_str());
  return 0;
}

}  // namespace tsv::cli
