// The host rewriter checked by Windows itself, under Wine: copies updated on Linux
// load and run and report the new resources through FindResourceA / LoadResource /
// SizeofResource / LoadStringW, and the Windows update functions (winapi_update.exe)
// make the same resource tree from the same update.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "common/file.h"
#include "packager/core/resource_update.h"
#include "pe_test_util.h"

using namespace pe_test;

namespace {

std::string WinePath(const std::string& path) { return "Z:" + path; }

// The Windows architecture this run tests (the test is registered once for each, with
// PE_WINE_ARCH set), and its prefix; Wine is chosen by testing/wine-env.sh.
std::string WineArch() {
  const char* arch = std::getenv("PE_WINE_ARCH");
  return arch ? arch : "";
}

int Wine(const std::string& exe, const std::string& args, std::string* output) {
  std::string prefix = std::string(VX_BINARY_DIR) + "/wineprefix-pe-" + WineArch();
  std::string env = ". " + Quote(std::string(VX_SOURCE_DIR) + "/testing/wine-env.sh") + " && vx_wine_env " +
                    WineArch() + " && WINEPREFIX=" + Quote(prefix) + " ";
  return Run(env + "\"$VX_WINE\" " + Quote(exe) + " " + args + " 2>/dev/null", output);
}

class PeWine : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WineArch() == "win32" || WineArch() == "win64") << "PE_WINE_ARCH is not win32 or win64";
    std::string probe = Quote(std::string(VX_SOURCE_DIR) + "/testing/wine-runs.sh") + " " + WineArch();
    if (pe_test::Run(probe) != 0) GTEST_SKIP() << "no " << WineArch() << " Wine on this machine";
  }
};

uint32_t Fnv1a(const std::vector<uint8_t>& data) {
  uint32_t h = 2166136261u;
  for (uint8_t b : data) h = (h ^ b) * 16777619u;
  return h;
}

std::string Expected(const char* type, unsigned id, const std::vector<uint8_t>* data) {
  if (!data) return std::string(type) + " " + std::to_string(id) + " absent";
  char hash[16];
  std::snprintf(hash, sizeof hash, "%08x", Fnv1a(*data));
  return std::string(type) + " " + std::to_string(id) + " " + std::to_string(data->size()) + " " + hash;
}

std::string ExpectedString(const std::u16string& text) {
  std::string s = "STRING 1";
  for (char16_t c : text) {
    char unit[8];
    std::snprintf(unit, sizeof unit, " %04x", unsigned(c));
    s += unit;
  }
  return s;
}

// The three report lines of a run of the test executable.
std::vector<std::string> Report(const std::string& exe) {
  std::string out;
  EXPECT_EQ(0, Wine(exe, "", &out)) << exe << " did not run cleanly";
  std::vector<std::string> lines;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

struct Update {
  std::string type, name;
  uint16_t language;
  std::vector<uint8_t> data;  // empty: delete
  bool remove;
};

vx::ResourceId IdOf(const std::string& text) {
  bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
  return digits ? vx::ResourceId(static_cast<uint16_t>(std::stoul(text))) : vx::ResourceId(text);
}

void ApplyHost(const std::string& path, bool deleteExisting, const std::vector<Update>& updates) {
  vx::ResourceUpdater u;
  ASSERT_TRUE(u.begin(path, deleteExisting)) << u.error();
  for (const Update& x : updates)
    ASSERT_TRUE(u.update(IdOf(x.type), IdOf(x.name), x.language, x.remove ? nullptr : x.data.data(),
                         x.remove ? 0 : x.data.size()))
        << u.error();
  ASSERT_TRUE(u.end(false)) << u.error();
}

void ApplyWindows(const std::string& dir, const std::string& path, bool deleteExisting,
                  const std::vector<Update>& updates) {
  std::string args = Quote(WinePath(path)) + (deleteExisting ? " --delete-existing" : "");
  int n = 0;
  for (const Update& x : updates) {
    if (x.remove) {
      args += " del " + Quote(x.type) + " " + Quote(x.name) + " " + std::to_string(x.language);
    } else {
      std::string file = dir + "/data" + std::to_string(n++) + ".bin";
      WriteBytes(file, x.data);
      args += " set " + Quote(x.type) + " " + Quote(x.name) + " " + std::to_string(x.language) + " " +
              Quote(WinePath(file));
    }
  }
  std::string out;
  ASSERT_EQ(0, Wine(TestPath("winapi_update.exe"), args, &out)) << out;
}

}  // namespace

TEST_F(PeWine, HostUpdatedCopiesRunAndReportTheNewResources) {
  std::vector<uint8_t> defaultZip = ReadBytes(std::string(VX_SOURCE_DIR) + "/tests/pe/stub/default.bin");
  for (const std::string& stub : {StubPath(), RelocStubPath()}) {
    SCOPED_TRACE(stub);
    vx::test::ScratchFolder scratch(stub == StubPath() ? "wine_run" : "wine_run_reloc");
    const std::string& dir = scratch.path();
    std::string path = dir + "/package.exe";
    ASSERT_TRUE(vx::CopyFilePath(stub, path));
    std::vector<std::string> before = Report(path);
    ASSERT_EQ(3u, before.size());
    EXPECT_EQ(Expected("ZIP", 129, &defaultZip), before[0]);
    EXPECT_EQ(Expected("OCX", 1091, nullptr), before[1]);
    EXPECT_EQ(ExpectedString(u"Vellumix"), before[2]);

    std::u16string title = u"Caf\u00e9 \u4e2d\u6587 show";
    std::vector<uint8_t> zip = PatternBytes(300001, 21), ocx = PatternBytes(70000, 22);
    ApplyHost(path, false,
              {{"ZIP", "129", 1033, zip, false},
               {"OCX", "1091", 1033, ocx, false},
               {"6", "1", 1033, TitleBlock(title), false}});
    std::vector<std::string> after = Report(path);
    ASSERT_EQ(3u, after.size());
    EXPECT_EQ(Expected("ZIP", 129, &zip), after[0]);
    EXPECT_EQ(Expected("OCX", 1091, &ocx), after[1]);
    EXPECT_EQ(ExpectedString(title), after[2]);

    // The empty title: a block of two zero words.
    ApplyHost(path, false, {{"6", "1", 1033, TitleBlock(u""), false}, {"OCX", "1091", 1033, {}, true}});
    after = Report(path);
    ASSERT_EQ(3u, after.size());
    EXPECT_EQ(Expected("OCX", 1091, nullptr), after[1]);
    EXPECT_EQ("STRING 1", after[2]);
  }
}

// The same update through the Windows functions and through our rewriter gives the same
// tree, entry for entry: type, name, language, code page and bytes. (Wine's
// UpdateResourceA ignores deletions, null data with size 0, which Windows documents and
// our rewriter performs; deletions are therefore checked only in the rewriter's tests.)
TEST_F(PeWine, SameTreeAsTheWindowsFunctions) {
  std::vector<Update> updates = {
      {"ZIP", "129", 1033, PatternBytes(50001, 31), false},
      {"OCX", "1091", 1033, PatternBytes(4099, 32), false},
      {"6", "1", 1033, TitleBlock(u"Vellumix package"), false},
      {"MyType", "Named", 1033, PatternBytes(17, 33), false},
      {"10", "300", 2052, PatternBytes(5, 34), false},
  };
  // The relocatable stub too: there our rewriter adds a new last section, while Wine
  // moves the sections after .rsrc; the resources must come out the same.
  for (int run = 0; run < 3; ++run) {
    bool deleteExisting = run == 1;
    std::string stub = run == 2 ? RelocStubPath() : StubPath();
    SCOPED_TRACE(stub + (deleteExisting ? ", deleting existing resources" : ", keeping existing resources"));
    vx::test::ScratchFolder scratch("wine_same_tree_" + std::to_string(run));
    const std::string& dir = scratch.path();
    std::string ours = dir + "/ours.exe", theirs = dir + "/theirs.exe";
    ASSERT_TRUE(vx::CopyFilePath(stub, ours));
    ASSERT_TRUE(vx::CopyFilePath(stub, theirs));
    ApplyHost(ours, deleteExisting, updates);
    ApplyWindows(dir, theirs, deleteExisting, updates);
    std::vector<Item> a = TreeOf(ours), b = TreeOf(theirs);
    ASSERT_EQ(b.size(), a.size());
    for (size_t i = 0; i < a.size(); ++i) {
      EXPECT_EQ(b[i].key(), a[i].key());
      EXPECT_EQ(b[i].codePage, a[i].codePage) << a[i].key();
      EXPECT_TRUE(b[i].bytes == a[i].bytes) << a[i].key() << " differs";
    }
    // Both load the same way.
    EXPECT_EQ(Report(theirs), Report(ours));
  }
}
