// The resource update on Windows: the system's BeginUpdateResource, UpdateResource
// and EndUpdateResource, applied to a copy beside the file that replaces it only once
// EndUpdateResource has succeeded. Paths and resource names are UTF-8 and reach the
// system as UTF-16.
#include "packager/core/resource_update.h"

#include <windows.h>

#include <vector>

#include "common/file.h"
#include "common/random.h"
#include "common/system_error.h"
#include "common/win32_handles.h"
#include "common/win32_text.h"
#include "packager/core/pe_signature.h"

namespace vx {

namespace {

// The system's reason for the last failed call, as this updater's messages end with
// it: without a closing full stop.
std::string LastFailure() {
  std::string s = SystemErrorText(GetLastError());
  while (!s.empty() && (s.back() == ' ' || s.back() == '.')) s.pop_back();
  return s;
}

// An update begun with BeginUpdateResource, discarded unless it is ended first.
struct ResourceUpdateTraits {
  using Handle = HANDLE;
  static Handle invalid() { return nullptr; }
  static Handle also_invalid() { return nullptr; }
  static void close(Handle h) { EndUpdateResourceW(h, TRUE); }
};
using UniqueResourceUpdate = win::Unique<ResourceUpdateTraits>;

}  // namespace

struct ResourceUpdater::Impl {
  UniqueResourceUpdate update;
  std::string path;
  std::string temp;
  bool signedCopy = false;        // the file had a signature, which the copy left out
  bool signatureRemoved = false;  // ... and the update went through

  void drop() {
    update.reset();
    if (!temp.empty()) DeleteFilePath(temp);
    temp.clear();
  }
};

ResourceUpdater::ResourceUpdater() : m_impl(new Impl) {}
ResourceUpdater::~ResourceUpdater() { m_impl->drop(); }

bool ResourceUpdater::begin(const std::string& exePath, bool deleteExistingResources) {
  m_impl->drop();
  m_impl->path = exePath;
  m_impl->signedCopy = m_impl->signatureRemoved = false;
  // The system functions take a damaged file on trust; check it first so that it
  // gets a clear refusal.
  PeHeaders headers;
  std::vector<PeResource> existing;
  std::string why;
  if (!ReadPeImage(exePath, headers, existing, &why)) {
    m_strError = exePath + ": " + why;
    return false;
  }
  // A signature would no longer match the changed file, and the system functions
  // would leave it (or its directory entry) behind: the copy is made without it.
  m_impl->temp = exePath + ".vx-new-" + RandomHex(6);
  if (HasCertificateTable(headers)) {
    if (!CopyPeWithoutSignature(exePath, m_impl->temp, &why)) {
      m_strError = "cannot copy " + exePath + ": " + why;
      m_impl->temp.clear();
      return false;
    }
    m_impl->signedCopy = true;
  } else if (!CopyFilePath(exePath, m_impl->temp)) {
    m_strError = "cannot copy " + exePath + ": " + LastFailure();
    m_impl->temp.clear();
    return false;
  }
  m_impl->update.reset(
      BeginUpdateResourceW(win::PathW(m_impl->temp).c_str(), deleteExistingResources ? TRUE : FALSE));
  if (!m_impl->update) {
    m_strError = exePath + ": BeginUpdateResource failed: " + LastFailure();
    m_impl->drop();
    return false;
  }
  return true;
}

bool ResourceUpdater::update(const ResourceId& type, const ResourceId& name, uint16_t language,
                             const void* data, size_t size) {
  if (!m_impl->update) {
    m_strError = "no resource update in progress";
    return false;
  }
  if (!data && size) {
    m_strError = "resource " + type.toString() + "/" + name.toString() + ": no data";
    return false;
  }
  if (size > 0xFFFFFFFFu) {
    m_strError = "resource " + type.toString() + "/" + name.toString() + " is too large for an executable";
    return false;
  }
  const std::wstring typeName = type.isName() ? win::Wide(type.name()) : std::wstring();
  const std::wstring entryName = name.isName() ? win::Wide(name.name()) : std::wstring();
  LPCWSTR t = type.isName() ? typeName.c_str() : MAKEINTRESOURCEW(type.id());
  LPCWSTR n = name.isName() ? entryName.c_str() : MAKEINTRESOURCEW(name.id());
  if (!UpdateResourceW(m_impl->update.get(), t, n, language, const_cast<void*>(data),
                       static_cast<DWORD>(size))) {
    m_strError = "UpdateResource " + type.toString() + "/" + name.toString() + " failed: " + LastFailure();
    return false;
  }
  return true;
}

bool ResourceUpdater::end(bool discard) {
  if (!m_impl->update) {
    m_strError = "no resource update in progress";
    return false;
  }
  if (discard) {
    m_impl->drop();
    return true;
  }
  if (!EndUpdateResourceW(m_impl->update.release(), FALSE)) {
    m_strError = m_impl->path + ": EndUpdateResource failed: " + LastFailure();
    m_impl->drop();
    return false;
  }
  // EndUpdateResource may leave the old checksum in place (Wine's does): a non-zero
  // one is made right for the new file.
  std::string why;
  if (!RefreshPeChecksum(m_impl->temp, &why)) {
    m_strError = m_impl->path + ": " + why;
    m_impl->drop();
    return false;
  }
  if (!MoveFileReplace(m_impl->temp, m_impl->path)) {
    m_strError = "cannot replace " + m_impl->path + ": " + LastFailure();
    m_impl->drop();
    return false;
  }
  m_impl->temp.clear();
  m_impl->signatureRemoved = m_impl->signedCopy;
  return true;
}

bool ResourceUpdater::signatureRemoved() const { return m_impl->signatureRemoved; }

}  // namespace vx
