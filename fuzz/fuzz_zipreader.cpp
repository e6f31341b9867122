// The ZIP reader on arbitrary bytes: open, set the password, extract every entry into a
// scratch folder. Archive errors are expected; what must never happen is a crash, a read
// or write outside a buffer, a leak, or a file reported as written that is not there
// with its full size inside the scratch folder.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/empty_folder.h"
#include "common/file.h"
#include "common/file_exception.h"
#include "zipreader/zip_reader.h"

namespace {

// Entries larger than this are read through readEntry up to a limit instead of being
// written, so that a small input cannot fill the disk.
constexpr uint32_t kMaxWritten = 1u << 20;
constexpr size_t kMaxStreamed = 4u << 20;

const std::string& Scratch() {
  // Never destroyed: the exit handler below still needs it.
  static const std::string* const path = [] {
    auto* p = new std::string(
        vx::JoinPath(vx::TempFolder(), "vx_fuzz_zipreader_" + std::to_string(static_cast<long long>(getpid()))));
    vx::CreateFolders(*p);
    std::atexit([] {
      vx::EmptyFolder(Scratch());
      vx::RemoveFolder(Scratch());
    });
    return p;
  }();
  return *path;
}

void ExtractOne(vx::ZipReader& reader, int index, const std::string& folder) {
  vx::ZipEntryInfo info;
  if (!reader.entryInfo(index, info)) std::abort();
  if (info.uncompressedSize > kMaxWritten) {
    if (!reader.openEntry(index)) return;
    static uint8_t buf[65536];
    size_t total = 0;
    while (total < kMaxStreamed) {
      size_t n = reader.readEntry(buf, sizeof buf);
      if (n > sizeof buf) std::abort();
      total += n;
      if (n < sizeof buf) break;
    }
    reader.closeEntry();
    return;
  }
  const std::string target = reader.targetPath(index, folder, index % 2 == 1);
  if (!target.empty() && target.compare(0, folder.size() + 1, folder + vx::kPathSeparator) != 0) std::abort();
  if (reader.extractEntry(index, folder, index % 2 == 1, nullptr, 65536) && !info.isDirectory()) {
    vx::FileDescription d;
    if (target.empty() || !vx::DescribePath(target, d) || d.size != info.uncompressedSize) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& folder = Scratch();
  vx::EmptyFolder(folder);
  vx::ZipMemoryFile source(data, size);
  vx::ZipReader reader;
  try {
    reader.open(source);
  } catch (const vx::CZipException&) {
    return 0;
  }
  reader.setPassword("pw");
  for (int i = 0; i < reader.entryCount(); ++i) {
    try {
      ExtractOne(reader, i, folder);
    } catch (const vx::CZipException& e) {
      if (e.message().empty()) std::abort();
    } catch (const vx::FileException&) {
    }
    if (reader.isEntryOpen()) {
      // An exception left the entry open: start over with a fresh directory.
      try {
        reader.close();
      } catch (const vx::CZipException&) {
      }
      try {
        reader.open(source);
      } catch (const vx::CZipException&) {
        return 0;
      }
      reader.setPassword("pw");
    }
  }
  try {
    reader.close();
  } catch (const vx::CZipException&) {
  }
  vx::EmptyFolder(folder);
  return 0;
}
