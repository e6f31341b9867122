// The resource update without Windows: our own PE rewriter.
#include "packager/core/resource_update.h"

#include <sys/stat.h>

#include "packager/core/pe_resource_rewriter.h"

namespace vx {

struct ResourceUpdater::Impl {
  PeResourceRewriter rewriter;
  std::string path;
};

ResourceUpdater::ResourceUpdater() : m_impl(new Impl) {}
ResourceUpdater::~ResourceUpdater() = default;

bool ResourceUpdater::begin(const std::string& exePath, bool deleteExistingResources) {
  m_impl->path = exePath;
  if (m_impl->rewriter.begin(exePath, deleteExistingResources)) return true;
  m_strError = m_impl->rewriter.error();
  return false;
}

bool ResourceUpdater::update(const ResourceId& type, const ResourceId& name, uint16_t language,
                             const void* data, size_t size) {
  if (m_impl->rewriter.update(type, name, language, data, size)) return true;
  m_strError = m_impl->rewriter.error();
  return false;
}

bool ResourceUpdater::end(bool discard) {
  // The rewritten file replaces the old one; it keeps the old one's permission bits.
  struct stat before;
  bool hadMode = !discard && stat(m_impl->path.c_str(), &before) == 0;
  if (!m_impl->rewriter.end(discard)) {
    m_strError = m_impl->rewriter.error();
    return false;
  }
  if (hadMode) chmod(m_impl->path.c_str(), before.st_mode & 07777);
  return true;
}

bool ResourceUpdater::signatureRemoved() const { return m_impl->rewriter.signatureRemoved(); }

}  // namespace vx
