// The two sources the reader reads from: a memory block and a window of a disk file.
#include <climits>
#include <cstring>
#include <mutex>

#include "zipreader/zip_reader.h"

namespace vx {
namespace {

// New position for seek(offset, origin), saturating instead of overflowing.
int64_t SeekTarget(int64_t current, uint64_t length, int64_t offset, int origin) {
  int64_t base = origin == 0 ? 0 : origin == 1 ? current : static_cast<int64_t>(length);
  if (offset > 0 && base > INT64_MAX - offset) return INT64_MAX;
  if (offset < 0 && base < INT64_MIN - offset) return INT64_MIN;
  return base + offset;
}

}  // namespace

size_t ZipSource::readAt(uint64_t position, void* buf, size_t n) {
  std::lock_guard<std::mutex> lock(m_readAtLock);
  const uint64_t limit = static_cast<uint64_t>(INT64_MAX);
  seek(static_cast<int64_t>(position < limit ? position : limit), 0);
  return read(buf, n);
}

ZipMemoryFile::ZipMemoryFile(const void* data, size_t length)
    : m_pData(static_cast<const uint8_t*>(data)), m_nLength(length) {}

size_t ZipMemoryFile::read(void* buf, size_t n) {
  if (m_nPosition < 0 || static_cast<uint64_t>(m_nPosition) >= m_nLength) return 0;
  uint64_t left = m_nLength - static_cast<uint64_t>(m_nPosition);
  size_t count = left < n ? static_cast<size_t>(left) : n;
  if (count > 0) std::memcpy(buf, m_pData + m_nPosition, count);
  m_nPosition += static_cast<int64_t>(count);
  return count;
}

void ZipMemoryFile::seek(int64_t offset, int origin) {
  m_nPosition = SeekTarget(m_nPosition, m_nLength, offset, origin);
}

size_t ZipMemoryFile::readAt(uint64_t position, void* buf, size_t n) {
  if (position >= m_nLength) return 0;
  const uint64_t left = m_nLength - position;
  const size_t count = left < n ? static_cast<size_t>(left) : n;
  if (count > 0) std::memcpy(buf, m_pData + position, count);
  return count;
}

bool ZipDiskFile::open(const std::string& path, uint64_t offset, uint64_t length) {
  close();
  if (!m_file.open(path, File::Mode::Read)) return false;
  FileDescription d;
  if (!m_file.describe(d) || offset > d.size || d.size > static_cast<uint64_t>(INT64_MAX)) {
    m_file.close();
    return false;
  }
  m_strPath = path;
  m_nOffset = offset;
  m_nLength = length < d.size - offset ? length : d.size - offset;
  m_nPosition = 0;
  m_nFilePosition = -1;
  return true;
}

void ZipDiskFile::close() {
  m_file.close();
  m_strPath.clear();
  m_nOffset = m_nLength = 0;
  m_nPosition = 0;
  m_nFilePosition = -1;
}

size_t ZipDiskFile::read(void* buf, size_t n) {
  if (!m_file.isOpen() || m_nPosition < 0 || static_cast<uint64_t>(m_nPosition) >= m_nLength) return 0;
  uint64_t left = m_nLength - static_cast<uint64_t>(m_nPosition);
  size_t want = left < n ? static_cast<size_t>(left) : n;
  if (m_nFilePosition != m_nPosition) {
    if (!m_file.seek(m_nOffset + static_cast<uint64_t>(m_nPosition))) {
      m_nFilePosition = -1;
      return 0;
    }
    m_nFilePosition = m_nPosition;
  }
  size_t done = 0;
  uint8_t* p = static_cast<uint8_t*>(buf);
  while (done < want) {
    long long got = m_file.read(p + done, want - done);
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  m_nPosition += static_cast<int64_t>(done);
  m_nFilePosition = done == want ? m_nPosition : -1;
  return done;
}

void ZipDiskFile::seek(int64_t offset, int origin) {
  m_nPosition = SeekTarget(m_nPosition, m_nLength, offset, origin);
}

}  // namespace vx
