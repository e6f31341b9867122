// The player's ZIP reader: opens a single-volume archive (no ZIP64) from memory or from
// a window of a file on disk, checks every record it relies on, and extracts entries
// with traditional PKWARE decryption, raw-Deflate inflation and a CRC-32 check.
//
// Archive errors are thrown as CZipException; failures to create or write an output
// file are thrown as vx::FileException.
#pragma once
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include <zlib.h>

#include "common/encryption_keys.h"
#include "common/file.h"

namespace vx {

// What the reader reads from.
class ZipSource {
 public:
  virtual ~ZipSource() = default;
  // Copies up to n bytes from the current position; fewer (or 0) at the end.
  virtual size_t read(void* buf, size_t n) = 0;
  // origin 0: from the start, 1: from the current position, 2: from the end. No bounds
  // check: a position outside the data makes later reads return 0 bytes.
  virtual void seek(int64_t offset, int origin) = 0;
  virtual uint64_t length() const = 0;
  // A name for messages (the archive's path), empty when there is none.
  virtual std::string name() const { return std::string(); }
};

// A read-only view of a memory block. The block is never freed or written.
class ZipMemoryFile : public ZipSource {
 public:
  ZipMemoryFile(const void* data, size_t length);
  size_t read(void* buf, size_t n) override;
  void seek(int64_t offset, int origin) override;
  uint64_t length() const override { return m_nLength; }

 private:
  const uint8_t* m_pData;
  uint64_t m_nLength;
  int64_t m_nPosition = 0;
};

// The bytes [offset, offset + length) of a file on disk, read on demand: nothing is
// held in memory beyond the caller's buffers. `length` is clipped to the file's end.
class ZipDiskFile : public ZipSource {
 public:
  bool open(const std::string& path, uint64_t offset = 0, uint64_t length = UINT64_MAX);
  void close();
  bool isOpen() const { return m_file.isOpen(); }
  size_t read(void* buf, size_t n) override;
  void seek(int64_t offset, int origin) override;
  uint64_t length() const override { return m_nLength; }
  std::string name() const override { return m_strPath; }

 private:
  File m_file;
  std::string m_strPath;
  uint64_t m_nOffset = 0;
  uint64_t m_nLength = 0;
  int64_t m_nPosition = 0;       // inside the window
  int64_t m_nFilePosition = -1;  // where the file's own pointer stands, -1 unknown
};

// An archive error: a cause code and the name of the archive or entry concerned.
class CZipException : public std::exception {
 public:
  // Causes raised by this reader; the table has texts for more.
  enum Cause {
    kUnknown = 100,
    kDamaged = 101,
    kCrcMismatch = 102,
    kBadPassword = 110,
    kNoEndRecord = 116,
    kZlibStreamEnd = 500,
    kZlibVersion = 507,
  };

  CZipException(int cause, const std::string& fileName = "");

  int m_iCause;
  std::string m_szFileName;

  // Copies at most size - 1 characters of the message and a terminating zero. False
  // for no buffer, a size of 0 or an empty message.
  bool GetErrorMessage(char* buffer, unsigned size, unsigned* helpContext = nullptr) const;
  // The message table's text for the cause.
  std::string message() const;
  const char* what() const noexcept override;

  // The cause for a zlib result code (Z_STREAM_END 500 ... Z_VERSION_ERROR 507, else 100).
  static int ZlibErrorToCause(int zlibResult);
  // Message text for a cause, with the system error state given explicitly.
  static std::string MessageFor(int cause, int errnoValue, unsigned long systemError);

 private:
  // The system's error state when the exception was made; the texts of causes 100, 502
  // and of unlisted causes are built from it, so later calls cannot change them.
  int m_nErrno;
  unsigned long m_nSystemError;
  std::string m_strWhat;
};

// One central directory record.
struct ZipEntryInfo {
  uint32_t signature = 0;
  uint16_t versionMadeBy = 0;
  uint16_t versionNeeded = 0;
  uint16_t flags = 0;
  uint16_t method = 8;
  uint16_t dosTime = 0;
  uint16_t dosDate = 0;
  uint32_t crc32 = 0;
  uint32_t compressedSize = 0;
  uint32_t uncompressedSize = 0;
  uint16_t diskStart = 0;
  uint16_t internalAttributes = 0;
  uint32_t externalAttributes = 0;
  uint32_t localHeaderOffset = 0;
  std::vector<uint8_t> extraField;
  std::vector<uint8_t> fileName;   // converted: "/" is the platform's separator
  std::vector<uint8_t> comment;

  bool isDirectory() const;
  std::string name() const;
  // The attributes in Windows form from the host byte and the external attributes.
  uint32_t systemAttributes() const;
  bool isEncrypted() const { return (flags & 0x0001) != 0; }
  bool hasDataDescriptor() const { return (flags & 0x0008) != 0; }
  uint8_t hostSystem() const { return static_cast<uint8_t>(versionMadeBy >> 8); }
};

class ZipReader {
 public:
  static constexpr size_t kSearchBufferSize = 32768;
  static constexpr size_t kReadBufferSize = 65536;

  ZipReader();
  ~ZipReader();
  ZipReader(const ZipReader&) = delete;
  ZipReader& operator=(const ZipReader&) = delete;

  // Reads the end record and the whole central directory. Ignored when already open.
  void open(ZipSource& source);
  bool isOpen() const { return m_pSource != nullptr; }
  // Keeps a copy of the text (nullptr clears). False while an entry is open.
  bool setPassword(const char* password);
  int entryCount() const;
  bool entryInfo(int index, ZipEntryInfo& out) const;

  // Extracts one entry into targetFolder ("" = current directory). With keepFolders
  // false only the last component of the name is used. Returns true when the file was
  // written completely, its CRC matched and its time and attributes were set; false
  // for a bad index, an open entry, an incomplete entry or a name that is not a plain
  // file inside the target folder (nothing is written then).
  bool extractEntry(int index, const std::string& targetFolder, bool keepFolders,
                    const char* newName, unsigned bufferSize);

  // The path extractEntry would write, or "" when the entry's name (or newName) does
  // not name a plain file inside the folder.
  std::string targetPath(int index, const std::string& targetFolder, bool keepFolders,
                          const char* newName = nullptr) const;

  // Lower-level streaming of one entry.
  bool openEntry(int index);               // false: bad index or an entry already open
  bool isEntryOpen() const { return m_bEntryOpen; }
  // Up to n bytes of the open entry's data; fewer at its end.
  size_t readEntry(void* buf, size_t n);
  // 1: complete and CRC matched; -1: data missing; -2: time or attributes not set.
  // A non-empty targetPath gets the entry's time and attributes.
  int closeEntry(const std::string& targetPath = std::string());

  // Closes an open entry (with its checks), then releases the directory and the source.
  void close();

  // The bytes in front of the archive (a stub or other data before the first header).
  uint64_t bytesBeforeArchive() const { return m_nBytesBefore; }
  const std::vector<uint8_t>& archiveComment() const { return m_comment; }

 private:
  struct AllocBlock;

  void findEndRecord(uint64_t& position);
  void readCentralDirectory();
  void readExact(void* buf, size_t n);
  void seekTo(uint64_t position);
  void fillInput();
  [[noreturn]] void throwArchive(int cause) const;
  [[noreturn]] void throwEntry(int cause) const;
  void releaseEntry();
  void releaseAll();
  int setTimeAndAttributes(const std::string& path) const;

  static void* ZAlloc(void* opaque, unsigned items, unsigned size);
  static void ZFree(void* opaque, void* address);

  ZipSource* m_pSource = nullptr;

  // End record.
  uint16_t m_nThisDisk = 0;
  uint16_t m_nDirectoryDisk = 0;
  uint16_t m_nEntriesOnDisk = 0;
  uint16_t m_nTotalEntries = 0;
  uint32_t m_nDirectorySize = 0;
  uint32_t m_nDirectoryOffset = 0;
  std::vector<uint8_t> m_comment;
  uint64_t m_nEndRecordPosition = 0;
  uint64_t m_nBytesBefore = 0;

  std::vector<ZipEntryInfo> m_entries;
  std::string m_password;

  // The entry being extracted.
  bool m_bEntryOpen = false;
  ZipEntryInfo m_current;
  std::vector<uint8_t> m_localExtra;
  EncryptionKeys m_keys;
  uint64_t m_nDataStart = 0;        // archive position of the entry data (after the 12 bytes)
  uint64_t m_nCompressedLeft = 0;
  uint64_t m_nUncompressedLeft = 0;
  uint32_t m_nCrc = 0;
  bool m_bStreamEnded = false;
  bool m_bInflateReady = false;
  std::unique_ptr<uint8_t[]> m_readBuffer;
  size_t m_nInputPos = 0;           // unread bytes of m_readBuffer: [pos, end)
  size_t m_nInputEnd = 0;
  z_stream m_inflate;
  AllocBlock* m_pBlocks = nullptr;  // blocks handed to zlib and not yet freed
};

}  // namespace vx
