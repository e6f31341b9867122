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
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/file.h"
#include "common/zip_format.h"

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
  // Copies up to n bytes from `position` (fewer, or 0, at the end). Several threads
  // may call it at once; it may move the current position. This default serialises
  // the calls and seeks and reads; a source that can do better overrides it.
  virtual size_t readAt(uint64_t position, void* buf, size_t n);

 private:
  std::mutex m_readAtLock;
};

// A read-only view of a memory block. The block is never freed or written.
class ZipMemoryFile : public ZipSource {
 public:
  ZipMemoryFile(const void* data, size_t length);
  size_t read(void* buf, size_t n) override;
  void seek(int64_t offset, int origin) override;
  uint64_t length() const override { return m_nLength; }
  size_t readAt(uint64_t position, void* buf, size_t n) override;  // a copy, no lock

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
  std::vector<uint8_t> fileName;  // UTF-8, "/" made the platform's separator
  uint16_t storedNameLength = 0;  // the name's length in bytes as the records state it
  std::vector<uint8_t> comment;

  bool isDirectory() const;
  std::string name() const;
  // The attributes in Windows form from the host byte and the external attributes.
  uint32_t systemAttributes() const;
  bool isEncrypted() const { return (flags & zip::kFlagEncrypted) != 0; }
  bool hasDataDescriptor() const { return (flags & zip::kFlagDataDescriptor) != 0; }
  uint8_t hostSystem() const { return static_cast<uint8_t>(versionMadeBy >> 8); }
};

class ZipEntryStream;

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
  bool extractEntry(int index, const std::string& targetFolder, bool keepFolders, const char* newName,
                    unsigned bufferSize);

  // The path extractEntry would write, or "" when the entry's name (or newName) does
  // not name a plain file inside the folder.
  std::string targetPath(int index, const std::string& targetFolder, bool keepFolders,
                         const char* newName = nullptr) const;

  // Extracts the entries `indices` (in this order) into targetFolder as extractEntry
  // does, with no new names, but up to `threads` at once (1: on the calling thread
  // alone; 0: the processor count; at most 16), each with its own read buffer and an
  // output buffer of bufferSize bytes. `report` is called on the calling thread for
  // each entry, in the order of `indices`, with the entry's index, the path written
  // ("" when the name does not name a plain file inside the folder) and what
  // extractEntry would have returned.
  //
  // The error rules are those of extractEntry called for each entry in turn until the
  // first exception: every entry before the first one that throws is reported, and
  // then that entry's exception is thrown, as from extractEntry (a CRC mismatch still
  // leaves its complete file). Nothing after it is reported: no later entry starts once
  // the failure is seen, those already under way are finished, and the files and
  // folders they created are removed again; a file that was there before keeps the
  // content they gave it. An entry whose target is (or lies in, or holds) the
  // target of an earlier entry starts only when every entry before it has been
  // reported, so the later of two same-named entries wins, as one at a time.
  //
  // Returns false, doing nothing, when the reader is not open or an entry is open
  // through openEntry; no entry is open afterwards. `report` must not call the reader.
  using ExtractReport = std::function<void(int index, const std::string& path, bool complete)>;
  bool extractEntries(const std::vector<int>& indices, const std::string& targetFolder, bool keepFolders,
                      unsigned bufferSize, unsigned threads, const ExtractReport& report);

  // Lower-level streaming of one entry.
  bool openEntry(int index);  // false: bad index or an entry already open
  bool isEntryOpen() const;
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
  // Extracts entry `index` to `path` through `stream` (see extractEntry). `created`,
  // when given, receives the folders and the file that did not exist before, outermost
  // first.
  bool extractTo(ZipEntryStream& stream, int index, const std::string& path, unsigned bufferSize,
                 std::vector<uint8_t>& buffer, std::vector<std::string>* created) const;

  void findEndRecord(uint64_t& position);
  void readEndRecord();
  ZipEntryInfo readCentralRecord();
  void readCentralDirectory();
  void readExact(void* buf, size_t n);
  void seekTo(uint64_t position);
  [[noreturn]] void throwArchive(int cause) const;
  void releaseAll();

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

  // The entry opened through openEntry (and extractEntry).
  std::unique_ptr<ZipEntryStream> m_stream;
};

}  // namespace vx
