// The package builder on a stand-in stub: what a package carries, in which order, and
// what a failed build leaves behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/file_size.h"
#include "common/package_description.h"
#include "package_test_util.h"
#include "packager/core/builder.h"
#include "tests/support/build_tree.h"

namespace vx::test {
namespace {

const std::string kStub = BuildTreePath(VX_TEST_STUB);

class Builder : public ::testing::Test {
 protected:
  Builder() : m_dir("builder") {}

  void SetUp() override {
    ASSERT_TRUE(PathExists(kStub)) << kStub;
    CreateFolders(m_dir / "install");
    CreateFolders(m_dir / "movies");
    CreateFolders(m_dir / "other");
    WriteBytes(m_dir / "movies/intro.swf", "FWS\x08" + NoiseBytes(3000, 1));
    WriteBytes(m_dir / "data.xml", "<show><slide/></show>\n");
    WriteBytes(m_dir / "song.mp3", NoiseBytes(20000, 2));
    m_request.installDir = m_dir / "install";
    m_request.stubPath = kStub;
    m_request.mainMovie = m_dir / "movies/intro.swf";
    m_request.rows = {{"data.xml", m_dir / "data.xml"}, {"song.mp3", m_dir / "song.mp3"}};
    m_request.title = "Road show";
    m_request.outputPath = m_dir / "show.exe";
  }

  std::string work(const char* tail) const { return InstallPath(m_request.installDir, tail); }

  // An existing file at the output path that a failed build must leave alone.
  void PlaceOldOutput() { WriteBytes(m_request.outputPath, "the previous package"); }
  void ExpectOldOutputUntouched() {
    EXPECT_EQ(ReadBytes(m_request.outputPath), "the previous package");
    for (const std::string& name : m_dir.list())
      EXPECT_EQ(name.find(".tmp-"), std::string::npos)
          << "a temporary file was left beside the output: " << name;
  }

  ScratchFolder m_dir;
  BuildRequest m_request;
};

TEST_F(Builder, ResourceModePackageCarriesArchiveTitleAndDescription) {
  std::vector<std::string> progress;
  BuildOutcome o = BuildPackage(m_request, [&](size_t i, size_t n, const std::string& name) {
    progress.push_back(std::to_string(i) + "/" + std::to_string(n) + " " + name);
  });
  ASSERT_TRUE(o.succeeded) << o.describe();
  // Then the package itself is written.
  EXPECT_EQ(progress, (std::vector<std::string>{"0/4 package.ini", "1/4 intro.swf", "2/4 data.xml",
                                                "3/4 song.mp3", "4/4 "}));

  PackageContent p = ReadPackage(m_request.outputPath);
  // "ZIP" 129 is the work folder's archive byte for byte.
  EXPECT_EQ(p.archive, ReadBytes(work(kWorkArchiveTail)));
  EXPECT_EQ(Names(p.entries), (std::vector<std::string>{"package.ini", "intro.swf", "data.xml", "song.mp3"}));
  for (const ArchiveEntry& e : p.entries) {
    EXPECT_TRUE(e.encrypted) << e.name;
    EXPECT_TRUE(e.crcMatched) << e.name;
  }
  ASSERT_EQ(p.entries.size(), 4u);
  EXPECT_EQ(p.entries[0].data, "[SETTINGS]\r\nfullscreen=false\r\nmainmovie=intro.swf\r\ntype=resource");
  EXPECT_EQ(p.entries[1].data, ReadBytes(m_request.mainMovie));
  EXPECT_EQ(p.entries[2].data, ReadBytes(m_dir / "data.xml"));
  EXPECT_EQ(p.entries[3].data, ReadBytes(m_dir / "song.mp3"));
  // No folder name anywhere in the archive.
  EXPECT_EQ(p.archive.find("movies"), std::string::npos);

  std::vector<uint8_t> block = TitleStringBlock("Road show");
  EXPECT_EQ(p.titleBlock, std::string(block.begin(), block.end()));
  EXPECT_FALSE(p.hasFlash);
  EXPECT_EQ(CountResources(p.resources, ResourceId(kArchiveResourceType), ResourceId(kArchiveResourceId)), 1);
  EXPECT_EQ(CountResources(p.resources, ResourceId(kStringTableType), ResourceId(kTitleStringBlock)), 1);

  // The work files stay; the output is the finished stub copy.
  EXPECT_EQ(ReadBytes(work(kWorkStubTail)), ReadBytes(m_request.outputPath));
  EXPECT_EQ(ReadBytes(work(kWorkDescriptionTail)), p.entries[0].data);
  EXPECT_EQ(o.sizeText, FormatFileSize(m_request.outputPath));
  EXPECT_EQ(o.resultText,
            "Congrtulations, the package has been created successfully.\n\nFile Size: " + o.sizeText +
                "\n\n  Click 'Yes' to view it.\n  Click 'No' to locate it.\n  Click 'Cancel' to back.");
}

TEST_F(Builder, StubResourcesOtherThanTheReplacedOnesStayByteForByte) {
  ASSERT_TRUE(BuildPackage(m_request).succeeded);
  std::vector<PeResource> before, after;
  std::string error;
  ASSERT_TRUE(ReadPeResources(kStub, before, &error)) << error;
  ASSERT_TRUE(ReadPeResources(m_request.outputPath, after, &error)) << error;
  for (const PeResource& r : before) {
    bool replaced =
        (r.type == ResourceId(kArchiveResourceType) && r.name == ResourceId(kArchiveResourceId)) ||
        (r.type == ResourceId(kStringTableType) && r.name == ResourceId(kTitleStringBlock));
    if (replaced) continue;
    const PeResource* same = nullptr;
    for (const PeResource& a : after)
      if (a.type == r.type && a.name == r.name && a.language == r.language) same = &a;
    ASSERT_NE(same, nullptr) << r.type.toString() << " " << r.name.toString();
    EXPECT_EQ(ResourceBytes(m_request.outputPath, *same), ResourceBytes(kStub, r)) << r.type.toString();
  }
  EXPECT_EQ(after.size(), before.size());  // replaced, not added beside
}

TEST_F(Builder, SlideshowWithEmptyListGivesTheDescriptionAlone) {
  m_request.packageType = PackageType::Slideshow;  // the movie box still shows a path
  m_request.rows.clear();
  m_request.fullScreen = true;
  BuildOutcome o = BuildPackage(m_request);
  ASSERT_TRUE(o.succeeded) << o.describe();
  PackageContent p = ReadPackage(m_request.outputPath);
  ASSERT_EQ(Names(p.entries), std::vector<std::string>{"package.ini"});
  EXPECT_EQ(p.entries[0].data, "[SETTINGS]\r\nfullscreen=true\r\nmainmovie=\r\ntype=slideshow");
}

TEST_F(Builder, SlideshowNeverAddsTheMainMovieAndKeepsListOrder) {
  m_request.packageType = PackageType::Slideshow;
  WriteBytes(m_dir / "b.swf", "FWS\x08" + NoiseBytes(100, 3));
  WriteBytes(m_dir / "a.swf", "FWS\x08" + NoiseBytes(100, 4));
  m_request.rows = {{"b.swf", m_dir / "b.swf"}, {"a.swf", m_dir / "a.swf"}};
  ASSERT_TRUE(BuildPackage(m_request).succeeded);
  PackageContent p = ReadPackage(m_request.outputPath);
  EXPECT_EQ(Names(p.entries), (std::vector<std::string>{"package.ini", "b.swf", "a.swf"}));
}

TEST_F(Builder, EntriesOfOneNameAreRefusedBeforeAnyWork) {
  // Once extracted, a second entry of a name replaces the first: a second package.ini
  // the description, a second clip the first one. Letter case does not count.
  WriteBytes(m_dir / "other/Data.XML", "<other/>");
  WriteBytes(m_dir / "other/INTRO.swf", "FWS\x08");
  WriteBytes(m_dir / "other/Package.ini", "[SETTINGS]");
  const std::string intro = m_dir / "movies/intro.swf";
  const struct {
    std::string mainMovie;
    std::vector<PackageRow> rows;
    std::string named;  // the refused file
    std::string taken;  // what the failure says it collides with
  } cases[] = {
      {intro,
       {{"data.xml", m_dir / "data.xml"}, {"Data.XML", m_dir / "other/Data.XML"}},
       m_dir / "other/Data.XML",
       m_dir / "data.xml"},
      {intro, {{"INTRO.swf", m_dir / "other/INTRO.swf"}}, m_dir / "other/INTRO.swf", intro},
      {intro, {{"intro.swf", intro}}, intro, intro},
      {intro, {{"Package.ini", m_dir / "other/Package.ini"}}, m_dir / "other/Package.ini", "package.ini"},
      {m_dir / "other/Package.ini", {}, m_dir / "other/Package.ini", "package.ini"},
  };
  PlaceOldOutput();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.named);
    m_request.mainMovie = c.mainMovie;
    m_request.rows = c.rows;
    BuildOutcome o = BuildPackage(m_request);
    EXPECT_FALSE(o.succeeded) << c.named;
    EXPECT_NE(o.describe().find("'" + c.named + "' has the same name as"), std::string::npos) << o.describe();
    EXPECT_NE(o.describe().find(c.taken), std::string::npos) << o.describe();
    EXPECT_FALSE(PathExists(work(kWorkFolderTail))) << c.named;
  }
  ExpectOldOutputUntouched();

  // A slideshow carries no main movie: a row of its name is no collision.
  m_request.packageType = PackageType::Slideshow;
  m_request.rows = {{"INTRO.swf", m_dir / "other/INTRO.swf"}};
  BuildOutcome o = BuildPackage(m_request);
  ASSERT_TRUE(o.succeeded) << o.describe();
  EXPECT_EQ(Names(ReadPackage(m_request.outputPath).entries),
            (std::vector<std::string>{"package.ini", "INTRO.swf"}));
}

TEST_F(Builder, BuildingTwiceReplacesAllWorkFiles) {
  m_request.rows.push_back({"big.bin", m_dir / "big.bin"});
  WriteBytes(m_dir / "big.bin", NoiseBytes(200000, 5));
  ASSERT_TRUE(BuildPackage(m_request).succeeded);
  size_t firstArchive = ReadBytes(work(kWorkArchiveTail)).size();

  m_request.packageType = PackageType::Slideshow;
  m_request.rows = {{"data.xml", m_dir / "data.xml"}};
  m_request.title = "";
  ASSERT_TRUE(BuildPackage(m_request).succeeded);
  std::string archive = ReadBytes(work(kWorkArchiveTail));
  EXPECT_LT(archive.size(), firstArchive / 10);
  EXPECT_EQ(Names(ReadArchive(archive, kPackagePassword)),
            (std::vector<std::string>{"package.ini", "data.xml"}));
  EXPECT_EQ(ReadBytes(work(kWorkDescriptionTail)),
            "[SETTINGS]\r\nfullscreen=false\r\nmainmovie=\r\ntype=slideshow");
  PackageContent p = ReadPackage(m_request.outputPath);
  EXPECT_EQ(p.archive, archive);
  EXPECT_EQ(p.titleBlock, std::string(4, '\0'));
  EXPECT_EQ(ReadBytes(work(kWorkStubTail)), ReadBytes(m_request.outputPath));
}

TEST_F(Builder, FlashControlIsCarriedOnlyWhenAsked) {
  // Clear: the control file is not read at all, so its absence is no error.
  m_request.flashControlPath = m_dir / "no-such.ocx";
  BuildOutcome o = BuildPackage(m_request);
  ASSERT_TRUE(o.succeeded) << o.describe();
  EXPECT_FALSE(ReadPackage(m_request.outputPath).hasFlash);

  // Ticked: the default place is the installation folder's Flash8.ocx.
  m_request.flashControlPath.clear();
  m_request.autoInstallFlash = true;
  std::string ocx = "MZ" + NoiseBytes(50000, 6);
  WriteBytes(InstallPath(m_request.installDir, kFlashControlTail), ocx);
  o = BuildPackage(m_request);
  ASSERT_TRUE(o.succeeded) << o.describe();
  PackageContent p = ReadPackage(m_request.outputPath);
  EXPECT_TRUE(p.hasFlash);
  EXPECT_EQ(p.flash, ocx);
  for (const PeResource& r : p.resources)
    if (r.type == ResourceId(kFlashResourceType)) {
      EXPECT_EQ(r.language, kPackageLanguage);
    }
}

TEST_F(Builder, FinishedCopyMayBeMovedWhenTheWorkFilesAreNotKept) {
  m_request.keepWorkFiles = false;
  PlaceOldOutput();
  ASSERT_TRUE(BuildPackage(m_request).succeeded);
  EXPECT_FALSE(PathExists(work(kWorkStubTail)));
  PackageContent p = ReadPackage(m_request.outputPath);
  EXPECT_EQ(p.archive, ReadBytes(work(kWorkArchiveTail)));
  EXPECT_EQ(Names(p.entries), (std::vector<std::string>{"package.ini", "intro.swf", "data.xml", "song.mp3"}));
}

TEST_F(Builder, DefaultStubIsTheInstallationFolders) {
  m_request.stubPath.clear();
  BuildOutcome o = BuildPackage(m_request);
  EXPECT_FALSE(o.succeeded);
  EXPECT_EQ(o.message, "Failed to copying file to temp folder");
  EXPECT_EQ(o.path, InstallPath(m_request.installDir, kStubTail));
  EXPECT_FALSE(o.detail.empty()) << "no reason from the system";  // Windows: GetLastError's

  ASSERT_TRUE(CopyFilePath(kStub, InstallPath(m_request.installDir, kStubTail)));
  EXPECT_TRUE(BuildPackage(m_request).succeeded);
}

// ---- Failures: one message naming the file, and the output path left alone ----------

TEST_F(Builder, MissingSourceStopsBeforeAnyWork) {
  PlaceOldOutput();
  m_request.rows.push_back({"gone.png", m_dir / "gone.png"});
  BuildOutcome o = BuildPackage(m_request);
  EXPECT_FALSE(o.succeeded);
  EXPECT_NE(o.describe().find(m_dir / "gone.png"), std::string::npos) << o.describe();
  EXPECT_FALSE(PathExists(work(kWorkFolderTail)));
  ExpectOldOutputUntouched();
}

TEST_F(Builder, SourceThatCannotBeArchivedStopsTheBuild) {
  PlaceOldOutput();
  // The file is there when the build starts and gone when its turn comes.
  BuildOutcome o = BuildPackage(m_request, [&](size_t, size_t, const std::string& name) {
    if (name == "song.mp3") DeleteFilePath(m_dir / "song.mp3");
  });
  EXPECT_FALSE(o.succeeded);
  EXPECT_NE(o.describe().find(m_dir / "song.mp3"), std::string::npos) << o.describe();
  ExpectOldOutputUntouched();
}

TEST_F(Builder, DescriptionThatCannotBeWrittenStopsTheBuild) {
  PlaceOldOutput();
  // A folder where the description file should go.
  ASSERT_TRUE(CreateFolders(work(kWorkDescriptionTail)));
  BuildOutcome o = BuildPackage(m_request);
  EXPECT_FALSE(o.succeeded);
  EXPECT_EQ(o.message, "The file '" + work(kWorkDescriptionTail) + "' could not be opened for writing");
  ExpectOldOutputUntouched();
}

TEST_F(Builder, ArchiveThatCannotBeCreatedStopsTheBuild) {
  PlaceOldOutput();
  ASSERT_TRUE(CreateFolders(work(kWorkArchiveTail)));
  BuildOutcome o = BuildPackage(m_request);
  EXPECT_FALSE(o.succeeded);
  EXPECT_NE(o.describe().find(work(kWorkArchiveTail)), std::string::npos) << o.describe();
  ExpectOldOutputUntouched();
}

TEST_F(Builder, StubThatIsNoExecutableStopsWithoutSuccess) {
  PlaceOldOutput();
  m_request.stubPath = m_dir / "fake.exe";
  WriteBytes(m_request.stubPath, "MZ but nothing else of an executable");
  BuildOutcome o = BuildPackage(m_request);
  EXPECT_FALSE(o.succeeded);
  EXPECT_EQ(o.message, "Failed to UpdateResource");
  // The file that failed is the work copy, not the stub it was copied from.
  EXPECT_EQ(o.path, work(kWorkStubTail));
  EXPECT_FALSE(o.detail.empty());
  EXPECT_EQ(o.detail.find(o.path), std::string::npos) << "the path repeated in the reason: " << o.detail;
  EXPECT_TRUE(o.resultText.empty());
  ExpectOldOutputUntouched();
}

TEST_F(Builder, WorkCopyThatCannotBeWrittenNamesItWithTheSystemsReason) {
  PlaceOldOutput();
  ASSERT_TRUE(CreateFolders(work(kWorkStubTail)));  // a folder where the copy should go
  BuildOutcome o = BuildPackage(m_request);
  EXPECT_FALSE(o.succeeded);
  EXPECT_EQ(o.message, "Failed to copying file to temp folder");
  EXPECT_EQ(o.path, work(kWorkStubTail));
  EXPECT_FALSE(o.detail.empty()) << "no reason from the system";
  // As the window shows it: the message alone on the first line, file and reason below.
  EXPECT_EQ(o.messageText(), o.message + "\n\n" + o.path + "\n" + o.detail);
  ExpectOldOutputUntouched();
}

TEST_F(Builder, MissingFlashControlStopsTheBuild) {
  PlaceOldOutput();
  m_request.autoInstallFlash = true;
  m_request.flashControlPath = m_dir / "Flash8.ocx";
  BuildOutcome o = BuildPackage(m_request);
  EXPECT_FALSE(o.succeeded);
  EXPECT_NE(o.describe().find(m_dir / "Flash8.ocx"), std::string::npos) << o.describe();
  ExpectOldOutputUntouched();
}

TEST_F(Builder, OutputThatCannotBeWrittenIsNoSuccess) {
  m_request.outputPath = m_dir / "no-such-folder/show.exe";
  BuildOutcome o = BuildPackage(m_request);
  EXPECT_FALSE(o.succeeded);
  EXPECT_NE(o.describe().find(m_request.outputPath), std::string::npos) << o.describe();
  EXPECT_FALSE(PathExists(m_request.outputPath));
}

// The work folder is emptied when the packager ends: a package saved there, under
// any spelling of its path, is refused before any work.
TEST_F(Builder, OutputInsideTheWorkFolderIsRefused) {
  CreateFolders(work(kWorkFolderTail));
  for (const std::string& output :
       {work(kWorkFolderTail) + "/show.exe", m_dir / "install/other/../Temp/deeper/show.exe"}) {
    SCOPED_TRACE(output);
    m_request.outputPath = output;
    BuildOutcome o = BuildPackage(m_request);
    EXPECT_FALSE(o.succeeded);
    EXPECT_NE(o.message.find("work folder"), std::string::npos) << o.describe();
    EXPECT_FALSE(PathExists(work(kWorkArchiveTail)));
    EXPECT_FALSE(PathExists(output));
  }
  // Beside it is fine.
  m_request.outputPath = m_dir / "install/Temp.exe";
  EXPECT_TRUE(BuildPackage(m_request).succeeded);
}

TEST_F(Builder, InputsTooLargeForAPackageAreRefusedBeforeAnyWork) {
  // Sparse files: nothing is written, only their sizes count.
  const std::string huge = m_dir / "huge.bin";
  WriteBytes(huge, "");
  std::error_code ec;
  std::filesystem::resize_file(std::filesystem::u8path(huge), 0x100000000ull, ec);  // 4 GiB
  ASSERT_FALSE(ec) << ec.message();
  PlaceOldOutput();
  m_request.rows.push_back({"huge.bin", huge});
  BuildOutcome o = BuildPackage(m_request);
  EXPECT_FALSE(o.succeeded);
  EXPECT_NE(o.message.find("too large"), std::string::npos) << o.describe();
  EXPECT_NE(o.describe().find(huge), std::string::npos) << o.describe();
  EXPECT_FALSE(PathExists(work(kWorkFolderTail)));

  // Each below 4 GiB, but together beyond what one package carries.
  std::filesystem::resize_file(std::filesystem::u8path(huge), kMaxPackageContent / 2 + 1, ec);
  ASSERT_FALSE(ec) << ec.message();
  m_request.rows.push_back({"huge2.bin", huge});
  o = BuildPackage(m_request);
  EXPECT_FALSE(o.succeeded);
  EXPECT_NE(o.message.find("too large"), std::string::npos) << o.describe();
  EXPECT_FALSE(PathExists(work(kWorkFolderTail)));
  ExpectOldOutputUntouched();
}

TEST_F(Builder, TitleLongerThanTheFieldIsRefused) {
  m_request.title = std::string(50, 'x');
  ASSERT_TRUE(BuildPackage(m_request).succeeded);
  PlaceOldOutput();
  m_request.title = std::string(51, 'x');
  BuildOutcome o = BuildPackage(m_request);
  EXPECT_FALSE(o.succeeded);
  EXPECT_NE(o.message.find("50"), std::string::npos) << o.describe();
  ExpectOldOutputUntouched();
}

TEST(BuilderText, MainMovieNameAndResultText) {
  EXPECT_EQ(MainMovieName("C:\\shows\\intro.swf"), "intro.swf");
  EXPECT_EQ(MainMovieName("intro.swf"), "intro.swf");
  EXPECT_EQ(MainMovieName(""), "");
  EXPECT_EQ(FormatResultText("Size: %s!", "1.50 MB"), "Size: 1.50 MB!");
}

}  // namespace
}  // namespace vx::test
