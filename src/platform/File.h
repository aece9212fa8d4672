// A thin seam over POSIX file descriptors: every read, write and seek of a
// recording goes through here, so tests can reason about failures and no
// caller deals with errno. Nothing throws; results are booleans and counts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tsv {

class File {
 public:
  enum class Origin { Begin, Current, End };

  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens an existing file; readWrite asks for write access as well, but
  // falls back to read-only when the file cannot be written (a recording
  // on a read-only medium still plays).
  bool OpenExisting(const std::string& path, bool readWrite);
  // Creates a new file; fails when the path exists (never replaces).
  bool CreateNew(const std::string& path);

  bool IsOpen() const { return fd_ >= 0; }
  // Bytes read (0 at end of file), or -1 on error.
  long long Read(void* buffer, std::size_t size);
  // True when exactly size bytes were read.
  bool ReadExact(void* buffer, std::size_t size);
  // True when every byte was written.
  bool Write(const void* buffer, std::size_t size);
  bool Seek(long long offset, Origin origin);
  long long Tell() const;
  // Size of the open file, or -1.
  long long Size() const;
  // Flushes to the device; reports a failure that a plain close would hide.
  bool Sync();
  // Closes and reports whether the close succeeded.
  bool Close();

 private:
  int fd_ = -1;
};

// Moves a finished temporary file to its final name without ever replacing
// an existing file. False when the final name exists or the move fails.
bool PublishNoReplace(const std::string& tempPath, const std::string& finalPath);

// The first of "folder/stem.ext", "folder/stem_2.ext", "folder/stem_3.ext"...
// that does not exist yet. ext includes its dot.
std::string FirstFreeName(const std::string& folder, const std::string& stem, const std::string& ext);

// Joins a folder and a name with exactly one '/' between them; an empty
// folder means the current directory.
std::string JoinPath(const std::string& folder, const std::string& name);

// The last four characters of a path, upper-cased, for extension tests
// (".VS4", ".VSE", ...). The path itself is never rewritten.
std::string UpperExtension4(const std::string& path);

}  // namespace tsv
