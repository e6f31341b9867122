// POSIX side of the file layer.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <dirent.h>
#include <unistd.h>
#include <utime.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "common/file.h"

namespace vx {
namespace {

uint64_t ToFileTime(const struct timespec& ts) {
  return UnixToFileTime(ts.tv_sec) + static_cast<uint64_t>(ts.tv_nsec) / 100u;
}

void Describe(const struct stat& st, FileDescription& out) {
  out.attributes = 0;
  if (S_ISDIR(st.st_mode)) {
    out.attributes |= kAttrDirectory;
  } else {
    out.attributes |= kAttrArchive;
  }
  if (!(st.st_mode & S_IWUSR)) out.attributes |= kAttrReadOnly;
  out.lastWrite = ToFileTime(st.st_mtim);
  out.lastAccess = ToFileTime(st.st_atim);
  out.creation = ToFileTime(st.st_ctim);
  out.size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
}

}  // namespace

bool File::open(const std::string& path, Mode mode) {
  close();
  int flags = O_CLOEXEC;
  switch (mode) {
    case Mode::Read: flags |= O_RDONLY; break;
    case Mode::CreateWrite: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
    case Mode::CreateReadWrite: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case Mode::ReadWrite: flags |= O_RDWR; break;
  }
  int fd;
  do {
    fd = ::open(path.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  if (mode == Mode::Read) {
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
      ::close(fd);
      errno = EISDIR;
      return false;
    }
  }
  m_handle = fd;
  return true;
}

bool File::isOpen() const { return m_handle >= 0; }

bool File::close() {
  if (m_handle < 0) return true;
  int rc = ::close(static_cast<int>(m_handle));
  m_handle = -1;
  return rc == 0;
}

long long File::read(void* buf, size_t len) {
  if (m_handle < 0) return -1;
  for (;;) {
    ssize_t n = ::read(static_cast<int>(m_handle), buf, len);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

bool File::write(const void* buf, size_t len) {
  if (m_handle < 0) return false;
  const char* p = static_cast<const char*>(buf);
  while (len > 0) {
    ssize_t n = ::write(static_cast<int>(m_handle), p, len);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    p += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

bool File::seek(uint64_t offset) {
  if (m_handle < 0) return false;
  return lseek(static_cast<int>(m_handle), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

long long File::tell() const {
  if (m_handle < 0) return -1;
  return lseek(static_cast<int>(m_handle), 0, SEEK_CUR);
}

bool File::describe(FileDescription& out) const {
  struct stat st;
  if (m_handle < 0 || fstat(static_cast<int>(m_handle), &st) != 0) return false;
  Describe(st, out);
  return true;
}

bool DescribePath(const std::string& path, FileDescription& out) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  Describe(st, out);
  return true;
}

bool PathExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool SetFileTimesUnix(const std::string& path, int64_t accessTime, int64_t modificationTime) {
  struct utimbuf times;
  times.actime = static_cast<time_t>(accessTime);
  times.modtime = static_cast<time_t>(modificationTime);
  return utime(path.c_str(), &times) == 0;
}

bool SetFileAttributeBits(const std::string& path, uint32_t attributes) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  if (attributes & kAttrReadOnly) {
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  } else {
    mode |= S_IWUSR;
  }
  return chmod(path.c_str(), mode) == 0;
}

bool CreateFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0777) == 0) return true;
  return errno == EEXIST && IsDirectory(path);
}

bool DeleteFilePath(const std::string& path) { return unlink(path.c_str()) == 0; }

bool RemoveFolder(const std::string& path) { return rmdir(path.c_str()) == 0; }

bool IsLink(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool RemoveLink(const std::string& path) { return unlink(path.c_str()) == 0; }

bool CopyFilePath(const std::string& from, const std::string& to) {
  File in;
  if (!in.open(from, File::Mode::Read)) return false;
  File out;
  if (!out.open(to, File::Mode::CreateWrite)) return false;
  char buf[65536];
  for (;;) {
    long long n = in.read(buf, sizeof buf);
    if (n < 0) return false;
    if (n == 0) break;
    if (!out.write(buf, static_cast<size_t>(n))) return false;
  }
  return out.close();
}

bool MoveFileReplace(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0;
}

bool ForEachInFolder(const std::string& folder, const std::function<void(const std::string&, bool)>& fn) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return false;
  while (struct dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    bool isDir;
    if (e->d_type == DT_DIR) {
      isDir = true;
    } else if (e->d_type == DT_UNKNOWN) {
      struct stat st;
      isDir = lstat(JoinPath(folder, name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    } else {
      isDir = false;  // files, and links, which are removed rather than followed
    }
    fn(name, isDir);
  }
  closedir(dir);
  return true;
}

std::string TempFolder() {
  const char* t = getenv("TMPDIR");
  std::string dir = (t && *t) ? t : "/tmp";
  if (dir.back() != '/') dir += '/';
  return dir;
}

std::string ExecutableFolder() {
  char buf[PATH_MAX + 1];
  const ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
  const std::string path = n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string(".");
  const size_t pos = path.find_last_of("\\/");
  return pos == std::string::npos ? std::string(".") : path.substr(0, pos);
}

void FoldPathLetters(std::string&) {}

std::string AbsolutePath(const std::string& path) {
  try {
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::absolute(std::filesystem::path(path), ec);
    return ec ? path : p.lexically_normal().string();
  } catch (const std::exception&) {
    return path;
  }
}

}  // namespace vx
