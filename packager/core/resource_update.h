// Replacing resources of a Windows executable, with the semantics of
// BeginUpdateResourceA / UpdateResourceA / EndUpdateResourceA: begin() on a file,
// any number of update() calls, then end(false) to write the changes or end(true) to
// drop them. On Windows the system's functions do the work; elsewhere our own PE
// rewriter does (PeResourceRewriter).
//
// Either way the file is touched only by a successful end(false): the new file is
// written beside it and renamed over it, so a failure leaves it as it was. And either
// way the result carries no code signature (one the file had would no longer match:
// it is removed) and a non-zero checksum field is correct for the new file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/pe_resources.h"

namespace vx {

class ResourceUpdater {
 public:
  ResourceUpdater();
  ~ResourceUpdater();  // an update that was not ended is discarded
  ResourceUpdater(const ResourceUpdater&) = delete;
  ResourceUpdater& operator=(const ResourceUpdater&) = delete;

  bool begin(const std::string& exePath, bool deleteExistingResources);
  // Replaces or adds the entry (type, name, language) with a copy of the bytes; null
  // data with size 0 deletes the entry.
  bool update(const ResourceId& type, const ResourceId& name, uint16_t language, const void* data,
              size_t size);
  bool end(bool discard);
  // One clear line describing the last failure.
  const std::string& error() const { return m_strError; }
  // True after an end(false) that removed the file's code signature.
  bool signatureRemoved() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
  std::string m_strError;
};

}  // namespace vx
