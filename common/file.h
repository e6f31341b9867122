// The small file-system layer that the portable code stands on. One header, one
// source per platform (file_win32.cpp: the Win32 calls; file_posix.cpp: POSIX).
//
// Paths are UTF-8 text on Windows (the Win32 side calls the UTF-16 functions, so any
// character works whatever the system's code page), bytes on Linux.
// Both sides accept "\" and "/" as separators where a path is split; kPathSeparator is
// what the platform writes between components.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace vx {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Windows file attribute bits (the POSIX side maps its mode onto them).
enum FileAttribute : uint32_t {
  kAttrReadOnly = 0x01,
  kAttrHidden = 0x02,
  kAttrSystem = 0x04,
  kAttrDirectory = 0x10,
  kAttrArchive = 0x20,
  kAttrNormal = 0x80,
};

// File times in Windows FILETIME units: 100 ns since 1601-01-01 UTC.
inline constexpr uint64_t kFileTimeUnixEpoch = 116444736000000000ull;
inline uint32_t FileTimeToUnix(uint64_t ft) {
  return static_cast<uint32_t>((ft - kFileTimeUnixEpoch) / 10000000ull);
}
inline uint64_t UnixToFileTime(int64_t t) {
  return static_cast<uint64_t>(t) * 10000000ull + kFileTimeUnixEpoch;
}

struct FileDescription {
  uint32_t attributes = 0;  // FileAttribute bits
  uint64_t lastWrite = 0;   // FILETIME units, UTC
  uint64_t lastAccess = 0;
  uint64_t creation = 0;  // POSIX: birth time where the file system has one, else change time
  uint64_t size = 0;
};

// An open file; closes itself. Not copyable, movable.
class File {
 public:
  enum class Mode {
    Read,             // existing file, read access, others may read (FILE_SHARE_READ)
    CreateWrite,      // create or truncate, write access, no sharing (CREATE_ALWAYS)
    CreateReadWrite,  // create or truncate, read and write access, others may read
    ReadWrite,        // existing file, read and write access, kept as it is, others may read
  };

  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool open(const std::string& path, Mode mode);
  bool isOpen() const;
  // Closes the file; false when the system reports a failure on close.
  bool close();

  // Reads up to `len` bytes; returns the count (0 at end of file) or -1 on error.
  long long read(void* buf, size_t len);
  // Reads until `len` bytes arrived or the file ends: returns the count, less than
  // `len` only at the end of the file, or -1 when a read fails.
  long long readFully(void* buf, size_t len);
  // Writes all `len` bytes; false if any of them could not be written.
  bool write(const void* buf, size_t len);
  // Absolute position from the start of the file.
  bool seek(uint64_t offset);
  // Current position, or -1 on error.
  long long tell() const;
  // Attributes, times and size of the open file.
  bool describe(FileDescription& out) const;

 private:
  intptr_t m_handle = -1;  // a file descriptor, or a HANDLE; -1 when closed
};

// Attributes, times and size of the file or folder at `path`.
bool DescribePath(const std::string& path, FileDescription& out);
bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);

// Sets access and modification times (Unix seconds), like _utime.
bool SetFileTimesUnix(const std::string& path, int64_t accessTime, int64_t modificationTime);
// Sets Windows attribute bits. POSIX: read-only clears the owner-write bit, otherwise
// it is set; the other bits have no POSIX meaning and are ignored.
bool SetFileAttributeBits(const std::string& path, uint32_t attributes);

bool CreateFolder(const std::string& path);   // one level; true if it exists
bool CreateFolders(const std::string& path);  // with missing parents
bool DeleteFilePath(const std::string& path);
bool RemoveFolder(const std::string& path);  // must be empty
// A link: a symbolic link, or on Windows any reparse point (a junction, a directory
// symbolic link). A folder link leads out of the folder that holds it.
bool IsLink(const std::string& path);
// Removes the link at `path` itself, also one to a folder, and never touches what it
// points to.
bool RemoveLink(const std::string& path);
bool CopyFilePath(const std::string& from, const std::string& to);  // overwrites
// Replaces `to` by `from` in one step where the platform allows (rename over).
bool MoveFileReplace(const std::string& from, const std::string& to);

// Calls `fn(name, isDirectory)` for every entry of a folder except "." and "..".
// Returns false when the folder cannot be listed.
bool ForEachInFolder(const std::string& folder,
                     const std::function<void(const std::string& name, bool isDirectory)>& fn);

// The system's temporary folder, ending with a separator.
std::string TempFolder();

// The folder of the running program (no trailing separator; "." when unknown).
std::string ExecutableFolder();

// Folds the letters of a path where the file system ignores their case (Windows: A-Z
// become a-z), so that two spellings of one file compare equal; elsewhere the path
// stays as it is.
void FoldPathLetters(std::string& path);

// The absolute form of `path`, "." and ".." resolved by their text (links are not
// followed); `path` itself when the system cannot tell the current folder.
std::string AbsolutePath(const std::string& path);

// Joins a folder and a name with one separator (none added if the folder ends in one,
// nothing added for an empty folder).
std::string JoinPath(const std::string& folder, const std::string& name);

// The part after the last "\" or "/" (the whole text if there is none).
std::string LastPathComponent(const std::string& path);

}  // namespace vx
