// Replacing the resources of a Windows executable without Windows, with the semantics
// of BeginUpdateResourceA / UpdateResourceA / EndUpdateResourceA.
//
// begin() reads and checks the headers and the resource directory; update() records
// one change, keeping new bytes in a scratch file beside the executable rather than
// in memory (small ones, up to kSmallResource, in memory); end(false) writes the whole new file beside the
// old one and renames it over only when everything has been written. Every resource that is not changed keeps
// its bytes; the resource section is rebuilt in place when it is the last section of
// the file, and otherwise as a new last section (the old one is left as dead space).
// Data appended after the last section stays, moved behind the new section, and a
// non-zero PE checksum is recomputed. A code signature cannot survive the change: the
// certificate table is left out and its directory entry cleared (signatureRemoved()
// tells the caller, who should say so).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/file.h"
#include "common/pe_resources.h"

namespace vx {

// The largest single resource accepted: the image must still fit a 32-bit address
// space with room to spare.
inline constexpr uint64_t kMaxPeResourceSize = 0x40000000;  // 1 GiB

class PeResourceRewriter {
 public:
  PeResourceRewriter();
  ~PeResourceRewriter();  // an update that was not ended is discarded
  PeResourceRewriter(const PeResourceRewriter&) = delete;
  PeResourceRewriter& operator=(const PeResourceRewriter&) = delete;

  bool begin(const std::string& exePath, bool deleteExistingResources);
  // Replaces or adds (type, name, language); null data with size 0 deletes the entry.
  bool update(const ResourceId& type, const ResourceId& name, uint16_t language, const void* data,
              size_t size);
  bool end(bool discard);
  const std::string& error() const { return m_strError; }
  // True after an end(false) that dropped the executable's certificate table.
  bool signatureRemoved() const { return m_bSignatureRemoved; }

 private:
  enum class Source : uint8_t { Original, Scratch, Memory };
  struct Entry {
    ResourceId type;
    ResourceId name;
    uint16_t language;
    uint32_t codePage;
    Source source;    // where the bytes are: the original executable, the scratch
    uint64_t offset;  // file or m_small, at this offset
    uint32_t size;
  };
  // New resources of at most this size stay in memory: a scratch-file write and seek
  // each would cost more than the bytes.
  static constexpr size_t kSmallResource = 64 * 1024;

  struct Tree;
  struct Layout;
  struct Placement;

  bool fail(const std::string& text);
  void reset();
  // Writes the updated executable to tempPath, in the phases below.
  bool writeNewFile(const std::string& tempPath);
  Tree groupEntries() const;
  Layout layOut(const Tree& tree) const;
  bool placeSection(const Layout& layout, Placement& place);
  std::string noRoomForSectionText() const;
  bool readHeaders(File& original, std::vector<uint8_t>& head);
  bool patchHeaders(const Layout& layout, const Placement& place, std::vector<uint8_t>& head);
  std::vector<uint8_t> serialiseDirectory(const Tree& tree, const Layout& layout, uint64_t sectionRva) const;
  bool writeFile(const std::string& tempPath, File& original, const Tree& tree, const Layout& layout,
                 const Placement& place, const std::vector<uint8_t>& head,
                 const std::vector<uint8_t>& directory);

  bool m_bActive = false;
  bool m_bSignatureRemoved = false;
  std::string m_strPath;
  std::string m_strError;
  PeHeaders m_headers;
  std::vector<Entry> m_entries;
  std::string m_strScratchPath;
  File m_scratch;
  uint64_t m_nScratchSize = 0;
  std::vector<uint8_t> m_small;
};

}  // namespace vx
