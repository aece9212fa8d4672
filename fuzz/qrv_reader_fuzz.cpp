#include "ReaderFuzz.h"
#include "formats/CZKQRV.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tsv::fuzz::ExerciseReader<tsv::CZKQRV>(data, size, ".vse");
  return 0;
}
