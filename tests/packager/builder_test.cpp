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

namespace vx::test {
namespace {

const std::string kStub = VX_TEST_STUB;

class Builder : public ::testing::Test {
 protected:
  Builder() : dir_("builder") {}

  void SetUp() override {
    ASSERT_TRUE(PathExists(kStub)) << kStub;
    CreateFolders(dir_ / "install");
    CreateFolders(dir_ / "movies");
    CreateFolders(dir_ / "other");
    WriteBytes(dir_ / "movies/intro.swf", "FWS\x08" + NoiseBytes(3000, 1));
    WriteBytes(dir_ / "data.xml", "<show><slide/></show>\n");
    WriteBytes(dir_ / "song.mp3", NoiseBytes(20000, 2));
    request_.installDir = dir_ / "install";
    request_.stubPath = kStub;
    request_.mainMovie = dir_ / "movies/intro.swf";
    request_.rows = {{"data.xml", dir_ / "data.xml"}, {"song.mp3", dir_ / "song.mp3"}};
    request_.title = "Road show";
    request_.outputPath = dir_ / "show.exe";
  }

  std::string work(const char* tail) const { return InstallPath(request_.installDir, tail); }

  // An existing file at the output path that a failed build must leave alone.
  void PlaceOldOutput() { WriteBytes(request_.outputPath, "the previous package"); }
  void ExpectOldOutputUntouched() {
    EXPECT_EQ(ReadBytes(request_.outputPath), "the previous package");
    int strays = 0;
    ForEachInFolder(dir_.path(), [&](const std::string& name, bool) {
      strays += name.find(".tmp-") != std::string::npos ? 1 : 0;
    });
    EXPECT_EQ(strays, 0) << "a temporary file was left beside the output";
  }

  ScratchFolder dir_;
  BuildRequest request_;
};

TEST_F(Builder, ResourceModePackageCarriesArchiveTitleAndDescription) {
  std::vector<std::string> progress;
  BuildOutcome o = BuildPackage(request_, [&](size_t i, size_t n, const std::string& name) {
    progress.push_back(std::to_string(i) + "/" + std::to_string(n) + " " + name);
  });
  ASSERT_TRUE(o.succeeded) << o.describe();
  // Then the package itself is written.
  EXPECT_EQ(progress, (std::vector<std::string>{"0/4 package.ini", "1/4 intro.swf", "2/4 data.xml",
                                                "3/4 song.mp3", "4/4 "}));

  PackageContent p = ReadPackage(request_.outputPath);
  // "ZIP" 129 is the work folder's archive byte for byte.
  EXPECT_EQ(p.archive, ReadBytes(work(kWorkArchiveTail)));
  EXPECT_EQ(Names(p.entries), (std::vector<std::string>{"package.ini", "intro.swf", "data.xml", "song.mp3"}));
  for (const ArchiveEntry& e : p.entries) {
    EXPECT_TRUE(e.encrypted) << e.name;
    EXPECT_TRUE(e.crcMatched) << e.name;
  }
  ASSERT_EQ(p.entries.size(), 4u);
  EXPECT_EQ(p.entries[0].data, "[SETTINGS]\r\nfullscreen=false\r\nmainmovie=intro.swf\r\ntype=resource");
  EXPECT_EQ(p.entries[1].data, ReadBytes(request_.mainMovie));
  EXPECT_EQ(p.entries[2].data, ReadBytes(dir_ / "data.xml"));
  EXPECT_EQ(p.entries[3].data, ReadBytes(dir_ / "song.mp3"));
  // No folder name anywhere in the archive.
  EXPECT_EQ(p.archive.find("movies"), std::string::npos);

  std::vector<uint8_t> block = TitleStringBlock("Road show");
  EXPECT_EQ(p.titleBlock, std::string(block.begin(), block.end()));
  EXPECT_FALSE(p.hasFlash);
  EXPECT_EQ(CountResources(p.resources, ResourceId(kArchiveResourceType), ResourceId(kArchiveResourceId)), 1);
  EXPECT_EQ(CountResources(p.resources, ResourceId(kStringTableType), ResourceId(kTitleStringBlock)), 1);

  // The work files stay; the output is the finished stub copy.
  EXPECT_EQ(ReadBytes(work(kWorkStubTail)), ReadBytes(request_.outputPath));
  EXPECT_EQ(ReadBytes(work(kWorkDescriptionTail)), p.entries[0].data);
  EXPECT_EQ(o.sizeText, FormatFileSize(request_.outputPath));
  EXPECT_EQ(o.resultText, "Congrtulations, the package has been created successfully.\n\nFile Size: " +
                              o.sizeText +
                              "\n\n  Click 'Yes' to view it.\n  Click 'No' to locate it.\n  Click 'Cancel' to back.");
}

TEST_F(Builder, StubResourcesOtherThanTheReplacedOnesStayByteForByte) {
  ASSERT_TRUE(BuildPackage(request_).succeeded);
  std::vector<PeResource> before, after;
  std::string error;
  ASSERT_TRUE(ReadPeResources(kStub, before, &error)) << error;
  ASSERT_TRUE(ReadPeResources(request_.outputPath, after, &error)) << error;
  for (const PeResource& r : before) {
    bool replaced = (r.type == ResourceId(kArchiveResourceType) && r.name == ResourceId(kArchiveResourceId)) ||
                    (r.type == ResourceId(kStringTableType) && r.name == ResourceId(kTitleStringBlock));
    if (replaced) continue;
    const PeResource* same = nullptr;
    for (const PeResource& a : after)
      if (a.type == r.type && a.name == r.name && a.language == r.language) same = &a;
    ASSERT_NE(same, nullptr) << r.type.toString() << " " << r.name.toString();
    EXPECT_EQ(ResourceBytes(request_.outputPath, *same), ResourceBytes(kStub, r)) << r.type.toString();
  }
  EXPECT_EQ(after.size(), before.size());  // replaced, not added beside
}

TEST_F(Builder, SlideshowWithEmptyListGivesTheDescriptionAlone) {
  request_.packageType = PackageType::Slideshow;  // the movie box still shows a path
  request_.rows.clear();
  request_.fullScreen = true;
  BuildOutcome o = BuildPackage(request_);
  ASSERT_TRUE(o.succeeded) << o.describe();
  PackageContent p = ReadPackage(request_.outputPath);
  ASSERT_EQ(Names(p.entries), std::vector<std::string>{"package.ini"});
  EXPECT_EQ(p.entries[0].data, "[SETTINGS]\r\nfullscreen=true\r\nmainmovie=\r\ntype=slideshow");
}

TEST_F(Builder, SlideshowNeverAddsTheMainMovieAndKeepsListOrder) {
  request_.packageType = PackageType::Slideshow;
  WriteBytes(dir_ / "b.swf", "FWS\x08" + NoiseBytes(100, 3));
  WriteBytes(dir_ / "a.swf", "FWS\x08" + NoiseBytes(100, 4));
  request_.rows = {{"b.swf", dir_ / "b.swf"}, {"a.swf", dir_ / "a.swf"}};
  ASSERT_TRUE(BuildPackage(request_).succeeded);
  PackageContent p = ReadPackage(request_.outputPath);
  EXPECT_EQ(Names(p.entries), (std::vector<std::string>{"package.ini", "b.swf", "a.swf"}));
}

TEST_F(Builder, EntriesOfOneNameAreRefusedBeforeAnyWork) {
  // Once extracted, a second entry of a name replaces the first: a second package.ini
  // the description, a second clip the first one. Letter case does not count.
  WriteBytes(dir_ / "other/Data.XML", "<other/>");
  WriteBytes(dir_ / "other/INTRO.swf", "FWS\x08");
  WriteBytes(dir_ / "other/Package.ini", "[SETTINGS]");
  const std::string intro = dir_ / "movies/intro.swf";
  const struct {
    std::string mainMovie;
    std::vector<PackageRow> rows;
    std::string named;   // the refused file
    std::string taken;   // what the failure says it collides with
  } cases[] = {
      {intro, {{"data.xml", dir_ / "data.xml"}, {"Data.XML", dir_ / "other/Data.XML"}}, dir_ / "other/Data.XML",
       dir_ / "data.xml"},
      {intro, {{"INTRO.swf", dir_ / "other/INTRO.swf"}}, dir_ / "other/INTRO.swf", intro},
      {intro, {{"intro.swf", intro}}, intro, intro},
      {intro, {{"Package.ini", dir_ / "other/Package.ini"}}, dir_ / "other/Package.ini", "package.ini"},
      {dir_ / "other/Package.ini", {}, dir_ / "other/Package.ini", "package.ini"},
  };
  PlaceOldOutput();
  for (const auto& c : cases) {
    request_.mainMovie = c.mainMovie;
    request_.rows = c.rows;
    BuildOutcome o = BuildPackage(request_);
    EXPECT_FALSE(o.succeeded) << c.named;
    EXPECT_NE(o.describe().find("'" + c.named + "' has the same name as"), std::string::npos) << o.describe();
    EXPECT_NE(o.describe().find(c.taken), std::string::npos) << o.describe();
    EXPECT_FALSE(PathExists(work(kWorkFolderTail))) << c.named;
  }
  ExpectOldOutputUntouched();

  // A slideshow carries no main movie: a row of its name is no collision.
  request_.packageType = PackageType::Slideshow;
  request_.rows = {{"INTRO.swf", dir_ / "other/INTRO.swf"}};
  BuildOutcome o = BuildPackage(request_);
  ASSERT_TRUE(o.succeeded) << o.describe();
  EXPECT_EQ(Names(ReadPackage(request_.outputPath).entries), (std::vector<std::string>{"package.ini", "INTRO.swf"}));
}

TEST_F(Builder, BuildingTwiceReplacesAllWorkFiles) {
  request_.rows.push_back({"big.bin", dir_ / "big.bin"});
  WriteBytes(dir_ / "big.bin", NoiseBytes(200000, 5));
  ASSERT_TRUE(BuildPackage(request_).succeeded);
  size_t firstArchive = ReadBytes(work(kWorkArchiveTail)).size();

  request_.packageType = PackageType::Slideshow;
  request_.rows = {{"data.xml", dir_ / "data.xml"}};
  request_.title = "";
  ASSERT_TRUE(BuildPackage(request_).succeeded);
  std::string archive = ReadBytes(work(kWorkArchiveTail));
  EXPECT_LT(archive.size(), firstArchive / 10);
  EXPECT_EQ(Names(ReadArchive(archive, kPackagePassword)), (std::vector<std::string>{"package.ini", "data.xml"}));
  EXPECT_EQ(ReadBytes(work(kWorkDescriptionTail)), "[SETTINGS]\r\nfullscreen=false\r\nmainmovie=\r\ntype=slideshow");
  PackageContent p = ReadPackage(request_.outputPath);
  EXPECT_EQ(p.archive, archive);
  EXPECT_EQ(p.titleBlock, std::string(4, '\0'));
  EXPECT_EQ(ReadBytes(work(kWorkStubTail)), ReadBytes(request_.outputPath));
}

TEST_F(Builder, FlashControlIsCarriedOnlyWhenAsked) {
  // Clear: the control file is not read at all, so its absence is no error.
  request_.flashControlPath = dir_ / "no-such.ocx";
  BuildOutcome o = BuildPackage(request_);
  ASSERT_TRUE(o.succeeded) << o.describe();
  EXPECT_FALSE(ReadPackage(request_.outputPath).hasFlash);

  // Ticked: the default place is the installation folder's Flash8.ocx.
  request_.flashControlPath.clear();
  request_.autoInstallFlash = true;
  std::string ocx = "MZ" + NoiseBytes(50000, 6);
  WriteBytes(InstallPath(request_.installDir, kFlashControlTail), ocx);
  o = BuildPackage(request_);
  ASSERT_TRUE(o.succeeded) << o.describe();
  PackageContent p = ReadPackage(request_.outputPath);
  EXPECT_TRUE(p.hasFlash);
  EXPECT_EQ(p.flash, ocx);
  for (const PeResource& r : p.resources)
    if (r.type == ResourceId(kFlashResourceType)) {
      EXPECT_EQ(r.language, kPackageLanguage);
    }
}

TEST_F(Builder, FinishedCopyMayBeMovedWhenTheWorkFilesAreNotKept) {
  request_.keepWorkFiles = false;
  PlaceOldOutput();
  ASSERT_TRUE(BuildPackage(request_).succeeded);
  EXPECT_FALSE(PathExists(work(kWorkStubTail)));
  PackageContent p = ReadPackage(request_.outputPath);
  EXPECT_EQ(p.archive, ReadBytes(work(kWorkArchiveTail)));
  EXPECT_EQ(Names(p.entries), (std::vector<std::string>{"package.ini", "intro.swf", "data.xml", "song.mp3"}));
}

TEST_F(Builder, DefaultStubIsTheInstallationFolders) {
  request_.stubPath.clear();
  BuildOutcome o = BuildPackage(request_);
  EXPECT_FALSE(o.succeeded);
  EXPECT_EQ(o.message, "Failed to copying file to temp folder");
  EXPECT_EQ(o.path, InstallPath(request_.installDir, kStubTail));
  EXPECT_FALSE(o.detail.empty()) << "no reason from the system";  // Windows: GetLastError's

  ASSERT_TRUE(CopyFilePath(kStub, InstallPath(request_.installDir, kStubTail)));
  EXPECT_TRUE(BuildPackage(request_).succeeded);
}

// ---- Failures: one message naming the file, and the output path left alone ----------

TEST_F(Builder, MissingSourceStopsBeforeAnyWork) {
  PlaceOldOutput();
  request_.rows.push_back({"gone.png", dir_ / "gone.png"});
  BuildOutcome o = BuildPackage(request_);
  EXPECT_FALSE(o.succeeded);
  EXPECT_NE(o.describe().find(dir_ / "gone.png"), std::string::npos) << o.describe();
  EXPECT_FALSE(PathExists(work(kWorkFolderTail)));
  ExpectOldOutputUntouched();
}

TEST_F(Builder, SourceThatCannotBeArchivedStopsTheBuild) {
  PlaceOldOutput();
  // The file is there when the build starts and gone when its turn comes.
  BuildOutcome o = BuildPackage(request_, [&](size_t, size_t, const std::string& name) {
    if (name == "song.mp3") DeleteFilePath(dir_ / "song.mp3");
  });
  EXPECT_FALSE(o.succeeded);
  EXPECT_NE(o.describe().find(dir_ / "song.mp3"), std::string::npos) << o.describe();
  ExpectOldOutputUntouched();
}

TEST_F(Builder, DescriptionThatCannotBeWrittenStopsTheBuild) {
  PlaceOldOutput();
  // A folder where the description file should go.
  ASSERT_TRUE(CreateFolders(work(kWorkDescriptionTail)));
  BuildOutcome o = BuildPackage(request_);
  EXPECT_FALSE(o.succeeded);
  EXPECT_EQ(o.message, "The file '" + work(kWorkDescriptionTail) + "' could not be opened for writing");
  ExpectOldOutputUntouched();
}

TEST_F(Builder, ArchiveThatCannotBeCreatedStopsTheBuild) {
  PlaceOldOutput();
  ASSERT_TRUE(CreateFolders(work(kWorkArchiveTail)));
  BuildOutcome o = BuildPackage(request_);
  EXPECT_FALSE(o.succeeded);
  EXPECT_NE(o.describe().find(work(kWorkArchiveTail)), std::string::npos) << o.describe();
  ExpectOldOutputUntouched();
}

TEST_F(Builder, StubThatIsNoExecutableStopsWithoutSuccess) {
  PlaceOldOutput();
  request_.stubPath = dir_ / "fake.exe";
  WriteBytes(request_.stubPath, "MZ but nothing else of an executable");
  BuildOutcome o = BuildPackage(request_);
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
  BuildOutcome o = BuildPackage(request_);
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
  request_.autoInstallFlash = true;
  request_.flashControlPath = dir_ / "Flash8.ocx";
  BuildOutcome o = BuildPackage(request_);
  EXPECT_FALSE(o.succeeded);
  EXPECT_NE(o.describe().find(dir_ / "Flash8.ocx"), std::string::npos) << o.describe();
  ExpectOldOutputUntouched();
}

TEST_F(Builder, OutputThatCannotBeWrittenIsNoSuccess) {
  request_.outputPath = dir_ / "no-such-folder/show.exe";
  BuildOutcome o = BuildPackage(request_);
  EXPECT_FALSE(o.succeeded);
  EXPECT_NE(o.describe().find(request_.outputPath), std::string::npos) << o.describe();
  EXPECT_FALSE(PathExists(request_.outputPath));
}

TEST_F(Builder, InputsTooLargeForAPackageAreRefusedBeforeAnyWork) {
  // Sparse files: nothing is written, only their sizes count.
  const std::string huge = dir_ / "huge.bin";
  WriteBytes(huge, "");
  std::error_code ec;
  std::filesystem::resize_file(std::filesystem::path(huge), 0x100000000ull, ec);  // 4 GiB
  ASSERT_FALSE(ec) << ec.message();
  PlaceOldOutput();
  request_.rows.push_back({"huge.bin", huge});
  BuildOutcome o = BuildPackage(request_);
  EXPECT_FALSE(o.succeeded);
  EXPECT_NE(o.message.find("too large"), std::string::npos) << o.describe();
  EXPECT_NE(o.describe().find(huge), std::string::npos) << o.describe();
  EXPECT_FALSE(PathExists(work(kWorkFolderTail)));

  // Each below 4 GiB, but together beyond what one package carries.
  std::filesystem::resize_file(std::filesystem::path(huge), kMaxPackageContent / 2 + 1, ec);
  ASSERT_FALSE(ec) << ec.message();
  request_.rows.push_back({"huge2.bin", huge});
  o = BuildPackage(request_);
  EXPECT_FALSE(o.succeeded);
  EXPECT_NE(o.message.find("too large"), std::string::npos) << o.describe();
  EXPECT_FALSE(PathExists(work(kWorkFolderTail)));
  ExpectOldOutputUntouched();
}

TEST_F(Builder, TitleLongerThanTheFieldIsRefused) {
  request_.title = std::string(50, 'x');
  ASSERT_TRUE(BuildPackage(request_).succeeded);
  PlaceOldOutput();
  request_.title = std::string(51, 'x');
  BuildOutcome o = BuildPackage(request_);
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
