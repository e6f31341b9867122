#include "tests/gui/scenarios/scenarios.h"

#include <algorithm>

namespace vx::test::gui {

// One Add of 40 files whose names add up to far more than MAX_PATH characters lists
// them all in the order chosen; a selection too long even for the large buffer is
// refused with a warning owned by the window and changes nothing.
void Many(const Setup& s) {
  StringTable table(s.exe(), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  const std::string folder = s.dataDir + "\\many";
  CreateDirectoryA(folder.c_str(), nullptr);
  std::vector<std::string> names = LongNames(40, 48, ".xml");
  for (size_t i = 0; i < names.size(); i += 8) names[i].replace(names[i].size() - 4, 4, ".swf");
  size_t total = folder.size();
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string data =
        names[i].back() == 'f' ? MakeSwf(100 + static_cast<int>(i), 60) : std::string(i + 1, 'x');
    EXPECT_TRUE(WriteFileBytes(folder + "\\" + names[i], data)) << Printf("write %s", names[i].c_str());
    total += names[i].size() + 1;
  }
  EXPECT_TRUE(total > 4 * MAX_PATH) << Printf("the names take only %u characters",
                                              static_cast<unsigned>(total));
  // Chosen in reverse order of their names: the rows follow the order of the choice.
  std::reverse(names.begin(), names.end());

  Packager p;
  ASSERT_TRUE(StartPackager(p, s.installDir)) << "the packager did not start";
  HWND dlg = PrepareAddDialog(p, folder, names);
  ASSERT_NE(dlg, nullptr) << "no Add dialog";
  PressOk(dlg);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dlg) || !IsWindowVisible(dlg); }, 10000))
      << "the Add dialog stayed";
  Settle(p.main);
  EXPECT_TRUE(FindPopup(p) == nullptr) << Printf("a box after adding 40 files: '%s'",
                                                 FindPopup(p) ? Utf8(MessageText(FindPopup(p))).c_str() : "");
  EXPECT_TRUE(RowCount(p) == 40) << Printf("%d rows after adding 40 files", RowCount(p));
  const std::vector<std::wstring> numbers = Column(p, 0), shown = Column(p, 1), paths = Column(p, 5),
                                  dims = Column(p, 3);
  for (size_t i = 0; i < names.size() && i < shown.size(); ++i) {
    EXPECT_TRUE(shown[i] == Wide(names[i])) << Printf(
        "row %u shows '%s', chosen '%s'", static_cast<unsigned>(i), Utf8(shown[i]).c_str(), names[i].c_str());
    EXPECT_TRUE(paths[i] == Wide(folder + "\\" + names[i]))
        << Printf("row %u path '%s'", static_cast<unsigned>(i), Utf8(paths[i]).c_str());
    EXPECT_TRUE(numbers[i] == std::to_wstring(i + 1))
        << Printf("row %u numbered '%s'", static_cast<unsigned>(i), Utf8(numbers[i]).c_str());
    EXPECT_TRUE(dims[i].empty() == (names[i].back() != 'f'))
        << Printf("row %u dimension '%s'", static_cast<unsigned>(i), Utf8(dims[i]).c_str());
  }

  // Far more than the large buffer holds: 380 names of 180 characters (about 69,000).
  const std::string big = s.dataDir + "\\big";
  CreateDirectoryA(big.c_str(), nullptr);
  const std::vector<std::string> bigNames = LongNames(380, 180, ".txt");
  for (const std::string& name : bigNames) WriteFileBytes(big + "\\" + name, "b");
  dlg = PrepareAddDialog(p, big, bigNames);
  EXPECT_TRUE(dlg != nullptr) << "no Add dialog for the long selection";
  if (dlg) {
    PressOk(dlg);
    HWND box = nullptr;
    WaitUntil(
        [&] {
          box = FindPopup(p);
          return box && box != dlg;
        },
        15000);
    EXPECT_TRUE(box && box != dlg) << "no warning after a selection too long for the buffer";
    if (box && box != dlg) {
      Sleep(200);
      EXPECT_TRUE(NormalizeLines(MessageText(box)) == NormalizeLines(table.get(1046)))
          << Printf("warning '%s'", Utf8(MessageText(box)).c_str());
      EXPECT_TRUE(Text(box) == L"Vellumix") << Printf("warning caption '%s'", Utf8(Text(box)).c_str());
      EXPECT_TRUE(GetWindow(box, GW_OWNER) == p.main) << "warning not owned by the main window";
      Answer(box, IDOK);
    }
    Settle(p.main);
    EXPECT_TRUE(FindPopup(p) == nullptr) << "a box left after the warning";
    EXPECT_TRUE(RowCount(p) == 40) << Printf("%d rows after the refused selection", RowCount(p));
  }
  // The window goes on as before: one more file is the 41st row.
  const std::string extra = s.dataDir + "\\extra.bin";
  EXPECT_TRUE(WriteFileBytes(extra, "e")) << "write";
  EXPECT_TRUE(AddFiles(p, {extra})) << "add";
  EXPECT_TRUE(RowCount(p) == 41 && Cell(p, 40, 5) == Wide(extra))
      << Printf("%d rows after adding one more", RowCount(p));
  EXPECT_TRUE(ClosePackager(p)) << "the packager did not close";
}

}  // namespace vx::test::gui
