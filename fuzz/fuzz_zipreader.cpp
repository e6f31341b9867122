// The ZIP reader on arbitrary bytes: open, set the password, extract every entry into a
// scratch folder. Archive errors are expected; what must never happen is a crash, a read
// or write outside a buffer, a leak, a name flagged as UTF-8 that is not valid UTF-8,
// or a file reported as written that is not there with its full size inside the
// scratch folder. Small archives are then extracted once
// more, one entry after another until the first exception and all entries at once on
// three threads: both must give the same reports, the same error and the same files.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/empty_folder.h"
#include "common/file.h"
#include "common/file_exception.h"
#include "common/utf.h"
#include "zipreader/zip_reader.h"

namespace {

// Entries larger than this are read through readEntry up to a limit instead of being
// written, so that a small input cannot fill the disk.
constexpr uint32_t kMaxWritten = 1u << 20;
constexpr size_t kMaxStreamed = 4u << 20;

const std::string& Scratch() {
  // Never destroyed: the exit handler below still needs it.
  static const std::string* const path = [] {
    auto* p = new std::string(vx::JoinPath(
        vx::TempFolder(), "vx_fuzz_zipreader_" + std::to_string(static_cast<long long>(getpid()))));
    vx::CreateFolders(*p);
    std::atexit([] {
      vx::EmptyFolder(Scratch());
      vx::RemoveFolder(Scratch());
    });
    return p;
  }();
  return *path;
}

// A name flagged as UTF-8 reaches the file system as valid UTF-8, whatever its bytes.
bool IsValidUtf8(const std::string& text) { return vx::Utf16ToUtf8(vx::Utf8ToUtf16(text)) == text; }

void ExtractOne(vx::ZipReader& reader, int index, const std::string& folder) {
  vx::ZipEntryInfo info;
  if (!reader.entryInfo(index, info)) std::abort();
  if ((info.flags & 0x0800) && !IsValidUtf8(info.name())) std::abort();
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

// What one way of extracting everything gave: the reports, the error and the files.
struct Outcome {
  std::vector<std::string> reports;
  int error = 0;  // CZipException cause, -1 a file exception
  std::map<std::string, long long> files;
  bool operator==(const Outcome& o) const {
    return reports == o.reports && error == o.error && files == o.files;
  }
};

void Collect(const std::string& folder, const std::string& prefix, Outcome& o) {
  vx::ForEachInFolder(folder, [&](const std::string& name, bool isFolder) {
    const std::string path = vx::JoinPath(folder, name);
    if (isFolder) {
      o.files[prefix + name + "/"] = -1;
      Collect(path, prefix + name + "/", o);
    } else {
      vx::FileDescription d;
      o.files[prefix + name] = vx::DescribePath(path, d) ? static_cast<long long>(d.size) : -2;
    }
  });
}

Outcome ExtractAll(vx::ZipSource& source, const std::string& folder, bool keepFolders, bool atOnce) {
  Outcome o;
  vx::CreateFolders(folder);
  auto report = [&](int i, const std::string& path, bool complete) {
    o.reports.push_back(std::to_string(i) + (path.empty() ? "" : path.substr(folder.size())) +
                        (complete ? "+" : "-"));
  };
  try {
    vx::ZipReader reader;
    reader.open(source);
    reader.setPassword("pw");
    std::vector<int> all;
    for (int i = 0; i < reader.entryCount(); ++i) all.push_back(i);
    if (atOnce) {
      if (!reader.extractEntries(all, folder, keepFolders, 65536, 3, report)) std::abort();
      if (reader.isEntryOpen()) std::abort();
    } else {
      for (int i : all) {
        const std::string path = reader.targetPath(i, folder, keepFolders);
        report(i, path, reader.extractEntry(i, folder, keepFolders, nullptr, 65536));
      }
    }
  } catch (const vx::CZipException& e) {
    o.error = e.m_iCause;
  } catch (const vx::FileException&) {
    o.error = -1;
  }
  Collect(folder, "", o);
  vx::EmptyFolder(folder);
  vx::RemoveFolder(folder);
  return o;
}

// Both ways on archives whose entries are all small: the same outcome.
void CompareWithOneAtATime(vx::ZipSource& source, const std::string& folder, bool keepFolders) {
  {
    vx::ZipReader reader;
    try {
      reader.open(source);
    } catch (const vx::CZipException&) {
      return;
    }
    if (reader.entryCount() > 64) return;
    for (int i = 0; i < reader.entryCount(); ++i) {
      vx::ZipEntryInfo info;
      reader.entryInfo(i, info);
      if (info.uncompressedSize > kMaxWritten) return;
    }
  }
  const Outcome one = ExtractAll(source, vx::JoinPath(folder, "one"), keepFolders, false);
  const Outcome all = ExtractAll(source, vx::JoinPath(folder, "all"), keepFolders, true);
  if (!(one == all)) std::abort();
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
  CompareWithOneAtATime(source, folder, size % 2 == 1);
  return 0;
}
