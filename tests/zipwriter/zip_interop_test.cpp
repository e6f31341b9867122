// Archives made by `vellumix-cli pack` are read by real peers: Info-ZIP unzip, 7-Zip
// and Python's zipfile, with and without the traditional encryption.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "common/file.h"
#include "common/package_contract.h"
#include "zip_test_util.h"

namespace {

using namespace ziptest;

struct RunResult {
  int status = -1;
  std::string output;  // stdout and stderr together
};

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') {
      q += "'\\''";
    } else {
      q += c;
    }
  }
  return q + "'";
}

// The peers run in a UTF-8 locale: they write the archive's UTF-8 names as such
// (Info-ZIP unzip would escape them as "#Uxxxx" in the C locale).
RunResult RunCommand(const std::string& command) {
  RunResult r;
  FILE* p = popen(("LC_ALL=C.UTF-8 " + command + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  int rc = pclose(p);
  r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return r;
}

RunResult Pack(const std::string& archive, const std::vector<std::string>& files, const char* password,
               unsigned threads = 0) {
  std::string cmd = Quote(VX_CLI_PATH) + " pack";
  if (password) cmd += " --password " + Quote(password);
  if (threads) cmd += " --threads " + std::to_string(threads);
  cmd += " " + Quote(archive);
  for (const std::string& f : files) cmd += " " + Quote(f);
  return RunCommand(cmd);
}

struct CorpusFile {
  std::string name;
  Bytes data;
  int64_t modified;
  bool readOnly;
};

class PeerInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"unzip", "7z", "python3"}) {
      ASSERT_EQ(RunCommand(std::string("command -v ") + tool).status, 0)
          << tool << " is needed (scripts/bootstrap.sh)";
    }
    Bytes mixed = CompressibleBytes(1200000);
    Bytes noise = RandomBytes(900000, 4);
    mixed.insert(mixed.end(), noise.begin(), noise.end());
    m_corpus = {
        {"intro.swf", CompressibleBytes(200000), 1715956678, false},
        {"data.xml", CompressibleBytes(777), 1600000001, false},
        {"song.mp3", RandomBytes(300000, 77), 1500000000, false},
        {"bundle.zip", RandomBytes(40000, 5), 1400000002, false},
        {"empty.txt", {}, 1300000000, false},
        {"readonly.ini", CompressibleBytes(100), 1200000000, true},
        {"mixed.bin", mixed, 1100000000, false},
        {"name with spaces.jpg", RandomBytes(16385, 6), 1000000000, false},
        // Names beyond ASCII: UTF-8, flagged as such.
        {"\xE6\xB8\xB8\xE6\x88\x8F.swf", CompressibleBytes(3000), 1000000001, false},
        {"\xE6\x95\xB0\xE6\x8D\xAE.xml", CompressibleBytes(500), 1000000002, false},
        {"caf\xC3\xA9 cr\xC3\xA8me.txt", CompressibleBytes(50), 1000000003, false},
    };
    for (const CorpusFile& f : m_corpus) {
      std::string path = m_dir / f.name;
      WriteFile(path, f.data);
      ASSERT_TRUE(vx::SetFileTimesUnix(path, f.modified, f.modified));
      if (f.readOnly) {
        ASSERT_TRUE(vx::SetFileAttributeBits(path, vx::kAttrReadOnly));
      }
      m_paths.push_back(path);
    }
  }

  // Every corpus file must be in `folder` with the same bytes, read-only bit and
  // modification time (the peers take it from the extended-timestamp field).
  void ExpectExtracted(const std::string& folder) {
    for (const CorpusFile& f : m_corpus) {
      std::string path = vx::JoinPath(folder, f.name);
      ASSERT_TRUE(vx::PathExists(path)) << path;
      EXPECT_EQ(ReadFile(path), f.data) << path;
      vx::FileDescription d;
      ASSERT_TRUE(vx::DescribePath(path, d));
      EXPECT_EQ((d.attributes & vx::kAttrReadOnly) != 0, f.readOnly) << path;
      EXPECT_EQ(vx::FileTimeToUnix(d.lastWrite), static_cast<uint32_t>(f.modified)) << path;
    }
  }

  // Python's zipfile: names in order, the methods, the encryption flag, every entry
  // read back (zipfile checks the CRC) and compared with its source.
  void CheckWithPython(const std::string& archive, const char* password) {
    std::string script = m_dir / "check.py";
    WriteFile(
        script,
        "import sys, zipfile\n"
        "archive, password, folder = sys.argv[1], sys.argv[2], sys.argv[3]\n"
        "names = sys.argv[4:]\n"
        "stored = ('.Z', '.zip', '.zoo', '.arc', '.lzh', '.arj', '.gz', '.tgz')\n"
        "with zipfile.ZipFile(archive) as z:\n"
        "    if password:\n"
        "        z.setpassword(password.encode())\n"
        "    infos = z.infolist()\n"
        "    assert [i.filename for i in infos] == names, [i.filename for i in infos]\n"
        "    bad = z.testzip()\n"
        "    assert bad is None, 'bad entry ' + str(bad)\n"
        "    for i in infos:\n"
        "        want = zipfile.ZIP_STORED if i.filename.lower().endswith(tuple(s.lower() for s in stored)) "
        "else zipfile.ZIP_DEFLATED\n"
        "        assert i.compress_type == want, (i.filename, i.compress_type)\n"
        "        assert bool(i.flag_bits & 1) == bool(password), (i.filename, i.flag_bits)\n"
        "        assert bool(i.flag_bits & 0x800) == (not i.filename.isascii()), (i.filename, i.flag_bits)\n"
        "        assert i.create_version == 23 and i.create_system == 11, (i.create_version, "
        "i.create_system)\n"
        "        with open(folder + '/' + i.filename, 'rb') as f:\n"
        "            assert z.read(i) == f.read(), i.filename\n"
        "print('ok', len(infos))\n");
    std::string cmd = "python3 " + Quote(script) + " " + Quote(archive) + " " +
                      Quote(password ? password : "") + " " + Quote(m_dir.path());
    for (const CorpusFile& f : m_corpus) cmd += " " + Quote(f.name);
    RunResult r = RunCommand(cmd);
    EXPECT_EQ(r.status, 0) << r.output;
  }

  void CheckAllPeers(const char* password, unsigned threads = 0) {
    std::string archive = m_out / (password ? "encrypted.zip" : "plain.zip");
    RunResult packed = Pack(archive, m_paths, password, threads);
    ASSERT_EQ(packed.status, 0) << packed.output;
    EXPECT_TRUE(packed.output.empty()) << packed.output;
    std::string pw = password ? std::string(" -P ") + Quote(password) : "";
    std::string pw7 = password ? " " + Quote(std::string("-p") + password) : "";

    RunResult t = RunCommand("unzip -t" + pw + " " + Quote(archive));
    EXPECT_EQ(t.status, 0) << t.output;
    EXPECT_NE(t.output.find("No errors detected"), std::string::npos) << t.output;
    std::string byUnzip = m_out / (std::string("unzip-") + (password ? "e" : "p"));
    RunResult x = RunCommand("unzip -o -q" + pw + " " + Quote(archive) + " -d " + Quote(byUnzip));
    EXPECT_EQ(x.status, 0) << x.output;
    ExpectExtracted(byUnzip);

    RunResult t7 = RunCommand("7z t" + pw7 + " " + Quote(archive));
    EXPECT_EQ(t7.status, 0) << t7.output;
    EXPECT_EQ(t7.output.find("Warning"), std::string::npos) << t7.output;
    std::string by7z = m_out / (std::string("7z-") + (password ? "e" : "p"));
    RunResult x7 = RunCommand("7z x -y" + pw7 + " -o" + Quote(by7z) + " " + Quote(archive));
    EXPECT_EQ(x7.status, 0) << x7.output;
    ExpectExtracted(by7z);

    CheckWithPython(archive, password);

    if (password) {
      // And the wrong password is refused by each of them.
      EXPECT_NE(RunCommand("unzip -t -P 'Rvd%q!KJEc' " + Quote(archive)).status, 0);
      EXPECT_NE(RunCommand("7z t -p'Rvd%q!KJEc' " + Quote(archive)).status, 0);
    }
  }

  ScratchFolder m_dir{"interop_src"};
  ScratchFolder m_out{"interop_out"};
  std::vector<CorpusFile> m_corpus;
  std::vector<std::string> m_paths;
};

TEST_F(PeerInterop, EncryptedArchiveTestsAndExtractsIdentically) { CheckAllPeers(vx::kPackagePassword); }

// Packed on 1, 2 and 5 threads: the same archive, and every peer reads it.
TEST_F(PeerInterop, PlainArchiveTestsAndExtractsIdenticallyWhateverTheThreads) {
  Bytes first;
  for (unsigned threads : {1u, 2u, 5u}) {
    SCOPED_TRACE("threads " + std::to_string(threads));
    CheckAllPeers(nullptr, threads);
    const Bytes archive = WithoutAccessAndCreationTimes(ReadFile(m_out / "plain.zip"));
    if (threads == 1) first = archive;
    EXPECT_TRUE(archive == first) << "differs from the one-thread archive";
  }
}

// A failed add is reported on one line naming the file, and the archive stays valid
// for the files that were added, also when the failed entry left orphaned data.
TEST_F(PeerInterop, FailedAddsLeaveAValidArchive) {
  std::string fifo = m_dir / "live.zip";
  // The reading side closes the FIFO early; the feeder must see EPIPE, not a signal.
  std::signal(SIGPIPE, SIG_IGN);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::thread feeder([&] {
    FILE* fp = std::fopen(fifo.c_str(), "wb");
    if (!fp) return;
    for (int i = 0; i < 2000; ++i) std::fputs("data that appears while the archive is written\n", fp);
    std::fclose(fp);
  });
  std::string archive = m_out / "partial.zip";
  std::string missing = m_dir / "missing.swf";
  RunResult r = Pack(archive, {m_paths[0], missing, fifo, m_paths[1]}, vx::kPackagePassword);
  feeder.join();
  EXPECT_EQ(r.status, 2) << r.output;
  // One line per failed file, naming it and the writer's reason.
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < r.output.size()) {
    size_t end = r.output.find('\n', start);
    lines.push_back(r.output.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  ASSERT_EQ(lines.size(), 2u) << r.output;
  EXPECT_NE(lines[0].find(missing), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("cannot be created or opened"), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find(fifo), std::string::npos) << lines[1];
  EXPECT_NE(lines[1].find("changed size"), std::string::npos) << lines[1];

  std::string pw = Quote(vx::kPackagePassword);
  RunResult t = RunCommand("unzip -t -P " + pw + " " + Quote(archive));
  EXPECT_EQ(t.status, 0) << t.output;
  RunResult t7 = RunCommand("7z t -p" + pw + " " + Quote(archive));
  EXPECT_EQ(t7.status, 0) << t7.output;
  RunResult py = RunCommand("python3 -c " +
                            Quote("import sys, zipfile\n"
                                  "z = zipfile.ZipFile(sys.argv[1]); z.setpassword(sys.argv[2].encode())\n"
                                  "assert z.testzip() is None\n"
                                  "print(' '.join(z.namelist()))\n") +
                            " " + Quote(archive) + " " + pw);
  EXPECT_EQ(py.status, 0) << py.output;
  EXPECT_EQ(py.output, m_corpus[0].name + " " + m_corpus[1].name + "\n");
}

TEST(PackCommand, UsageAndHelp) {
  RunResult help = RunCommand(Quote(VX_CLI_PATH) + " pack --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.output.rfind("usage: vellumix-cli pack", 0), 0u) << help.output;

  for (const char* args :
       {"", " only-archive.zip", " --password", " --bogus a.zip b", " a.zip b --threads"}) {
    RunResult r = RunCommand(Quote(VX_CLI_PATH) + " pack" + args);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_NE(r.output.find("usage: vellumix-cli pack"), std::string::npos) << args << ": " << r.output;
  }
  // A thread count is a whole number from 1 to 16; nothing is written otherwise.
  ScratchFolder threads("threads");
  for (const char* n : {"0", "17", "x", "", "2x", "-1", "99999999999"}) {
    for (const std::string& form :
         {std::string(" --threads '") + n + "'", std::string(" '--threads=") + n + "'"}) {
      RunResult r = RunCommand(Quote(VX_CLI_PATH) + " pack" + form + " " + Quote(threads / "t.zip") + " " +
                               Quote(VX_CLI_PATH));
      EXPECT_EQ(r.status, 1) << form;
      EXPECT_NE(r.output.find("--threads takes a whole number from 1 to 16"), std::string::npos)
          << form << ": " << r.output;
    }
  }
  EXPECT_TRUE(threads.list().empty());
  for (const char* n : {"1", "16", "016"}) {
    RunResult r = RunCommand(Quote(VX_CLI_PATH) + " pack --threads=" + n + " " + Quote(threads / "t.zip") +
                             " " + Quote(VX_CLI_PATH));
    EXPECT_EQ(r.status, 0) << n << ": " << r.output;
  }

  ScratchFolder dir("cli");
  RunResult r = Pack(dir / "no-such-folder/out.zip", {VX_CLI_PATH}, nullptr);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.output.find("no-such-folder/out.zip"), std::string::npos) << r.output;
}

}  // namespace
