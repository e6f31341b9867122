// The reader and `vellumix-cli unpack` on archives made at test time by the real tools:
// Info-ZIP zip (to a file, and through a pipe, which gives data descriptors), 7-Zip with
// ZipCrypto, and Python's zipfile. Bytes, modification times and the read-only
// attribute must come back as the sources had them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <utime.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <ctime>
#include <map>

#include "common/file.h"
#include "common/byte_order.h"
#include "test_archive.h"
#include "zipreader/zip_reader.h"

using namespace vxtest;

namespace {

const char* kPassword = "s3cret&pw";

struct Command {
  int status;
  std::string out;
};

// Runs a shell command in a UTF-8 locale (so that the tools take file names beyond
// ASCII as they are); stdout (and stderr when asked) is collected.
Command Shell(const std::string& cmd, bool withStderr = false) {
  std::string full = "LC_ALL=C.UTF-8 " + cmd + (withStderr ? " 2>&1" : " 2>/dev/null");
  FILE* p = popen(full.c_str(), "r");
  Command c{-1, {}};
  if (!p) return c;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) c.out.append(buf, n);
  int rc = pclose(p);
  c.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return c;
}

bool HaveTool(const char* name) { return Shell(std::string("command -v ") + name).status == 0; }

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

struct SourceFile {
  std::string name;
  Bytes data;
  time_t mtime;
  bool readOnly;
};

// Sources in a folder, with chosen times (local time with daylight saving) and one
// read-only file.
class InteropTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // A zone with daylight saving, so that local time and UTC differ all year and the
    // offset changes between the files. The tools inherit it.
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
  }

  void SetUp() override {
    auto local = vxtest::LocalTime;
    m_sources = {
        {"package.ini", TextBytes("[SETTINGS]\r\nfullscreen=false\r\nmainmovie=intro.swf\r\ntype=resource"),
         local(2024, 7, 1, 12, 30, 10), false},
        {"intro.swf", PatternBytes(700000, 1), local(2023, 12, 24, 18, 0, 0), false},
        {"data.xml", TextLikeBytes(400000, 2), local(2025, 3, 30, 1, 59, 58), true},
        {"empty.txt", {}, local(2010, 1, 1, 0, 0, 0), false},
        {"song.mp3", PatternBytes(70000, 3), local(2020, 10, 24, 2, 30, 0), false},
        {"\xE6\x95\xB0\xE6\x8D\xAE\xC3\xBC.xml", TextLikeBytes(3000, 4), local(2021, 6, 1, 9, 0, 0), false},
    };
    for (const auto& s : m_sources) {
      std::string p = m_src.file(s.name);
      WriteWholeFile(p, s.data);
      struct utimbuf t = {s.mtime, s.mtime};
      ASSERT_EQ(utime(p.c_str(), &t), 0);
      if (s.readOnly) {
        ASSERT_EQ(chmod(p.c_str(), 0444), 0);
      }
    }
  }

  void TearDown() override {
    for (const auto& s : m_sources) chmod(m_src.file(s.name).c_str(), 0644);
  }

  std::string fileList() const {
    std::string list;
    for (const auto& s : m_sources) list += " " + Quote(s.name);
    return list;
  }

  // Extracts every file entry with the reader from disk and checks each against its
  // source. Returns the entries' flags for the caller to look at.
  // `times` replaces the sources' modification times where a tool stores others.
  std::vector<vx::ZipEntryInfo> extractAndCompare(const std::string& archive, const char* password,
                                                  const std::map<std::string, time_t>& times = {}) {
    ScratchFolder out("interop-out");
    vx::ZipDiskFile disk;
    EXPECT_TRUE(disk.open(archive));
    vx::ZipReader reader;
    std::vector<vx::ZipEntryInfo> infos;
    try {
      reader.open(disk);
      reader.setPassword(password);
      for (int i = 0; i < reader.entryCount(); ++i) {
        vx::ZipEntryInfo info;
        reader.entryInfo(i, info);
        infos.push_back(info);
        if (info.isDirectory()) continue;
        EXPECT_TRUE(reader.extractEntry(i, out.path(), false, nullptr, 65536)) << info.name();
      }
      reader.close();
    } catch (const vx::CZipException& e) {
      ADD_FAILURE() << archive << ": cause " << e.m_iCause << " " << e.message();
      return infos;
    }
    EXPECT_EQ(infos.size(), m_sources.size());
    for (const auto& s : m_sources) {
      std::string p = out.file(s.name);
      vx::FileDescription d;
      if (!vx::DescribePath(p, d)) {
        ADD_FAILURE() << s.name << " not extracted from " << archive;
        continue;
      }
      EXPECT_EQ(ReadWholeFile(p), s.data) << s.name;
      time_t expected = times.count(s.name) ? times.at(s.name) : s.mtime;
      EXPECT_EQ(static_cast<time_t>(vx::FileTimeToUnix(d.lastWrite)), expected)
          << s.name << " in " << archive;
      EXPECT_EQ((d.attributes & vx::kAttrReadOnly) != 0, s.readOnly) << s.name << " in " << archive;
      chmod(p.c_str(), 0644);
    }
    return infos;
  }

  ScratchFolder m_src{"interop-src"};
  ScratchFolder m_work{"interop-work"};
  std::vector<SourceFile> m_sources;
};

bool AnyFlag(const std::vector<vx::ZipEntryInfo>& infos, uint16_t bit) {
  for (const auto& i : infos)
    if (i.flags & bit) return true;
  return false;
}
bool AllFlag(const std::vector<vx::ZipEntryInfo>& infos, uint16_t bit) {
  for (const auto& i : infos)
    if (!(i.flags & bit)) return false;
  return !infos.empty();
}

}  // namespace

TEST_F(InteropTest, InfoZipToAFile) {
  if (!HaveTool("zip")) GTEST_SKIP() << "zip not installed";
  std::string zipPath = m_work.file("file.zip");
  ASSERT_EQ(Shell("cd " + Quote(m_src.path()) + " && zip -q -X -P " + Quote(kPassword) + " " +
                  Quote(zipPath) + fileList())
                .status,
            0);
  auto infos = extractAndCompare(zipPath, kPassword);
  EXPECT_TRUE(AllFlag(infos, 0x0001));
  for (const auto& i : infos) EXPECT_EQ(i.hostSystem(), 3) << i.name();

  // Without a password Info-ZIP writes no descriptors to a file: sizes and CRC in the
  // local headers, which must then agree with the central records.
  std::string plainPath = m_work.file("plain.zip");
  ASSERT_EQ(Shell("cd " + Quote(m_src.path()) + " && zip -q " + Quote(plainPath) + fileList()).status, 0);
  infos = extractAndCompare(plainPath, nullptr);
  EXPECT_FALSE(AnyFlag(infos, 0x0008));

  // Stored entries too.
  std::string storedPath = m_work.file("stored.zip");
  ASSERT_EQ(Shell("cd " + Quote(m_src.path()) + " && zip -q -0 -P " + Quote(kPassword) + " " +
                  Quote(storedPath) + fileList())
                .status,
            0);
  infos = extractAndCompare(storedPath, kPassword);
  for (const auto& i : infos) EXPECT_EQ(i.method, 0) << i.name();
}

TEST_F(InteropTest, InfoZipThroughAPipeWritesDescriptors) {
  if (!HaveTool("zip")) GTEST_SKIP() << "zip not installed";
  std::string zipPath = m_work.file("piped.zip");
  ASSERT_EQ(Shell("cd " + Quote(m_src.path()) + " && zip -q -P " + Quote(kPassword) + " -" + fileList() +
                  " | cat > " + Quote(zipPath))
                .status,
            0);
  auto infos = extractAndCompare(zipPath, kPassword);
  // The stream could not be rewound: every entry carries bit 3 and a descriptor, and
  // the check byte comes from the time.
  EXPECT_TRUE(AllFlag(infos, 0x0008));
  EXPECT_TRUE(AllFlag(infos, 0x0001));
}

TEST_F(InteropTest, SevenZipZipCrypto) {
  if (!HaveTool("7z")) GTEST_SKIP() << "7z not installed";
  std::string zipPath = m_work.file("seven.zip");
  ASSERT_EQ(Shell("cd " + Quote(m_src.path()) + " && 7z a -tzip -mem=ZipCrypto -p" + Quote(kPassword) + " " +
                  Quote(zipPath) + fileList())
                .status,
            0);
  // 7-Zip turns the time into local time with the offset in force now, not the one of
  // the file's date, so the stored DOS fields (read here by Python) are the reference.
  std::map<std::string, time_t> times;
  if (HaveTool("python3")) {
    Command dos =
        Shell("python3 -c " +
              Quote("import sys, zipfile\n"
                    "for i in zipfile.ZipFile(sys.argv[1]).infolist(): print(i.filename, *i.date_time)") +
              " " + Quote(zipPath));
    ASSERT_EQ(dos.status, 0);
    char name[256];
    int y, mo, d, h, mi, sec;
    for (const char* line = dos.out.c_str();
         std::sscanf(line, "%255s %d %d %d %d %d %d", name, &y, &mo, &d, &h, &mi, &sec) == 7;) {
      times[name] = vxtest::LocalTime(y, mo, d, h, mi, sec);
      line = std::strchr(line, '\n');
      if (!line) break;
      ++line;
    }
    EXPECT_EQ(times.size(), m_sources.size());
    for (const auto& s : m_sources)
      EXPECT_LE(std::labs(static_cast<long>(times[s.name] - s.mtime)), 3600L) << s.name;
  }
  auto infos = extractAndCompare(zipPath, kPassword, times);
  EXPECT_TRUE(AllFlag(infos, 0x0001));
  // A wrong password is refused before anything is written.
  ScratchFolder out("seven-wrong");
  vx::ZipDiskFile disk;
  ASSERT_TRUE(disk.open(zipPath));
  vx::ZipReader reader;
  reader.open(disk);
  reader.setPassword("not the password");
  int refused = 0;
  for (int i = 0; i < reader.entryCount(); ++i) {
    try {
      reader.extractEntry(i, out.path(), false, nullptr, 65536);
    } catch (const vx::CZipException& e) {
      // One wrong password in 256 passes the check byte; the CRC or zlib catches it.
      EXPECT_TRUE(e.m_iCause == 110 || e.m_iCause == 102 || e.m_iCause == 504) << e.m_iCause;
      if (e.m_iCause == 110) ++refused;
      if (reader.isEntryOpen()) break;
    }
  }
  EXPECT_GE(refused, 1);
}

TEST_F(InteropTest, PythonZipfileStoredDeflatedAndDosHost) {
  if (!HaveTool("python3")) GTEST_SKIP() << "python3 not installed";
  std::string script = m_work.file("make.py");
  std::string zipPath = m_work.file("py.zip");
  std::string text =
      "import sys, os, time, zipfile\n"
      "src, out = sys.argv[1], sys.argv[2]\n"
      "names = sys.argv[3:]\n"
      "with zipfile.ZipFile(out, 'w') as z:\n"
      "    for i, n in enumerate(names):\n"
      "        z.write(os.path.join(src, n), n, zipfile.ZIP_STORED if i % 2 else zipfile.ZIP_DEFLATED)\n"
      "    # A folder entry and a DOS-host read-only file in a folder.\n"
      "    z.writestr(zipfile.ZipInfo('dosdir/'), b'')\n"
      "    zi = zipfile.ZipInfo('dosdir/dos.txt', date_time=(2019, 5, 6, 7, 8, 10))\n"
      "    zi.create_system = 0\n"
      "    zi.external_attr = 0x21\n"
      "    z.writestr(zi, b'from a DOS host', zipfile.ZIP_DEFLATED)\n";
  WriteWholeFile(script, TextBytes(text));
  std::string names;
  for (const auto& s : m_sources) names += " " + Quote(s.name);
  ASSERT_EQ(
      Shell("python3 " + Quote(script) + " " + Quote(m_src.path()) + " " + Quote(zipPath) + names).status, 0);

  // The DOS entry is not among the sources: check it on its own, then drop it.
  ScratchFolder out("py-out");
  vx::ZipDiskFile disk;
  ASSERT_TRUE(disk.open(zipPath));
  vx::ZipReader reader;
  reader.open(disk);
  int files = 0, folders = 0;
  for (int i = 0; i < reader.entryCount(); ++i) {
    vx::ZipEntryInfo info;
    reader.entryInfo(i, info);
    if (info.isDirectory()) {
      ++folders;
    } else {
      ++files;
    }
    if (info.name() == std::string("dosdir") + vx::kPathSeparator + "dos.txt") {
      EXPECT_EQ(info.hostSystem(), 0);
      ASSERT_TRUE(reader.extractEntry(i, out.path(), false, nullptr, 65536));
    }
  }
  EXPECT_EQ(folders, 1);
  EXPECT_EQ(files, static_cast<int>(m_sources.size()) + 1);
  reader.close();
  EXPECT_EQ(ReadWholeFile(out.file("dos.txt")), TextBytes("from a DOS host"));
  vx::FileDescription d;
  ASSERT_TRUE(vx::DescribePath(out.file("dos.txt"), d));
  EXPECT_TRUE(d.attributes & vx::kAttrReadOnly);
  std::tm t{};
  t.tm_year = 119;
  t.tm_mon = 4;
  t.tm_mday = 6;
  t.tm_hour = 7;
  t.tm_min = 8;
  t.tm_sec = 10;
  t.tm_isdst = -1;
  EXPECT_EQ(static_cast<time_t>(vx::FileTimeToUnix(d.lastWrite)), std::mktime(&t));
  chmod(out.file("dos.txt").c_str(), 0644);

  // Python's own files: rebuild the archive without the extra entries and compare.
  std::string plain = m_work.file("py-plain.zip");
  std::string script2 = m_work.file("plain.py");
  WriteWholeFile(script2,
                 TextBytes("import sys, os, zipfile\n"
                           "src, out = sys.argv[1], sys.argv[2]\n"
                           "with zipfile.ZipFile(out, 'w') as z:\n"
                           "    for i, n in enumerate(sys.argv[3:]):\n"
                           "        z.write(os.path.join(src, n), n,\n"
                           "                zipfile.ZIP_STORED if i % 2 else zipfile.ZIP_DEFLATED)\n"));
  ASSERT_EQ(
      Shell("python3 " + Quote(script2) + " " + Quote(m_src.path()) + " " + Quote(plain) + names).status, 0);
  auto infos = extractAndCompare(plain, nullptr);
  EXPECT_FALSE(AnyFlag(infos, 0x0001));
}

// ---------------------------------------------------------------------------------
// vellumix-cli unpack

namespace {

std::string Cli() { return std::string(VX_BINARY_DIR) + "/bin/vellumix-cli"; }

// A minimal 32-bit PE file whose only resource is "ZIP" 129 (language 1033) holding the
// given bytes, laid out as the resource compiler does: directory tables, the data
// entry, the type name, then the data.
Bytes MakePackageExe(const Bytes& zip) {
  const uint32_t fileAlign = 0x200, sectAlign = 0x1000, rsrcRva = 0x1000, rsrcFile = 0x200;
  Bytes rsrc(96, 0);
  vx::StoreLE16(&rsrc[12], 1);                 // root: one named entry
  vx::StoreLE32(&rsrc[16], 0x80000000u | 88);  //   name "ZIP"
  vx::StoreLE32(&rsrc[20], 0x80000000u | 24);  //   -> type directory
  vx::StoreLE16(&rsrc[24 + 14], 1);            // type: one id entry
  vx::StoreLE32(&rsrc[40], 129);
  vx::StoreLE32(&rsrc[44], 0x80000000u | 48);  //   -> language directory
  vx::StoreLE16(&rsrc[48 + 14], 1);            // language: one id entry
  vx::StoreLE32(&rsrc[64], 1033);
  vx::StoreLE32(&rsrc[68], 72);            //   -> data entry
  vx::StoreLE32(&rsrc[72], rsrcRva + 96);  // data RVA
  vx::StoreLE32(&rsrc[76], static_cast<uint32_t>(zip.size()));
  vx::StoreLE16(&rsrc[88], 3);
  const char* zipName = "ZIP";
  for (int i = 0; i < 3; ++i) vx::StoreLE16(&rsrc[90 + 2 * i], static_cast<uint16_t>(zipName[i]));
  rsrc.insert(rsrc.end(), zip.begin(), zip.end());
  uint32_t rawSize = (static_cast<uint32_t>(rsrc.size()) + fileAlign - 1) / fileAlign * fileAlign;
  rsrc.resize(rawSize, 0);

  Bytes pe(rsrcFile, 0);
  pe[0] = 'M';
  pe[1] = 'Z';
  vx::StoreLE32(&pe[0x3C], 0x40);
  size_t p = 0x40;
  pe[p] = 'P';
  pe[p + 1] = 'E';
  vx::StoreLE16(&pe[p + 4], 0x014C);  // i386
  vx::StoreLE16(&pe[p + 6], 1);       // one section
  vx::StoreLE16(&pe[p + 20], 224);    // optional header size
  vx::StoreLE16(&pe[p + 22], 0x0102);
  size_t o = p + 24;
  vx::StoreLE16(&pe[o], 0x010B);  // PE32
  vx::StoreLE32(&pe[o + 8], rawSize);
  vx::StoreLE32(&pe[o + 28], 0x400000);
  vx::StoreLE32(&pe[o + 32], sectAlign);
  vx::StoreLE32(&pe[o + 36], fileAlign);
  vx::StoreLE16(&pe[o + 40], 4);
  vx::StoreLE16(&pe[o + 48], 4);
  vx::StoreLE32(&pe[o + 56], rsrcRva + (rawSize + sectAlign - 1) / sectAlign * sectAlign);
  vx::StoreLE32(&pe[o + 60], rsrcFile);
  vx::StoreLE16(&pe[o + 68], 2);  // GUI
  vx::StoreLE32(&pe[o + 92], 16);
  vx::StoreLE32(&pe[o + 96 + 8 * 2], rsrcRva);
  vx::StoreLE32(&pe[o + 96 + 8 * 2 + 4], 96 + static_cast<uint32_t>(zip.size()));
  size_t s = o + 224;
  std::memcpy(&pe[s], ".rsrc", 5);
  vx::StoreLE32(&pe[s + 8], 96 + static_cast<uint32_t>(zip.size()));
  vx::StoreLE32(&pe[s + 12], rsrcRva);
  vx::StoreLE32(&pe[s + 16], rawSize);
  vx::StoreLE32(&pe[s + 20], rsrcFile);
  vx::StoreLE32(&pe[s + 36], 0x40000040u);
  pe.resize(rsrcFile + rsrc.size());
  std::copy(rsrc.begin(), rsrc.end(), pe.begin() + rsrcFile);
  return pe;
}

}  // namespace

TEST_F(InteropTest, CliUnpacksAZipFileAndReportsErrors) {
  if (!HaveTool("zip")) GTEST_SKIP() << "zip not installed";
  std::string zipPath = m_work.file("cli.zip");
  ASSERT_EQ(
      Shell("cd " + Quote(m_src.path()) + " && mkdir -p sub && cp intro.swf sub/nested.swf && zip -q -r -P " +
            Quote(kPassword) + " " + Quote(zipPath) + fileList() + " sub")
          .status,
      0);
  ScratchFolder out("cli-out");
  std::string dir = out.file("x");
  Command c = Shell(Quote(Cli()) + " unpack --password " + Quote(kPassword) + " " + Quote(zipPath) + " " +
                    Quote(dir));
  ASSERT_EQ(c.status, 0) << c.out;
  // One line per file written; the folder entry gives none, its file lands flat.
  int lines = 0;
  for (char ch : c.out) lines += ch == '\n';
  EXPECT_EQ(lines, static_cast<int>(m_sources.size()) + 1) << c.out;
  for (const auto& s : m_sources) {
    EXPECT_EQ(ReadWholeFile(vx::JoinPath(dir, s.name)), s.data) << s.name;
    chmod(vx::JoinPath(dir, s.name).c_str(), 0644);
  }
  EXPECT_EQ(ReadWholeFile(vx::JoinPath(dir, "nested.swf")), m_sources[1].data);
  Shell("rm -rf " + Quote(dir));

  // Wrong and missing passwords: the table's text, a failure status, no file.
  for (std::string opt : {std::string("--password wrong"), std::string()}) {
    c = Shell(Quote(Cli()) + " unpack " + opt + " " + Quote(zipPath) + " " + Quote(dir), true);
    EXPECT_NE(c.status, 0);
    EXPECT_NE(c.out.find("error: Incorrect password set for the file being decrypted"), std::string::npos)
        << c.out;
  }
  EXPECT_FALSE(vx::PathExists(vx::JoinPath(dir, "package.ini")));

  // Not an archive.
  WriteWholeFile(m_work.file("noise.bin"), PatternBytes(5000, 9));
  c = Shell(Quote(Cli()) + " unpack " + Quote(m_work.file("noise.bin")) + " " + Quote(dir), true);
  EXPECT_NE(c.status, 0);
  EXPECT_NE(c.out.find("error: The central directory was not found in the archive"), std::string::npos)
      << c.out;
  Bytes damaged = ReadWholeFile(zipPath);
  damaged.resize(damaged.size() - 5);
  WriteWholeFile(m_work.file("damaged.zip"), damaged);
  c = Shell(Quote(Cli()) + " unpack -P " + Quote(kPassword) + " " + Quote(m_work.file("damaged.zip")) + " " +
                Quote(dir),
            true);
  EXPECT_NE(c.status, 0);
  EXPECT_NE(c.out.find("error: Damaged or not a zip file"), std::string::npos) << c.out;

  // The default folder is the current one.
  c = Shell("cd " + Quote(out.path()) + " && " + Quote(Cli()) + " unpack -P " + Quote(kPassword) + " " +
            Quote(zipPath));
  EXPECT_EQ(c.status, 0);
  EXPECT_EQ(ReadWholeFile(out.file("song.mp3")), m_sources[4].data);
  Shell("chmod -R u+w " + Quote(out.path()));
}

TEST_F(InteropTest, CliUsage) {
  Command c = Shell(Quote(Cli()) + " unpack --help");
  EXPECT_EQ(c.status, 0);
  EXPECT_NE(c.out.find("usage: vellumix-cli unpack [--password TEXT] [--threads N] ARCHIVE [DIR]"),
            std::string::npos);
  for (const char* bad : {"", "--password", "--bogus a.zip", "a.zip b c", "--threads", "--threads 0 a.zip",
                          "--threads=17 a.zip", "--threads two a.zip"}) {
    c = Shell(Quote(Cli()) + " unpack " + bad, true);
    EXPECT_EQ(c.status, 1) << bad;
    EXPECT_NE(c.out.find("usage: vellumix-cli unpack"), std::string::npos) << bad << ": " << c.out;
  }
  c = Shell(Quote(Cli()) + " unpack " + Quote(m_work.file("missing.zip")), true);
  EXPECT_EQ(c.status, 2);
  EXPECT_NE(c.out.find("error: "), std::string::npos);
}

TEST_F(InteropTest, CliUnpacksAPackageWithThePackagePassword) {
  // The archive as a package carries it: encrypted with the package password, behind
  // the executable's headers.
  std::vector<TestEntry> v(2);
  v[0].name = "package.ini";
  v[0].data = m_sources[0].data;
  v[1].name = "intro.swf";
  v[1].data = m_sources[1].data;
  for (auto& e : v) {
    e.password = "Rvd%q!KJEb";
    e.dataDescriptor = true;
  }
  TestArchive a = BuildArchive(v);
  std::string exe = m_work.file("show.exe");
  WriteWholeFile(exe, MakePackageExe(a.bytes));
  ScratchFolder out("cli-exe");
  Command c = Shell(Quote(Cli()) + " unpack " + Quote(exe) + " " + Quote(out.path()), true);
  ASSERT_EQ(c.status, 0) << c.out;
  EXPECT_EQ(ReadWholeFile(out.file("package.ini")), v[0].data);
  EXPECT_EQ(ReadWholeFile(out.file("intro.swf")), v[1].data);
  // An explicit password wins over the package's.
  c = Shell(Quote(Cli()) + " unpack --password other " + Quote(exe) + " " + Quote(out.path()), true);
  EXPECT_NE(c.status, 0);
  EXPECT_NE(c.out.find("error: Incorrect password set for the file being decrypted"), std::string::npos)
      << c.out;
  // An executable without the resource.
  Bytes noZip = MakePackageExe(a.bytes);
  noZip[0x200 + 40] = 130;  // the id becomes 130
  WriteWholeFile(m_work.file("other.exe"), noZip);
  c = Shell(Quote(Cli()) + " unpack " + Quote(m_work.file("other.exe")) + " " + Quote(out.path()), true);
  EXPECT_EQ(c.status, 2);
  EXPECT_NE(c.out.find("\"ZIP\" 129"), std::string::npos) << c.out;
}

TEST_F(InteropTest, CliRoundTripThroughOurWriter) {
  std::string zipPath = m_work.file("ours.zip");
  std::string files;
  for (const auto& s : m_sources) files += " " + Quote(m_src.file(s.name));
  Command c =
      Shell(Quote(Cli()) + " pack --password " + Quote(kPassword) + " " + Quote(zipPath) + files, true);
  if (c.status != 0 && c.out.find("unknown command") != std::string::npos) GTEST_SKIP() << "no pack command";
  ASSERT_EQ(c.status, 0) << c.out;
  // The writer's form: host 11, flags 0x0009 on every entry, with bit 11 where the
  // name goes beyond ASCII.
  vx::ZipDiskFile disk;
  ASSERT_TRUE(disk.open(zipPath));
  vx::ZipReader reader;
  reader.open(disk);
  ASSERT_EQ(reader.entryCount(), static_cast<int>(m_sources.size()));
  for (int i = 0; i < reader.entryCount(); ++i) {
    vx::ZipEntryInfo info;
    reader.entryInfo(i, info);
    EXPECT_EQ(info.hostSystem(), 11);
    bool ascii = true;
    for (char ch : m_sources[i].name) ascii = ascii && static_cast<unsigned char>(ch) < 0x80;
    EXPECT_EQ(info.flags, ascii ? 0x0009 : 0x0809) << m_sources[i].name;
    EXPECT_EQ(info.name(), m_sources[i].name);
  }
  reader.close();
  // One thread or several: the same files, and one line for each in the archive's order.
  for (const char* threads : {"1", "4"}) {
    ScratchFolder out("ours-out");
    c = Shell(Quote(Cli()) + " unpack --threads " + threads + " --password " + Quote(kPassword) + " " +
              Quote(zipPath) + " " + Quote(out.path()));
    ASSERT_EQ(c.status, 0) << c.out;
    std::string expected;
    for (const auto& s : m_sources) expected += out.file(s.name) + "\n";
    EXPECT_EQ(c.out, expected) << threads;
    for (const auto& s : m_sources) EXPECT_EQ(ReadWholeFile(out.file(s.name)), s.data) << s.name;
  }
}

TEST_F(InteropTest, CliSkipsUnsafeNamesAndGoesOn) {
  std::vector<TestEntry> v(3);
  v[0].name = "CON";
  v[1].name = "C:evil.txt";
  v[2].name = "../good.txt";  // folder parts are dropped: lands inside as good.txt
  for (auto& e : v) e.data = TextBytes(e.name);
  TestArchive a = BuildArchive(v);
  WriteWholeFile(m_work.file("unsafe.zip"), a.bytes);
  ScratchFolder out("cli-unsafe");
  std::string dir = out.file("inner");
  Command c = Shell(Quote(Cli()) + " unpack " + Quote(m_work.file("unsafe.zip")) + " " + Quote(dir), true);
  EXPECT_EQ(c.status, 2) << c.out;
  EXPECT_NE(c.out.find("skipped: 'CON'"), std::string::npos) << c.out;
  EXPECT_NE(c.out.find("skipped: 'C:evil.txt'"), std::string::npos) << c.out;
  EXPECT_EQ(ReadWholeFile(vx::JoinPath(dir, "good.txt")), v[2].data);
  EXPECT_EQ(out.list(), std::vector<std::string>{"inner"});
}
