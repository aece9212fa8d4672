// The recording date of a ".vs4" or ".vse" file, read from its first frame
// without opening a player.
#pragma once

#include <string>

#include "platform/SystemTime.h"

namespace tsv {

// True with the first frame's time in *out. False for another extension, a
// file that cannot be opened or read, or a malformed first frame. A ".vse"
// first frame without a frame time reports the header's start time.
bool GetRecordingStartTime(const std::string& path, SYSTEMTIME* out);

}  // namespace tsv
