#include "platform/DesktopFolder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tsv {

namespace {

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_directory(path, ec);
}

// The value of XDG_DESKTOP_DIR in user-dirs.dirs: "$HOME/Desktop" or an
// absolute path, in double quotes.
std::string FromUserDirs(const std::string& home) {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const std::string file = (config && *config ? std::string(config) : home + "/.config") + "/user-dirs.dirs";
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    const std::string key = "XDG_DESKTOP_DIR=\"";
    if (line.rfind(key, 0) != 0 || line.back() != '"') continue;
    std::string value = line.substr(key.size(), line.size() - key.size() - 1);
    if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
    return value;
  }
  return {};
}

}  // namespace

std::string DesktopFolder() {
  const char* homeEnv = std::getenv("HOME");
  const std::string home = homeEnv ? homeEnv : "";
  if (const char* env = std::getenv("XDG_DESKTOP_DIR"); env && IsFolder(env)) return env;
  if (!home.empty()) {
    if (const std::string dir = FromUserDirs(home); IsFolder(dir)) return dir;
    if (IsFolder(home + "/Desktop")) return home + "/Desktop";
    if (IsFolder(home)) return home;
  }
  return ".";
}

}  // namespace tsv
