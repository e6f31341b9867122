// One archive entry being read: the local-header checks, the password check,
// decryption, inflation, the CRC and the data-descriptor check.
//
// A stream has its own keys, inflate state and read buffer, and reads the archive
// only through ZipSource::readAt at positions of its own, so several streams on
// different threads can read one archive at once. ZipReader opens entries through it.
#pragma once
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/encryption_keys.h"
#include "zipreader/zip_reader.h"

namespace vx {

class ZipEntryStream {
 public:
  ZipEntryStream();
  ~ZipEntryStream();
  ZipEntryStream(const ZipEntryStream&) = delete;
  ZipEntryStream& operator=(const ZipEntryStream&) = delete;

  // Checks the local header of `entry` (at its offset plus `bytesBefore`) and the
  // password, and prepares decryption and inflation. Throws CZipException; the stream
  // is open only when this returns.
  void open(ZipSource& source, uint64_t bytesBefore, const ZipEntryInfo& entry, const std::string& password);
  bool isOpen() const { return m_bOpen; }
  // Up to n bytes of the entry's data; fewer at its end. Throws CZipException.
  size_t read(void* buf, size_t n);
  // 1: complete and CRC matched; -1: data missing; -2: time or attributes not set.
  // A non-empty targetPath gets the entry's time and attributes. Throws CZipException
  // (the stream then stays open).
  int close(const std::string& targetPath);
  // Frees everything without any check; the stream is closed.
  void release();
  // The entry's record, with the local header's flags where they differ.
  const ZipEntryInfo& entry() const { return m_current; }

 private:
  struct AllocBlock;

  // The checks of opening: the local header against the central record (returns where
  // the data starts), the password against the check byte, the inflater's start.
  uint64_t checkLocalHeader(uint64_t position);
  void checkPassword(uint64_t position, const std::string& password);
  void startInflate();
  // The data descriptor after the data must state the central record's values.
  void checkDataDescriptor();
  void readExact(uint64_t position, void* buf, size_t n);
  void fillInput();
  [[noreturn]] void throwEntry(int cause) const;

  static void* ZAlloc(void* opaque, unsigned items, unsigned size);
  static void ZFree(void* opaque, void* address);

  ZipSource* m_pSource = nullptr;
  bool m_bOpen = false;
  ZipEntryInfo m_current;
  std::vector<uint8_t> m_localExtra;
  EncryptionKeys m_keys;
  uint64_t m_nDataStart = 0;     // archive position of the entry data (after the 12 bytes)
  uint64_t m_nReadPosition = 0;  // archive position of the next data byte to read
  uint64_t m_nCompressedLeft = 0;
  uint64_t m_nUncompressedLeft = 0;
  uint32_t m_nCrc = 0;
  bool m_bStreamEnded = false;
  bool m_bInflateReady = false;
  std::unique_ptr<uint8_t[]> m_readBuffer;
  size_t m_nInputPos = 0;  // unread bytes of m_readBuffer: [pos, end)
  size_t m_nInputEnd = 0;
  z_stream m_inflate;
  AllocBlock* m_pBlocks = nullptr;  // blocks handed to zlib and not yet freed
};

// Sets the file's modification time (the entry's DOS date and time read as local time)
// and access time (now), then its attributes. 1 on success, -2 when either failed.
int SetEntryTimeAndAttributes(const ZipEntryInfo& entry, const std::string& path);

// The attribute bits handed to the file system for an entry's system attributes:
// read-only, hidden, system, archive (normal when none of them).
uint32_t AttributesToSet(uint32_t attributes);

}  // namespace vx
