// Opening a recording by its extension: ".vs4" (any case) gets the Vsx
// reader, ".vse" the QRV reader, with frame buffers and, when asked, the
// MPEG-4 decoder that the open step configures.
#pragma once

#include <memory>
#include <string>

#include "formats/CRecFile.h"

namespace tsv {

// The reader for path's layout with its frame ring, or none with a reason.
// A reader that refuses the file has also shown its own message to sink.
std::unique_ptr<CRecFile> OpenRecordingReader(const std::string& path, MessageSink& sink, bool withDecoder,
                                              uint32_t* streamFlag, std::string* error);

}  // namespace tsv
