#include "formats/SegmentOutput.h"

#include <unistd.h>

#include <cstdio>

namespace tsv {

std::string SegmentStem(const SYSTEMTIME& t) {
  char text[48];
  std::snprintf(text, sizeof text, "%02d%02d%02d_%02d%02d%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond);
  return text;
}

std::unique_ptr<SegmentOutput> SegmentOutput::Create(const std::string& folder, const std::string& stem,
                                                     const std::string& ext) {
  std::unique_ptr<SegmentOutput> out(new SegmentOutput);
  out->folder_ = folder;
  out->stem_ = stem;
  out->ext_ = ext;
  for (unsigned attempt = 0; attempt < 1000; ++attempt) {
    const std::string temp = JoinPath(folder, "." + stem + ext + ".part" + std::to_string(::getpid()) + "_" +
                                                  std::to_string(attempt));
    if (out->file_.CreateNew(temp)) {
      out->tempPath_ = temp;
      return out;
    }
  }
  return nullptr;
}

SegmentOutput::~SegmentOutput() {
  if (finalPath_.empty() && !tempPath_.empty()) {
    file_.Close();
    ::unlink(tempPath_.c_str());
  }
}

bool SegmentOutput::Finish() {
  if (!finalPath_.empty()) return true;
  bool ok = file_.Sync();
  ok = file_.Close() && ok;
  if (ok) {
    // Another process may take a name between the look-up and the link.
    for (int attempt = 0; attempt < 100 && finalPath_.empty(); ++attempt) {
      const std::string candidate = FirstFreeName(folder_, stem_, ext_);
      if (PublishNoReplace(tempPath_, candidate)) finalPath_ = candidate;
    }
  }
  if (finalPath_.empty()) {
    ::unlink(tempPath_.c_str());
    tempPath_.clear();
    return false;
  }
  return true;
}

}  // namespace tsv
