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

std::string MainMovieName(const std::string& mainMoviePath) { return LastPathComponent(mainMoviePath); }

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
    why = LastSystemErrorText();
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
  const long long got = file.readFully(bytes.data(), bytes.size());
  if (got < 0) {
    why = LastSystemErrorText();
    return false;
  }
  if (static_cast<size_t>(got) != bytes.size()) {
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
      const std::string taken =
          j == 0 ? "the package's description file " + entries[j].name : "'" + entries[j].path + "'";
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
    if (!PlanIconReplacement(existing, read, icon, kIconGroupId, kPackageLanguage, changes, why))
      return false;
  }
  if (!versionResource.empty()) {
    std::vector<ResourceChange> version = PlanSoleResource(
        existing, ResourceId(kVersionType), ResourceId(kVersionId), kPackageLanguage, versionResource);
    changes.insert(changes.end(), version.begin(), version.end());
  }
  return true;
}

// Whether `path` lies inside `folder`, both taken as absolute paths whose letters the
// platform's file system may fold.
bool IsInsideFolder(const std::string& path, const std::string& folder) {
  auto key = [](const std::string& p) {
    std::string k = AbsolutePath(p);
    FoldPathLetters(k);
    for (char& c : k)
      if (c == '\\') c = '/';
    while (k.size() > 1 && k.back() == '/') k.pop_back();
    return k;
  };
  const std::string p = key(path), f = key(folder);
  return p.size() > f.size() + 1 && p.compare(0, f.size(), f) == 0 && p[f.size()] == '/';
}

// A name beside `path` that no other build uses: path + ".tmp-" + 8 hex digits.
std::string TemporarySibling(const std::string& path) { return path + ".tmp-" + RandomHex(4); }

// What the build works with, worked out from the request before any work.
struct BuildPlan {
  std::string mainMovie;  // empty for a slideshow, whatever the movie box still shows
  std::string movieName;
  std::string stubPath;
  std::string flashPath;
  // The archive's entries, in order: the description, the main movie, the rows from
  // the top.
  std::vector<PackageRow> entries;
  std::vector<IconImage> icon;           // empty: the stub's own icon stays
  std::vector<uint8_t> versionResource;  // empty: the stub's own version resource stays
  std::string archivePath;
  std::string descriptionPath;
  std::string workStubPath;
};

// The package's own icon and version resource, when asked for: checked before any
// work, so that a bad one leaves nothing behind.
bool ReadIdentity(const BuildRequest& request, BuildPlan& plan, BuildOutcome& failure) {
  std::string problem;
  if (!request.iconPath.empty() && !ReadIconFile(request.iconPath, plan.icon, problem)) {
    failure = Failure("The icon '" + request.iconPath + "' cannot be used", std::string(), problem);
    return false;
  }
  if (request.versionInfo.empty()) return true;
  VersionResource version;
  if (!PackageVersionResource(request.versionInfo, LastPathComponent(request.outputPath), version, problem)) {
    failure = Failure("The version information cannot be used", std::string(), problem);
    return false;
  }
  if (!SerializeVersionResource(version, plan.versionResource)) {
    failure = Failure("The version information cannot be used", std::string(), "it is too long");
    return false;
  }
  return true;
}

// Every input exists, the stub can be opened and the whole fits in a package.
bool CheckInputs(const BuildRequest& request, const BuildPlan& plan, BuildOutcome& failure) {
  uint64_t total = 0;
  if (!plan.mainMovie.empty() && !CheckInput(plan.mainMovie, total, failure)) return false;
  for (const PackageRow& row : request.rows)
    if (!CheckInput(row.path, total, failure)) return false;
  if (request.autoInstallFlash && !CheckInput(plan.flashPath, total, failure)) return false;
  {
    File stub;
    ClearLastSystemError();
    if (!stub.open(plan.stubPath, File::Mode::Read)) {
      failure = Failure(kCopyStubFailedText, plan.stubPath, LastSystemErrorText());
      return false;
    }
  }
  if (total > kMaxPackageContent) {
    failure = Failure("The files are too large for one package (" + std::to_string(total >> 20) +
                      " MB together; a package carries at most 1024 MB)");
    return false;
  }
  return true;
}

// Works out the plan and checks everything that can be checked before any work.
bool PlanBuild(const BuildRequest& request, BuildPlan& plan, BuildOutcome& failure) {
  plan.mainMovie = request.packageType == PackageType::Slideshow ? std::string() : request.mainMovie;
  plan.stubPath = request.stubPath.empty() ? InstallPath(request.installDir, kStubTail) : request.stubPath;
  plan.flashPath = request.flashControlPath.empty() ? InstallPath(request.installDir, kFlashControlTail)
                                                    : request.flashControlPath;
  if (request.outputPath.empty()) {
    failure = Failure("No output file was given");
    return false;
  }
  // The work folder is emptied when the packager ends: a package saved there would be
  // lost without a word.
  const std::string workFolder = InstallPath(request.installDir, kWorkFolderTail);
  if (!request.installDir.empty() && IsInsideFolder(request.outputPath, workFolder)) {
    failure = Failure("The package cannot be saved in the packager's work folder '" + workFolder +
                      "', which is emptied when the packager closes: please choose another folder");
    return false;
  }
  if (TitleToUtf16(request.title).size() > kMaxTitleLength) {
    failure = Failure("The title is longer than " + std::to_string(kMaxTitleLength) + " characters");
    return false;
  }
  plan.movieName = MainMovieName(plan.mainMovie);
  plan.entries.push_back({kDescriptionEntryName, kDescriptionEntryName});
  if (!plan.mainMovie.empty()) plan.entries.push_back({plan.movieName, plan.mainMovie});
  for (const PackageRow& row : request.rows) plan.entries.push_back(row);
  if (!ReadIdentity(request, plan, failure) || !CheckEntryNames(plan.entries, failure) ||
      !CheckInputs(request, plan, failure))
    return false;
  plan.archivePath = InstallPath(request.installDir, kWorkArchiveTail);
  plan.descriptionPath = InstallPath(request.installDir, kWorkDescriptionTail);
  plan.workStubPath = InstallPath(request.installDir, kWorkStubTail);
  return true;
}

// Writes the description file and the archive into the work folder. A description
// that cannot be written stops the build, so that an older one is never packaged; and
// every writer result is looked at, so that a package never silently lacks a file.
bool WriteArchive(const BuildRequest& request, BuildPlan& plan, const BuildProgress& progress,
                  BuildOutcome& failure) {
  CreateFolders(InstallPath(request.installDir, kWorkFolderTail));
  const std::string description = DescriptionText(request.fullScreen, plan.movieName, request.packageType);
  ClearLastSystemError();
  if (WriteDescriptionFile(plan.descriptionPath, description) != 0) {
    failure = Failure(CannotWrite(plan.descriptionPath), std::string(), LastSystemErrorText());
    return false;
  }
  std::vector<PackageRow>& entries = plan.entries;
  entries[0].path = plan.descriptionPath;
  ArchiveHandle zip{ZipWriter::create(plan.archivePath, kPackagePassword, request.threads)};
  if (!zip.handle) {
    failure = Failure(CannotWrite(plan.archivePath));
    return false;
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    if (progress) progress(i, entries.size(), entries[i].name);
    uint32_t result = ZipWriter::addFile(zip.handle, entries[i].name, entries[i].path);
    if (result != 0) {
      failure = Failure("Failed to add the file '" + entries[i].path + "' to the package archive",
                        std::string(), ZipResultText(result));
      return false;
    }
  }
  uint32_t closed = zip.close();
  if (closed != 0) {
    failure = Failure(CannotWrite(plan.archivePath), std::string(), ZipResultText(closed));
    return false;
  }
  if (progress) progress(entries.size(), entries.size(), std::string());
  return true;
}

// The bytes of the resources the package carries.
struct PackageResources {
  std::vector<uint8_t> archive;
  std::vector<uint8_t> titleBlock;
  std::vector<uint8_t> flash;
};

// Reads the archive whole, makes the title's string block and reads the Flash control,
// all before the stub is copied, so that nothing is half done when one cannot be read.
bool ReadResources(const BuildRequest& request, const BuildPlan& plan, PackageResources& out,
                   BuildOutcome& failure) {
  std::string why;
  if (!ReadWholeFile(plan.archivePath, out.archive, why)) {
    failure = Failure("Failed to read the package archive '" + plan.archivePath + "'", std::string(), why);
    return false;
  }
  try {
    out.titleBlock = TitleStringBlock(request.title);
  } catch (const std::bad_alloc&) {
    failure = Failure(kNoMemoryText);
    return false;
  }
  if (request.autoInstallFlash && !ReadWholeFile(plan.flashPath, out.flash, why)) {
    failure = Failure("Failed to read the Flash control '" + plan.flashPath + "'", std::string(), why);
    return false;
  }
  if (uint64_t(out.archive.size()) + out.flash.size() > kMaxPackageContent) {
    failure = Failure("The package archive is too large for one package (a package carries at most 1 GB)");
    return false;
  }
  return true;
}

// Copies the stub to the work folder and gives the copy the package's resources: the
// archive, the Flash control when asked for, the title and the package's own icon and
// version. Any update or the commit that fails stops the build; the discarded update
// leaves the copy as it was. The stub could be opened before, so a failed copy is the
// work copy's.
bool UpdateStubCopy(const BuildRequest& request, const BuildPlan& plan, PackageResources& resources,
                    bool& signatureRemoved, BuildOutcome& failure) {
  const std::string& workStub = plan.workStubPath;
  ClearLastSystemError();
  if (!CopyFilePath(plan.stubPath, workStub)) {
    failure = Failure(kCopyStubFailedText, workStub, LastSystemErrorText());
    return false;
  }
  ResourceUpdater updater;
  if (!updater.begin(workStub, false)) {
    failure = Failure(kUpdateResourceFailedText, workStub, WithoutPath(updater.error(), workStub));
    return false;
  }
  // Adds one resource; on failure the update is abandoned with `message`.
  auto put = [&](const ResourceId& type, const ResourceId& name, const void* data, size_t size,
                 const std::string& message) {
    if (updater.update(type, name, kPackageLanguage, data, size)) return true;
    failure = Failure(message, workStub, WithoutPath(updater.error(), workStub));
    updater.end(true);
    return false;
  };
  if (!put(kArchiveResourceType, kArchiveResourceId, resources.archive.data(), resources.archive.size(),
           kPackageFlashFailedText))
    return false;
  std::vector<uint8_t>().swap(resources.archive);
  if (request.autoInstallFlash) {
    if (!put(kFlashResourceType, kFlashResourceId, resources.flash.data(), resources.flash.size(),
             "Failed to add the Flash control '" + plan.flashPath + "' to the package"))
      return false;
    std::vector<uint8_t>().swap(resources.flash);
  }
  if (!put(kStringTableType, kTitleStringBlock, resources.titleBlock.data(), resources.titleBlock.size(),
           kUpdateResourceFailedText))
    return false;
  if (!plan.icon.empty() || !plan.versionResource.empty()) {
    std::vector<ResourceChange> changes;
    std::string e;
    if (!IdentityChanges(workStub, plan.icon, plan.versionResource, changes, e)) {
      updater.end(true);
      failure = Failure(kUpdateResourceFailedText, workStub, WithoutPath(e, workStub));
      return false;
    }
    for (const ResourceChange& c : changes) {
      if (!updater.update(c.type, c.name, c.language, c.remove ? nullptr : c.data.data(),
                          c.remove ? 0 : c.data.size())) {
        failure = Failure(kUpdateResourceFailedText, workStub, WithoutPath(updater.error(), workStub));
        updater.end(true);
        return false;
      }
    }
  }
  if (!updater.end(false)) {
    failure = Failure(kUpdateResourceFailedText, workStub, WithoutPath(updater.error(), workStub));
    return false;
  }
  signatureRemoved = updater.signatureRemoved();
  return true;
}

// Puts the finished package at the output path: written beside it and then moved
// over it, so that a failure leaves an existing file there untouched.
bool DeliverPackage(const BuildRequest& request, const std::string& workStubPath, BuildOutcome& failure) {
  const std::string temporary = TemporarySibling(request.outputPath);
  ClearLastSystemError();
  bool moved = !request.keepWorkFiles && MoveFileReplace(workStubPath, temporary);
  bool ok = moved || CopyFilePath(workStubPath, temporary);
  if (ok) {
    ClearLastSystemError();
    ok = MoveFileReplace(temporary, request.outputPath);
  }
  if (!ok) {
    std::string e = LastSystemErrorText();
    DeleteFilePath(temporary);
    failure = Failure("Failed to copy the package to '" + request.outputPath + "'", std::string(), e);
  }
  return ok;
}

}  // namespace

BuildOutcome BuildPackage(const BuildRequest& request, const BuildProgress& progress) {
  try {
    BuildPlan plan;
    PackageResources resources;
    bool signatureRemoved = false;
    BuildOutcome failure;
    if (!PlanBuild(request, plan, failure) || !WriteArchive(request, plan, progress, failure) ||
        !ReadResources(request, plan, resources, failure) ||
        !UpdateStubCopy(request, plan, resources, signatureRemoved, failure))
      return failure;

    // The size of the finished package and the result text, taken from the work copy.
    BuildOutcome outcome;
    if (signatureRemoved) {
      outcome.notes.push_back("the player stub '" + plan.stubPath +
                              "' is signed; its signature would not match the package and was left out: "
                              "sign the package itself");
    }
    outcome.sizeText = FormatFileSize(plan.workStubPath);
    outcome.resultText = FormatResultText(kResultTextFormat, outcome.sizeText);
    if (!DeliverPackage(request, plan.workStubPath, failure)) return failure;
    outcome.succeeded = true;
    return outcome;
  } catch (const std::bad_alloc&) {
    return Failure(kNoMemoryText);
  } catch (const std::exception& e) {
    return Failure("The package could not be built", std::string(), e.what());
  }
}

}  // namespace vx
