// Snapshots: the shown picture saved as a JPEG file in the snapshot folder,
// named after the computer's local time when it is written.
#pragma once

#include <cstdint>
#include <string>

#include "platform/SystemTime.h"

namespace tsv {

// "YYMMDDThhmmssXX": seven two-digit groups (each value modulo 100) with a
// "T" after the day; XX is the milliseconds modulo 100. 14 March 2005
// 10:22:33.457 gives "050314T10223357".
std::string SnapshotStem(const SYSTEMTIME& t);

// Appends "/" to the folder setting itself when it does not end in one,
// then writes the picture (bottom row first) as baseline JPEG under the
// name of `now`. A name already taken gets "_2", "_3"... so no snapshot
// replaces a file. False when the file cannot be written; *path holds the
// written file on success.
bool WriteSnapshot(std::string& snapshotFolder, const uint8_t* picture, uint16_t width, uint16_t height,
                   const SYSTEMTIME& now, std::string* path, std::string* error);

}  // namespace tsv
