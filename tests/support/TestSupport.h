// Helpers shared by the tests: scratch folders, whole-file reads and
// writes, and running the command-line tool.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tsv::test {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<std::string> ListFolder(const std::string& path);

struct CommandResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs tessarovine-cli with the given arguments (no shell involved).
CommandResult RunCli(const std::vector<std::string>& args);
// Runs a program (found on PATH) with its arguments, args[0] being the
// program (no shell involved).
CommandResult RunProgram(const std::vector<std::string>& args);

}  // namespace tsv::test
