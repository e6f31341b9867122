#include "packager/core/builder.h"

#include <cstdio>
#include <new>

#include "common/entry_name.h"
#include "common/file.h"
#include "common/file_size.h"
#include "common/package_description.h"
#include "common/random.h"
#include "common/system_error.h"
#include "packager/core/icon_file.h"
#include "packager/core/package_identity.h"
#include "packager/core/resource_update.h"
#include "zipwriter/zip_writer.h"

namespace vx {

std::string BuildOutcome::describe() const {
  if (succeeded) return resultText;
  std::string line = message;
  if (!path.empty() && message.find(path) == std::string::npos) line += " ('" + path + "')";
  if (!detail.empty()) line += ": " + detail;
  return line;
}

std::string BuildOutcome::messageText() const {
  if (succeeded) return resultText;
  std::string text = message;
  if (!path.empty() || !detail.empty()) text += "\n";
  if (!path.empty()) text += "\n" + path;
  if (!detail.empty()) text += "\n" + detail;
  return text;
}

std::string FormatResultText(const std::string& format, const std::string& sizeText) {
  std::string out;
  size_t pos = format.find("%s");
  if (pos == std::string::npos) return format;
  out = format.substr(0, pos) + sizeText + format.substr(pos + 2);
  return out;
}

std::string MainMovieName(const std::string& mainMoviePath) {
  return LastPathComponent(mainMoviePath);
}

namespace {

BuildOutcome Failure(std::string message, std::string path = std::string(),
                     std::string detail = std::string()) {
  BuildOutcome o;
  o.succeeded = false;
  o.message = std::move(message);
  o.path = std::move(path);
  o.detail = std::move(detail);
  return o;
}

// The reason the last failed file call gave (errno, or GetLastError on Windows).
// Callers clear it before the call, so that no older reason is reported.
std::string SystemErrorText() { return LastSystemErrorText(); }

// A resource updater's error without the file's path in front, when the failure shows
// that path on a line of its own already.
std::string WithoutPath(const std::string& error, const std::string& path) {
  const std::string prefix = path + ": ";
  return error.compare(0, prefix.size(), prefix) == 0 ? error.substr(prefix.size()) : error;
}

std::string CannotRead(const std::string& path) {
  return "The file '" + path + "' could not be opened for reading";
}

std::string CannotWrite(const std::string& path) {
  return "The file '" + path + "' could not be opened for writing";
}

// Reads a whole file into `bytes`. False with a reason when it cannot be opened or
// read, or when it changes length while being read.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& why) {
  File file;
  ClearLastSystemError();
  if (!file.open(path, File::Mode::Read)) {
    why = SystemErrorText();
    return false;
  }
  FileDescription d;
  if (!file.describe(d)) {
    why = "its size cannot be read";
    return false;
  }
  if (d.size > kMaxPackageContent) {
    why = "it is larger than a package can carry";
    return false;
  }
  try {
    bytes.assign(static_cast<size_t>(d.size), 0);
  } catch (const std::bad_alloc&) {
    why = "not enough memory";
    return false;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    long long n = file.read(bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      why = SystemErrorText();
      return false;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  if (done != bytes.size()) {
    why = "the file became shorter while it was read";
    return false;
  }
  return true;
}

// Checks one input before any work: it must be a readable regular file small enough
// for an archive entry. Adds its size to `total`.
bool CheckInput(const std::string& path, uint64_t& total, BuildOutcome& failure) {
  FileDescription d;
  if (path.empty() || !DescribePath(path, d) || (d.attributes & kAttrDirectory)) {
    failure = Failure(CannotRead(path));
    return false;
  }
  if (d.size > kMaxEntrySize) {
    failure = Failure("The file '" + path + "' is too large for a package (4 GB or more)");
    return false;
  }
  total += d.size;
  return true;
}

// Two entries of one name, compared as the player's file system compares them: once
// extracted, the second would replace the first (a second "package.ini" the package's
// description). The failure names the file and the one whose name it repeats.
bool CheckEntryNames(const std::vector<PackageRow>& entries, BuildOutcome& failure) {
  for (size_t i = 1; i < entries.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (!SameEntryName(entries[i].name, entries[j].name)) continue;
      const std::string taken = j == 0 ? "the package's description file " + entries[j].name
                                       : "'" + entries[j].path + "'";
      failure = Failure("The file '" + entries[i].path + "' has the same name as " + taken +
                        " (letter case does not count): every file of a package needs a name of its own");
      return false;
    }
  }
  return true;
}

// The archive being written; closed on every way out of the build.
struct ArchiveHandle {
  ZipWriterHandle* handle;
  ~ArchiveHandle() {
    if (handle) ZipWriter::close(handle);
  }
  uint32_t close() {
    ZipWriterHandle* h = handle;
    handle = nullptr;
    return ZipWriter::close(h);
  }
};

// The changes that give the package `icon` (when not empty) and `versionResource`
// (when not empty), worked out from the resources the stub copy at `path` has.
bool IdentityChanges(const std::string& path, const std::vector<IconImage>& icon,
                     const std::vector<uint8_t>& versionResource, std::vector<ResourceChange>& changes,
                     std::string& why) {
  std::vector<PeResource> existing;
  if (!ReadPeResources(path, existing, &why)) return false;
  if (!icon.empty()) {
    auto read = [&](const PeResource& r, std::vector<uint8_t>& bytes) {
      std::string ignored;
      return ReadPeResourceData(path, r, bytes, &ignored);
    };
    if (!PlanIconReplacement(existing, read, icon, kIconGroupId, kPackageLanguage, changes, why)) return false;
  }
  if (!versionResource.empty()) {
    std::vector<ResourceChange> version =
        PlanSoleResource(existing, ResourceId(kVersionType), ResourceId(kVersionId), kPackageLanguage, versionResource);
    changes.insert(changes.end(), version.begin(), version.end());
  }
  return true;
}

// A name beside `path` that no other build uses: path + ".tmp-" + 8 hex digits.
std::string TemporarySibling(const std::string& path) {
  return path + ".tmp-" + RandomHex(4);
}

}  // namespace

BuildOutcome BuildPackage(const BuildRequest& request, const BuildProgress& progress) {
  try {
    // Slideshow packages never carry a main movie, whatever the movie box still shows.
    const std::string mainMovie =
        request.packageType == PackageType::Slideshow ? std::string() : request.mainMovie;
    const std::string stubPath =
        request.stubPath.empty() ? InstallPath(request.installDir, kStubTail) : request.stubPath;
    const std::string flashPath = request.flashControlPath.empty()
                                      ? InstallPath(request.installDir, kFlashControlTail)
                                      : request.flashControlPath;
    if (request.outputPath.empty()) return Failure("No output file was given");
    if (TitleToUtf16(request.title).size() > kMaxTitleLength) {
      return Failure("The title is longer than " + std::to_string(kMaxTitleLength) + " characters");
    }

    // The archive's entries, in order: the description, the main movie, the rows from
    // the top. Each needs a name of its own.
    const std::string movieName = MainMovieName(mainMovie);
    std::vector<PackageRow> entries;
    entries.push_back({kDescriptionEntryName, kDescriptionEntryName});
    if (!mainMovie.empty()) entries.push_back({movieName, mainMovie});
    for (const PackageRow& row : request.rows) entries.push_back(row);

    // The package's own icon and version resource, when asked for: checked before any
    // work, so that a bad one leaves nothing behind.
    std::vector<IconImage> icon;
    std::string identityProblem;
    if (!request.iconPath.empty() && !ReadIconFile(request.iconPath, icon, identityProblem))
      return Failure("The icon '" + request.iconPath + "' cannot be used", std::string(), identityProblem);
    std::vector<uint8_t> versionResource;
    if (!request.versionInfo.empty()) {
      VersionResource version;
      if (!PackageVersionResource(request.versionInfo, LastPathComponent(request.outputPath), version,
                                  identityProblem))
        return Failure("The version information cannot be used", std::string(), identityProblem);
      if (!SerializeVersionResource(version, versionResource))
        return Failure("The version information cannot be used", std::string(), "it is too long");
    }

    BuildOutcome failure;
    if (!CheckEntryNames(entries, failure)) return failure;

    // Before any work: every input exists and the whole fits in a package.
    uint64_t total = 0;
    if (!mainMovie.empty() && !CheckInput(mainMovie, total, failure)) return failure;
    for (const PackageRow& row : request.rows)
      if (!CheckInput(row.path, total, failure)) return failure;
    if (request.autoInstallFlash && !CheckInput(flashPath, total, failure)) return failure;
    {
      File stub;
      ClearLastSystemError();
      if (!stub.open(stubPath, File::Mode::Read)) return Failure(kCopyStubFailedText, stubPath, SystemErrorText());
    }
    if (total > kMaxPackageContent) {
      return Failure("The files are too large for one package (" + std::to_string(total >> 20) +
                     " MB together; a package carries at most 1024 MB)");
    }

    // Steps 2 and 3: the work folder and the archive's path.
    const std::string workFolder = InstallPath(request.installDir, kWorkFolderTail);
    CreateFolders(workFolder);
    const std::string archivePath = InstallPath(request.installDir, kWorkArchiveTail);
    const std::string descriptionPath = InstallPath(request.installDir, kWorkDescriptionTail);
    const std::string workStubPath = InstallPath(request.installDir, kWorkStubTail);

    // Steps 4, 6 and 7: the description file. One that cannot be written stops the
    // build, so that an older description is never packaged.
    const std::string description = DescriptionText(request.fullScreen, movieName, request.packageType);
    ClearLastSystemError();
    if (WriteTextFile(descriptionPath, description) != 0)
      return Failure(CannotWrite(descriptionPath), std::string(), SystemErrorText());

    // Steps 5 and 8 to 11: the archive. Every writer result is looked at: a package
    // never silently lacks a file.
    entries[0].path = descriptionPath;
    ArchiveHandle zip{ZipWriter::create(archivePath, kPackagePassword, request.threads)};
    if (!zip.handle) return Failure(CannotWrite(archivePath));
    for (size_t i = 0; i < entries.size(); ++i) {
      if (progress) progress(i, entries.size(), entries[i].name);
      uint32_t result = ZipWriter::addFile(zip.handle, entries[i].name, entries[i].path);
      if (result != 0) {
        return Failure("Failed to add the file '" + entries[i].path + "' to the package archive",
                       std::string(), ZipResultText(result));
      }
    }
    uint32_t closed = zip.close();
    if (closed != 0)
      return Failure(CannotWrite(archivePath), std::string(), ZipResultText(closed));
    if (progress) progress(entries.size(), entries.size(), std::string());

    // Step 12: the archive, whole.
    std::vector<uint8_t> archive;
    std::string why;
    if (!ReadWholeFile(archivePath, archive, why))
      return Failure("Failed to read the package archive '" + archivePath + "'", std::string(), why);

    // Steps 13 to 16: the title's string block.
    std::vector<uint8_t> titleBlock;
    try {
      titleBlock = TitleStringBlock(request.title);
    } catch (const std::bad_alloc&) {
      return Failure(kNoMemoryText);
    }

    // Step 20 (read first, so that nothing is half done when it cannot be read).
    std::vector<uint8_t> flash;
    if (request.autoInstallFlash && !ReadWholeFile(flashPath, flash, why))
      return Failure("Failed to read the Flash control '" + flashPath + "'", std::string(), why);
    if (uint64_t(archive.size()) + flash.size() > kMaxPackageContent)
      return Failure("The package archive is too large for one package (a package carries at most 1 GB)");

    // Step 17: the stub copy. The stub could be read above, so a failure here is the
    // work copy's.
    ClearLastSystemError();
    if (!CopyFilePath(stubPath, workStubPath)) return Failure(kCopyStubFailedText, workStubPath, SystemErrorText());

    // Steps 18 to 22: the resources of the work copy. Any update or the commit that
    // fails stops the build; the discarded update leaves the copy as it was.
    ResourceUpdater updater;
    auto updateFailure = [&](const std::string& message) {
      return Failure(message, workStubPath, WithoutPath(updater.error(), workStubPath));
    };
    if (!updater.begin(workStubPath, false)) return updateFailure(kUpdateResourceFailedText);
    if (!updater.update(ResourceId(kArchiveResourceType), ResourceId(kArchiveResourceId),
                        kPackageLanguage, archive.data(), archive.size())) {
      BuildOutcome f = updateFailure(kPackageFlashFailedText);
      updater.end(true);
      return f;
    }
    std::vector<uint8_t>().swap(archive);
    if (request.autoInstallFlash) {
      if (!updater.update(ResourceId(kFlashResourceType), ResourceId(kFlashResourceId),
                          kPackageLanguage, flash.data(), flash.size())) {
        BuildOutcome f = updateFailure("Failed to add the Flash control '" + flashPath + "' to the package");
        updater.end(true);
        return f;
      }
      std::vector<uint8_t>().swap(flash);
    }
    if (!updater.update(ResourceId(kStringTableType), ResourceId(kTitleStringBlock),
                        kPackageLanguage, titleBlock.data(), titleBlock.size())) {
      BuildOutcome f = updateFailure(kUpdateResourceFailedText);
      updater.end(true);
      return f;
    }
    if (!icon.empty() || !versionResource.empty()) {
      std::vector<ResourceChange> changes;
      std::string e;
      if (!IdentityChanges(workStubPath, icon, versionResource, changes, e)) {
        updater.end(true);
        return Failure(kUpdateResourceFailedText, workStubPath, WithoutPath(e, workStubPath));
      }
      for (const ResourceChange& c : changes) {
        if (!updater.update(c.type, c.name, c.language, c.remove ? nullptr : c.data.data(),
                            c.remove ? 0 : c.data.size())) {
          BuildOutcome f = updateFailure(kUpdateResourceFailedText);
          updater.end(true);
          return f;
        }
      }
    }
    if (!updater.end(false)) return updateFailure(kUpdateResourceFailedText);

    // Step 24: the size of the finished package and the result text.
    BuildOutcome outcome;
    if (updater.signatureRemoved()) {
      outcome.notes.push_back("the player stub '" + stubPath +
                              "' is signed; its signature would not match the package and was left out: "
                              "sign the package itself");
    }
    outcome.sizeText = FormatFileSize(workStubPath);
    outcome.resultText = FormatResultText(kResultTextFormat, outcome.sizeText);

    // Step 25: the copy to the output path, written beside it and then moved over it,
    // so that a failure leaves an existing file there untouched.
    const std::string temporary = TemporarySibling(request.outputPath);
    ClearLastSystemError();
    bool moved = !request.keepWorkFiles && MoveFileReplace(workStubPath, temporary);
    if (!moved && !CopyFilePath(workStubPath, temporary)) {
      std::string e = SystemErrorText();
      DeleteFilePath(temporary);
      return Failure("Failed to copy the package to '" + request.outputPath + "'", std::string(), e);
    }
    ClearLastSystemError();
    if (!MoveFileReplace(temporary, request.outputPath)) {
      std::string e = SystemErrorText();
      DeleteFilePath(temporary);
      return Failure("Failed to copy the package to '" + request.outputPath + "'", std::string(), e);
    }
    outcome.succeeded = true;
    return outcome;
  } catch (const std::bad_alloc&) {
    return Failure(kNoMemoryText);
  } catch (const std::exception& e) {
    return Failure("The package could not be built", std::string(), e.what());
  }
}

}  // namespace vx
