// The user's desktop folder: the default folder of snapshots, segments and
// exports.
#pragma once

#include <string>

namespace tsv {

// XDG_DESKTOP_DIR from the environment or ~/.config/user-dirs.dirs when that
// folder exists, else ~/Desktop when it exists, else the home folder, else
// the current folder.
std::string DesktopFolder();

}  // namespace tsv
