#include "ReaderFuzz.h"
#include "formats/CVsxFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tsv::fuzz::ExerciseReader<tsv::CVsxFile>(data, size, ".vs4");
  return 0;
}
