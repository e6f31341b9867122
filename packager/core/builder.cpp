#include "packager/core/builder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "common/file.h"
#include "common/file_size.h"
#include "common/package_description.h"
#include "common/random.h"
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

// The reason the last failed file call gave, when the platform layer left one in errno
// (callers clear errno before the call, so that no older reason is reported).
std::string SystemErrorText() {
  int e = errno;
  return e ? std::strerror(e) : std::string();
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
  errno = 0;
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

    // Before any work: every input exists and the whole fits in a package.
    BuildOutcome failure;
    uint64_t total = 0;
    if (!mainMovie.empty() && !CheckInput(mainMovie, total, failure)) return failure;
    for (const PackageRow& row : request.rows)
      if (!CheckInput(row.path, total, failure)) return failure;
    if (request.autoInstallFlash && !CheckInput(flashPath, total, failure)) return failure;
    if (!PathExists(stubPath)) return Failure("Failed to copying file to temp folder", stubPath,
                                              "the player stub does not exist");
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
    const std::string movieName = MainMovieName(mainMovie);
    const std::string description = DescriptionText(request.fullScreen, movieName, request.packageType);
    errno = 0;
    if (WriteTextFile(descriptionPath, description) != 0)
      return Failure(CannotWrite(descriptionPath), std::string(), SystemErrorText());

    // Steps 5 and 8 to 11: the archive, entries in order: the description, the main
    // movie, the rows from the top. Every writer result is looked at: a package never
    // silently lacks a file.
    std::vector<PackageRow> entries;
    entries.push_back({kDescriptionEntryName, descriptionPath});
    if (!mainMovie.empty()) entries.push_back({movieName, mainMovie});
    for (const PackageRow& row : request.rows) entries.push_back(row);

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
      return Failure("Failed to locate memory");
    }

    // Step 20 (read first, so that nothing is half done when it cannot be read).
    std::vector<uint8_t> flash;
    if (request.autoInstallFlash && !ReadWholeFile(flashPath, flash, why))
      return Failure("Failed to read the Flash control '" + flashPath + "'", std::string(), why);
    if (uint64_t(archive.size()) + flash.size() > kMaxPackageContent)
      return Failure("The package archive is too large for one package (a package carries at most 1 GB)");

    // Step 17: the stub copy.
    errno = 0;
    if (!CopyFilePath(stubPath, workStubPath))
      return Failure("Failed to copying file to temp folder", stubPath, SystemErrorText());

    // Steps 18 to 22: the resources. Any update or the commit that fails stops the
    // build; the discarded update leaves the copy as it was.
    ResourceUpdater updater;
    if (!updater.begin(workStubPath, false))
      return Failure("Failed to UpdateResource", stubPath, updater.error());
    if (!updater.update(ResourceId(kArchiveResourceType), ResourceId(kArchiveResourceId),
                        kPackageLanguage, archive.data(), archive.size())) {
      std::string e = updater.error();
      updater.end(true);
      return Failure("Failed to package Flash", workStubPath, e);
    }
    std::vector<uint8_t>().swap(archive);
    if (request.autoInstallFlash) {
      if (!updater.update(ResourceId(kFlashResourceType), ResourceId(kFlashResourceId),
                          kPackageLanguage, flash.data(), flash.size())) {
        std::string e = updater.error();
        updater.end(true);
        return Failure("Failed to add the Flash control '" + flashPath + "' to the package",
                       workStubPath, e);
      }
      std::vector<uint8_t>().swap(flash);
    }
    if (!updater.update(ResourceId(kStringTableType), ResourceId(kTitleStringBlock),
                        kPackageLanguage, titleBlock.data(), titleBlock.size())) {
      std::string e = updater.error();
      updater.end(true);
      return Failure("Failed to UpdateResource", workStubPath, e);
    }
    if (!updater.end(false))
      return Failure("Failed to UpdateResource", workStubPath, updater.error());

    // Step 24: the size of the finished package and the result text.
    BuildOutcome outcome;
    outcome.sizeText = FormatFileSize(workStubPath);
    outcome.resultText = FormatResultText(kResultTextFormat, outcome.sizeText);

    // Step 25: the copy to the output path, written beside it and then moved over it,
    // so that a failure leaves an existing file there untouched.
    const std::string temporary = TemporarySibling(request.outputPath);
    errno = 0;
    bool moved = !request.keepWorkFiles && MoveFileReplace(workStubPath, temporary);
    if (!moved && !CopyFilePath(workStubPath, temporary)) {
      std::string e = SystemErrorText();
      DeleteFilePath(temporary);
      return Failure("Failed to copy the package to '" + request.outputPath + "'", std::string(), e);
    }
    errno = 0;
    if (!MoveFileReplace(temporary, request.outputPath)) {
      std::string e = SystemErrorText();
      DeleteFilePath(temporary);
      return Failure("Failed to copy the package to '" + request.outputPath + "'", std::string(), e);
    }
    outcome.succeeded = true;
    return outcome;
  } catch (const std::bad_alloc&) {
    return Failure("Failed to locate memory");
  } catch (const std::exception& e) {
    return Failure("The package could not be built", std::string(), e.what());
  }
}

}  // namespace vx
