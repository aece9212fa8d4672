// The sub-commands of tessarovine-cli. Each takes the arguments after its
// own name and returns the process exit status (0 success, 1 failure,
// 2 usage error). Errors go to stderr as one line.
#pragma once

#include <string>
#include <vector>

namespace tsv::cli {

using Args = std::vector<std::string>;

int RunInfo(const Args& args);
int RunFrames(const Args& args);
int RunSegment(const Args& args);
int RunExport(const Args& args);
int RunStartTime(const Args& args);
int RunSynth(const Args& args);
int RunDecode(const Args& args);
int RunSnapshot(const Args& args);
int RunAudio(const Args& args);
int RunConvert(const Args& args);
int RunFindDisc(const Args& args);
int RunImportDisc(const Args& args);
int RunPlay(const Args& args);

}  // namespace tsv::cli
