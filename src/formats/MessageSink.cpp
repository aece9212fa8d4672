#include "formats/MessageSink.h"

#include <cstdio>

namespace tsv {

void StderrMessageSink::ShowMessage(std::string_view text) {
  std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
}

void StderrMessageSink::Log(std::string_view text) {
  if (verbose_) std::fprintf(stderr, "debug: %.*s\n", static_cast<int>(text.size()), text.data());
}

}  // namespace tsv
