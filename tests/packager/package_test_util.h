// Helpers of the builder's tests: a scratch folder per test, files in and out, and a
// package taken apart again with our own PE and ZIP readers.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/empty_folder.h"
#include "common/file.h"
#include "common/package_contract.h"
#include "common/pe_resources.h"
#include "common/random.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/whole_file.h"
#include "zipreader/zip_reader.h"

namespace vx::test {

// A file the test expects: its content, or a failure naming it.
inline std::string ReadBytes(const std::string& path) { return ReadWholeFile<std::string>(path); }

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  ASSERT_NO_THROW(WriteWholeFile(path, bytes)) << path;
}

// Bytes that do not compress much, different for each seed.
inline std::string NoiseBytes(size_t size, uint32_t seed) {
  std::string out(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    out[i] = static_cast<char>(x >> 24);
  }
  return out;
}

struct ArchiveEntry {
  std::string name;
  std::string data;
  uint16_t method = 0;
  bool encrypted = false;
  bool crcMatched = false;
};

// Every entry of an archive held in memory, with its data.
inline std::vector<ArchiveEntry> ReadArchive(const std::string& archive, const char* password) {
  std::vector<ArchiveEntry> out;
  ZipMemoryFile source(archive.data(), archive.size());
  ZipReader reader;
  reader.open(source);
  reader.setPassword(password);
  for (int i = 0; i < reader.entryCount(); ++i) {
    ZipEntryInfo info;
    if (!reader.entryInfo(i, info)) break;
    ArchiveEntry e;
    e.name = info.name();
    e.method = info.method;
    e.encrypted = info.isEncrypted();
    if (reader.openEntry(i)) {
      char buf[65536];
      for (size_t n; (n = reader.readEntry(buf, sizeof buf)) > 0;) e.data.append(buf, n);
      e.crcMatched = reader.closeEntry() == 1;
    }
    out.push_back(e);
  }
  return out;
}

inline std::vector<std::string> Names(const std::vector<ArchiveEntry>& entries) {
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  return names;
}

// A built package taken apart.
struct PackageContent {
  std::vector<PeResource> resources;
  std::string archive;     // "ZIP" 129
  std::string titleBlock;  // string table block 1
  bool hasFlash = false;   // "OCX" 1091
  std::string flash;
  std::vector<ArchiveEntry> entries;
};

inline std::string ResourceBytes(const std::string& path, const PeResource& r) {
  std::vector<uint8_t> bytes;
  std::string error;
  EXPECT_TRUE(ReadPeResourceData(path, r, bytes, &error)) << error;
  return std::string(bytes.begin(), bytes.end());
}

inline PackageContent ReadPackage(const std::string& path) {
  PackageContent p;
  std::string error;
  EXPECT_TRUE(ReadPeResources(path, p.resources, &error)) << error;
  for (const PeResource& r : p.resources) {
    if (r.language != kPackageLanguage) continue;
    if (r.type == ResourceId(kArchiveResourceType) && r.name == ResourceId(kArchiveResourceId))
      p.archive = ResourceBytes(path, r);
    if (r.type == ResourceId(kStringTableType) && r.name == ResourceId(kTitleStringBlock))
      p.titleBlock = ResourceBytes(path, r);
    if (r.type == ResourceId(kFlashResourceType) && r.name == ResourceId(kFlashResourceId)) {
      p.hasFlash = true;
      p.flash = ResourceBytes(path, r);
    }
  }
  if (!p.archive.empty()) p.entries = ReadArchive(p.archive, kPackagePassword);
  return p;
}

// How many resources of (type, name) in any language.
inline int CountResources(const std::vector<PeResource>& all, const ResourceId& type,
                          const ResourceId& name) {
  int n = 0;
  for (const PeResource& r : all) n += (r.type == type && r.name == name) ? 1 : 0;
  return n;
}

}  // namespace vx::test
