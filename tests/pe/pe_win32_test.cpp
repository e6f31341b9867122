// The resource update on Windows (run under Wine): ResourceUpdater's Windows side
// against our own rewriter, and the rewriter's output checked by the system loader
// (LoadLibraryExW as a data file, FindResourceA, LoadResource, SizeofResource,
// LoadStringW), by ImageHlp's checksum and by running it.
#include <windows.h>
#include <imagehlp.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "common/file.h"
#include "common/win32_handles.h"
#include "common/win32_text.h"
#include "packager/core/pe_resource_rewriter.h"
#include "packager/core/resource_update.h"
#include "pe_test_util.h"

using namespace pe_test;

namespace {

struct Update {
  vx::ResourceId type, name;
  uint16_t language;
  std::vector<uint8_t> data;
};

std::vector<Update> PackageUpdates(const std::u16string& title) {
  return {
      {"ZIP", 129, 1033, PatternBytes(70001, 51)},
      {"OCX", 1091, 1033, PatternBytes(9000, 52)},
      {vx::ResourceId(6), 1, 1033, TitleBlock(title)},
      {"MyType", "Named", 1033, PatternBytes(3, 53)},
  };
}

template <typename Updater>
void Apply(Updater& u, const std::string& path, const std::vector<Update>& updates) {
  ASSERT_TRUE(u.begin(path, false)) << u.error();
  for (const Update& x : updates)
    ASSERT_TRUE(u.update(x.type, x.name, x.language, x.data.data(), x.data.size())) << u.error();
  ASSERT_TRUE(u.end(false)) << u.error();
}

std::vector<uint8_t> LoadedResource(HMODULE module, LPCSTR type, LPCSTR name) {
  HRSRC r = FindResourceA(module, name, type);
  if (!r) return {};
  HGLOBAL g = LoadResource(module, r);
  DWORD size = SizeofResource(module, r);
  const uint8_t* p = static_cast<const uint8_t*>(LockResource(g));
  return p ? std::vector<uint8_t>(p, p + size) : std::vector<uint8_t>();
}

DWORD RunAndWait(const std::string& path) {
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::wstring cmd = L"\"" + vx::win::Wide(path) + L"\"";
  if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                      &pi))
    return 0xFFFFFFFF;
  vx::win::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  WaitForSingleObject(process.get(), 60000);
  DWORD code = 0xFFFFFFFF;
  GetExitCodeProcess(process.get(), &code);
  return code;
}

}  // namespace

// Both updaters (and Wine's older UpdateResource) want the resources last: the stub
// this build made must have them there.
TEST(PeWin32, StubHasItsResourcesLast) {
  vx::PeHeaders h;
  std::vector<vx::PeResource> all;
  std::string error;
  ASSERT_TRUE(vx::ReadPeImage(StubPath(), h, all, &error)) << error;
  ASSERT_EQ(int(h.sections.size()) - 1, h.resourceSection);
  EXPECT_EQ(h.fileSize, h.endOfSections());
  EXPECT_FALSE(all.empty());
}

TEST(PeWin32, WindowsFunctionsAndRewriterMakeTheSameTree) {
  vx::test::ScratchFolder scratch("win32_same_tree");
  const std::string& dir = scratch.path();
  std::string system = dir + "/system.exe", ours = dir + "/ours.exe";
  ASSERT_TRUE(vx::CopyFilePath(StubPath(), system));
  ASSERT_TRUE(vx::CopyFilePath(StubPath(), ours));
  std::vector<Update> updates = PackageUpdates(u"Vellumix");
  vx::ResourceUpdater windows;
  Apply(windows, system, updates);
  vx::PeResourceRewriter rewriter;
  Apply(rewriter, ours, updates);
  std::vector<Item> a = TreeOf(system), b = TreeOf(ours);
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].key(), b[i].key());
    EXPECT_EQ(a[i].codePage, b[i].codePage) << a[i].key();
    EXPECT_TRUE(a[i].bytes == b[i].bytes) << a[i].key();
  }
  // No temporary files remain beside them.
  EXPECT_EQ(2u, scratch.list().size());
}

TEST(PeWin32, RewrittenCopyLoadsRunsAndHasAValidChecksum) {
  for (const std::string& stub : {StubPath(), RelocStubPath()}) {
    SCOPED_TRACE(stub);
    vx::test::ScratchFolder scratch(stub == StubPath() ? "win32_load" : "win32_load_reloc");
    const std::string& dir = scratch.path();
    std::string path = dir + "/package.exe";
    ASSERT_TRUE(vx::CopyFilePath(stub, path));
    std::u16string title = u"Packaged \u00fc\u4e2d";
    std::vector<Update> updates = PackageUpdates(title);
    vx::PeResourceRewriter rewriter;
    Apply(rewriter, path, updates);

    vx::win::UniqueModule loaded(LoadLibraryExW(vx::win::Wide(path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(loaded) << GetLastError();
    HMODULE module = loaded.get();
    EXPECT_EQ(updates[0].data, LoadedResource(module, "ZIP", MAKEINTRESOURCEA(129)));
    EXPECT_EQ(updates[1].data, LoadedResource(module, "OCX", MAKEINTRESOURCEA(1091)));
    EXPECT_EQ(updates[3].data, LoadedResource(module, "MYTYPE", "NAMED"));
    EXPECT_EQ(updates[3].data, LoadedResource(module, "mytype", "named"));
    wchar_t text[64] = {};
    int n = LoadStringW(module, 1, text, 64);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(text), n), title);
    // The resources the update left alone.
    EXPECT_EQ(13u, LoadedResource(module, MAKEINTRESOURCEA(10), MAKEINTRESOURCEA(200)).size());
    EXPECT_EQ(6u, LoadedResource(module, MAKEINTRESOURCEA(10), "LOGO").size());
    EXPECT_NE(nullptr, FindResourceA(module, MAKEINTRESOURCEA(100), MAKEINTRESOURCEA(5)));
    loaded.reset();

    DWORD header = 0, computed = 0;
    ASSERT_EQ(CHECKSUM_SUCCESS, MapFileAndCheckSumW(vx::win::Wide(path).c_str(), &header, &computed));
    EXPECT_NE(0u, header);
    EXPECT_EQ(computed, header);

    EXPECT_EQ(0u, RunAndWait(path));
  }
}

// The Windows side leaves neither a stale checksum nor a stale signature: the system
// functions keep the old checksum (Wine's do) and would keep the certificate table.
TEST(PeWin32, WindowsSideLeavesNoStaleChecksumOrSignature) {
  vx::test::ScratchFolder scratch("win32_signed");
  const std::string& dir = scratch.path();
  for (bool wasSigned : {false, true}) {
    SCOPED_TRACE(wasSigned);
    std::string path = dir + (wasSigned ? "/signed.exe" : "/plain.exe");
    ASSERT_TRUE(vx::CopyFilePath(StubPath(), path));
    std::vector<uint8_t> table;
    if (wasSigned) table = AppendCertificateTable(path, {}, 1500);
    vx::ResourceUpdater u;
    Apply(u, path, PackageUpdates(u"Signed"));
    EXPECT_EQ(wasSigned, u.signatureRemoved());

    ExpectNoCertificateTable(path, table);
    DWORD header = 0, computed = 0;
    ASSERT_EQ(CHECKSUM_SUCCESS, MapFileAndCheckSumW(vx::win::Wide(path).c_str(), &header, &computed));
    EXPECT_NE(0u, header);
    EXPECT_EQ(computed, header);
    vx::win::UniqueModule loaded(LoadLibraryExW(vx::win::Wide(path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(loaded) << GetLastError();
    HMODULE module = loaded.get();
    EXPECT_EQ(PatternBytes(70001, 51), LoadedResource(module, "ZIP", MAKEINTRESOURCEA(129)));
  }
  EXPECT_EQ(2u, scratch.list().size()) << "temporary files were left behind";
}

TEST(PeWin32, WindowsSideRefusesAndDiscardsWithoutTouchingTheFile) {
  vx::test::ScratchFolder scratch("win32_refusals");
  const std::string& dir = scratch.path();
  std::vector<uint8_t> stub = ReadBytes(StubPath());
  std::string text = dir + "/text.exe", cut = dir + "/cut.exe", good = dir + "/good.exe";
  WriteBytes(text, std::vector<uint8_t>(500, 'z'));
  WriteBytes(cut, std::vector<uint8_t>(stub.begin(), stub.end() - 3000));
  WriteBytes(good, stub);
  for (const std::string& path : {text, cut}) {
    std::vector<uint8_t> before = ReadBytes(path);
    vx::ResourceUpdater u;
    EXPECT_FALSE(u.begin(path, false));
    EXPECT_NE(std::string::npos, u.error().find(path)) << u.error();
    EXPECT_FALSE(u.update("ZIP", 129, 1033, "x", 1));
    EXPECT_FALSE(u.end(false));
    EXPECT_EQ(before, ReadBytes(path));
  }
  {
    vx::ResourceUpdater u;
    ASSERT_TRUE(u.begin(good, false)) << u.error();
    ASSERT_TRUE(u.update("ZIP", 129, 1033, "abc", 3)) << u.error();
    ASSERT_TRUE(u.end(true));
  }
  {
    vx::ResourceUpdater u;  // never ended
    ASSERT_TRUE(u.begin(good, false)) << u.error();
    ASSERT_TRUE(u.update("ZIP", 129, 1033, "abc", 3)) << u.error();
  }
  EXPECT_EQ(stub, ReadBytes(good));
  EXPECT_EQ(3u, scratch.list().size()) << "temporary files were left behind";
}
