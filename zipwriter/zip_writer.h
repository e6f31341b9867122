// The package archive writer: creates a ZIP file, appends one entry per source file
// (stored or Deflate-compressed, encrypted with the traditional PKWARE scheme when a
// password is given) and writes the central directory on close.
//
// Every operation reports a ZipResult and never throws.
#pragma once
#include <cstdint>
#include <string>

namespace vx {

enum ZipResult : uint32_t {
  kZipOk = 0,
  kZipOpenFailed = 0x00000200,       // archive or source cannot be created/opened/described
  kZipWriteFailed = 0x00000400,      // a write, the compression or the copy failed
  kZipBadArgument = 0x00010000,      // no handle, bad name, no source, beyond the format's limits
  kZipNotWriterHandle = 0x00080000,  // the handle's kind tag is not the writer's
  kZipSeekFailed = 0x02000000,       // repositioning while rewriting a local header failed
  kZipSizeChanged = 0x04000000,      // the source changed size while it was read
};

// One-line meaning of a result, e.g. "a write failed".
const char* ZipResultText(uint32_t result);

// Entry names ending in one of these (compared case-insensitively) are stored, not
// deflated: the data is already compressed. Compared in this order.
extern const char* const StoredSuffixes[8];

struct ZipWriterHandle;

class ZipWriter {
 public:
  // Creates (or truncates) the archive file, opened without sharing. `password` null or
  // empty: entries are not encrypted. `threads`: how many threads compress, the calling
  // thread included (1: the calling thread alone; 0: the processor count; at most 16).
  // The archive's bytes are the same whatever the count. Returns nullptr when the file
  // cannot be created.
  static ZipWriterHandle* create(const std::string& archivePath, const char* password, unsigned threads = 0);

  // Appends the whole content of `sourcePath` as entry `entryName` (backslashes become
  // "/", at most 259 characters; a name beyond ASCII is UTF-8 and gets flag bit 11). A failed add leaves no
  // central record for the entry; the archive stays readable for the entries that succeeded.
  static uint32_t addFile(ZipWriterHandle* handle, const std::string& entryName,
                          const std::string& sourcePath);

  // Writes the central directory and the end record, closes the archive and frees the
  // handle, which must not be used afterwards.
  static uint32_t close(ZipWriterHandle* handle);
};

}  // namespace vx
