#include "tests/gui/gui_driver.h"

#include <algorithm>

namespace vx::test::gui {

// One Add of 40 files whose names add up to far more than MAX_PATH characters lists
// them all in the order chosen; a selection too long even for the large buffer is
// refused with a warning owned by the window and changes nothing.
int Many(const Setup& s) {
  StringTable table(s.exe(), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  const std::string folder = s.dataDir + "\\many";
  CreateDirectoryA(folder.c_str(), nullptr);
  std::vector<std::string> names = LongNames(40, 48, ".xml");
  for (size_t i = 0; i < names.size(); i += 8) names[i].replace(names[i].size() - 4, 4, ".swf");
  size_t total = folder.size();
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string data =
        names[i].back() == 'f' ? MakeSwf(100 + static_cast<int>(i), 60) : std::string(i + 1, 'x');
    CHECK(WriteFileBytes(folder + "\\" + names[i], data), "write %s", names[i].c_str());
    total += names[i].size() + 1;
  }
  CHECK(total > 4 * MAX_PATH, "the names take only %u characters", static_cast<unsigned>(total));
  // Chosen in reverse order of their names: the rows follow the order of the choice.
  std::reverse(names.begin(), names.end());

  Packager p;
  if (!StartPackager(p, s.installDir)) return 1;
  HWND dlg = PrepareAddDialog(p, folder, names);
  CHECK(dlg != nullptr, "no Add dialog");
  if (!dlg) return 1;
  PressOk(dlg);
  CHECK(WaitUntil([&] { return !IsWindow(dlg) || !IsWindowVisible(dlg); }, 10000), "the Add dialog stayed");
  Settle(p.main);
  CHECK(FindPopup(p) == nullptr, "a box after adding 40 files: '%s'",
        FindPopup(p) ? Utf8(MessageText(FindPopup(p))).c_str() : "");
  CHECK(RowCount(p) == 40, "%d rows after adding 40 files", RowCount(p));
  const std::vector<std::wstring> numbers = Column(p, 0), shown = Column(p, 1), paths = Column(p, 5),
                                  dims = Column(p, 3);
  for (size_t i = 0; i < names.size() && i < shown.size(); ++i) {
    CHECK(shown[i] == Wide(names[i]), "row %u shows '%s', chosen '%s'", static_cast<unsigned>(i),
          Utf8(shown[i]).c_str(), names[i].c_str());
    CHECK(paths[i] == Wide(folder + "\\" + names[i]), "row %u path '%s'", static_cast<unsigned>(i),
          Utf8(paths[i]).c_str());
    CHECK(numbers[i] == std::to_wstring(i + 1), "row %u numbered '%s'", static_cast<unsigned>(i),
          Utf8(numbers[i]).c_str());
    CHECK(dims[i].empty() == (names[i].back() != 'f'), "row %u dimension '%s'", static_cast<unsigned>(i),
          Utf8(dims[i]).c_str());
  }

  // Far more than the large buffer holds: 380 names of 180 characters (about 69,000).
  const std::string big = s.dataDir + "\\big";
  CreateDirectoryA(big.c_str(), nullptr);
  const std::vector<std::string> bigNames = LongNames(380, 180, ".txt");
  for (const std::string& name : bigNames) WriteFileBytes(big + "\\" + name, "b");
  dlg = PrepareAddDialog(p, big, bigNames);
  CHECK(dlg != nullptr, "no Add dialog for the long selection");
  if (dlg) {
    PressOk(dlg);
    HWND box = nullptr;
    WaitUntil(
        [&] {
          box = FindPopup(p);
          return box && box != dlg;
        },
        15000);
    CHECK(box && box != dlg, "no warning after a selection too long for the buffer");
    if (box && box != dlg) {
      Sleep(200);
      CHECK(NormalizeLines(MessageText(box)) == NormalizeLines(table.get(1046)), "warning '%s'",
            Utf8(MessageText(box)).c_str());
      CHECK(Text(box) == L"Vellumix", "warning caption '%s'", Utf8(Text(box)).c_str());
      CHECK(GetWindow(box, GW_OWNER) == p.main, "warning not owned by the main window");
      Answer(box, IDOK);
    }
    Settle(p.main);
    CHECK(FindPopup(p) == nullptr, "a box left after the warning");
    CHECK(RowCount(p) == 40, "%d rows after the refused selection", RowCount(p));
  }
  // The window goes on as before: one more file is the 41st row.
  const std::string extra = s.dataDir + "\\extra.bin";
  CHECK(WriteFileBytes(extra, "e"), "write");
  CHECK(AddFiles(p, {extra}), "add");
  CHECK(RowCount(p) == 41 && Cell(p, 40, 5) == Wide(extra), "%d rows after adding one more", RowCount(p));
  CHECK(ClosePackager(p), "the packager did not close");
  return g_failures ? 1 : 0;
}

}  // namespace vx::test::gui
