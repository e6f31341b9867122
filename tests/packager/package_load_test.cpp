// Windows itself reads a built package: the loader's resource lookup (FindResourceA,
// LoadResource, LoadStringW) sees the archive, the title and nothing of the Flash
// control unless asked, and the stub's own resources unchanged. And the package the
// Windows update functions made has the same resource tree, entry for entry, as the
// one our own rewriter makes from the same stub and the same data.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/package_description.h"
#include "common/win32_handles.h"
#include "common/win32_text.h"
#include "package_test_util.h"
#include "packager/core/builder.h"
#include "packager/core/pe_resource_rewriter.h"
#include "tests/support/build_tree.h"

namespace vx::test {
namespace {

const std::string kStub = BuildTreePath(VX_TEST_STUB);

// A module loaded as data, for the resource functions only.
class DataModule {
 public:
  explicit DataModule(const std::string& path)
      : m_module(LoadLibraryExW(vx::win::Wide(path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
  HMODULE get() const { return m_module.get(); }

  // The bytes of a resource in the language the loader picks, or "<absent>".
  std::string bytes(LPCSTR type, LPCSTR name) const {
    HRSRC r = FindResourceA(get(), name, type);
    if (!r) return "<absent>";
    HGLOBAL g = LoadResource(get(), r);
    const char* p = g ? static_cast<const char*>(LockResource(g)) : nullptr;
    if (!p) return "<unloadable>";
    return std::string(p, SizeofResource(get(), r));
  }

 private:
  win::UniqueModule m_module;
};

class PackageOnWindows : public ::testing::Test {
 protected:
  PackageOnWindows() : m_dir("package_load") {}
  void SetUp() override {
    CreateFolders(m_dir / "install");
    WriteBytes(m_dir / "intro.swf", "FWS\x08" + NoiseBytes(4000, 11));
    WriteBytes(m_dir / "song.mp3", NoiseBytes(30000, 12));
    m_request.installDir = m_dir / "install";
    m_request.stubPath = kStub;
    m_request.mainMovie = m_dir / "intro.swf";
    m_request.rows = {{"song.mp3", m_dir / "song.mp3"}};
    m_request.title = "Windows show";
    m_request.outputPath = m_dir / "show.exe";
  }
  ScratchFolder m_dir;
  BuildRequest m_request;
};

TEST_F(PackageOnWindows, LoaderSeesArchiveTitleAndUnchangedStubResources) {
  BuildOutcome o = BuildPackage(m_request);
  ASSERT_TRUE(o.succeeded) << o.describe();

  DataModule package(m_request.outputPath);
  DataModule stub(kStub);
  ASSERT_TRUE(package.get() != nullptr) << GetLastError();
  ASSERT_TRUE(stub.get() != nullptr);

  std::string archive = package.bytes("ZIP", MAKEINTRESOURCEA(129));
  EXPECT_EQ(archive, ReadBytes(InstallPath(m_request.installDir, kWorkArchiveTail)));
  EXPECT_EQ(Names(ReadArchive(archive, kPackagePassword)),
            (std::vector<std::string>{"package.ini", "intro.swf", "song.mp3"}));

  wchar_t title[64] = {0};
  int n = LoadStringW(package.get(), 1, title, 64);
  EXPECT_EQ(std::wstring(title, n), L"Windows show");
  EXPECT_EQ(LoadStringW(stub.get(), 1, title, 64), 8);  // "Vellumix"

  EXPECT_EQ(package.bytes("OCX", MAKEINTRESOURCEA(1091)), "<absent>");
  for (LPCSTR type : {MAKEINTRESOURCEA(3), MAKEINTRESOURCEA(14), MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(16)}) {
    LPCSTR name = type == MAKEINTRESOURCEA(14)  ? MAKEINTRESOURCEA(128)
                  : type == MAKEINTRESOURCEA(5) ? MAKEINTRESOURCEA(100)
                                                : MAKEINTRESOURCEA(1);
    std::string want = stub.bytes(type, name);
    EXPECT_NE(want, "<absent>");
    EXPECT_EQ(package.bytes(type, name), want) << reinterpret_cast<uintptr_t>(type);
  }
}

TEST_F(PackageOnWindows, FlashControlAndEmptyTitleAreSeenByTheLoader) {
  m_request.autoInstallFlash = true;
  m_request.flashControlPath = m_dir / "Flash8.ocx";
  std::string ocx = "MZ" + NoiseBytes(25000, 13);
  WriteBytes(m_request.flashControlPath, ocx);
  m_request.title = "";
  ASSERT_TRUE(BuildPackage(m_request).succeeded);
  DataModule package(m_request.outputPath);
  ASSERT_TRUE(package.get() != nullptr);
  EXPECT_EQ(package.bytes("OCX", MAKEINTRESOURCEA(1091)), ocx);
  EXPECT_EQ(package.bytes(MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(1)), std::string(4, '\0'));
  wchar_t title[8] = {L'x'};
  EXPECT_EQ(LoadStringW(package.get(), 1, title, 8), 0);
}

TEST_F(PackageOnWindows, WindowsUpdateAndOurRewriterGiveTheSameResourceTree) {
  m_request.autoInstallFlash = true;
  m_request.flashControlPath = m_dir / "Flash8.ocx";
  WriteBytes(m_request.flashControlPath, "MZ" + NoiseBytes(10000, 14));
  ASSERT_TRUE(BuildPackage(m_request).succeeded);
  PackageContent windows = ReadPackage(m_request.outputPath);

  // The same update through our own rewriter, on a fresh copy of the stub.
  const std::string ours = m_dir / "ours.exe";
  ASSERT_TRUE(CopyFilePath(kStub, ours));
  std::vector<uint8_t> block = TitleStringBlock(m_request.title);
  PeResourceRewriter rewriter;
  ASSERT_TRUE(rewriter.begin(ours, false)) << rewriter.error();
  ASSERT_TRUE(rewriter.update(ResourceId(kArchiveResourceType), ResourceId(kArchiveResourceId),
                              kPackageLanguage, windows.archive.data(), windows.archive.size()));
  ASSERT_TRUE(rewriter.update(ResourceId(kFlashResourceType), ResourceId(kFlashResourceId), kPackageLanguage,
                              windows.flash.data(), windows.flash.size()));
  ASSERT_TRUE(rewriter.update(ResourceId(kStringTableType), ResourceId(kTitleStringBlock), kPackageLanguage,
                              block.data(), block.size()));
  ASSERT_TRUE(rewriter.end(false)) << rewriter.error();

  std::vector<PeResource> a, b;
  std::string error;
  ASSERT_TRUE(ReadPeResources(m_request.outputPath, a, &error)) << error;
  ASSERT_TRUE(ReadPeResources(ours, b, &error)) << error;
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].type, b[i].type) << i;
    EXPECT_EQ(a[i].name, b[i].name) << i;
    EXPECT_EQ(a[i].language, b[i].language) << i;
    EXPECT_EQ(ResourceBytes(m_request.outputPath, a[i]), ResourceBytes(ours, b[i]))
        << a[i].type.toString() << " " << a[i].name.toString();
  }
  // And Windows loads ours like its own.
  DataModule loaded(ours);
  ASSERT_TRUE(loaded.get() != nullptr);
  EXPECT_EQ(loaded.bytes("ZIP", MAKEINTRESOURCEA(129)), windows.archive);
}

}  // namespace
}  // namespace vx::test
