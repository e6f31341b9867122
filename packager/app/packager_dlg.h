// CPackagerDlg: the packager's main window. The user chooses the package type, the
// main movie and the files that go with it, sets the title and the two options, and
// presses "Package It!", which builds the package on a worker thread.
#pragma once
#include <atomic>
#include <memory>
#include <string>

#include "framework/dialog.h"
#include "packager/app/color_label.h"
#include "packager/app/image_button.h"
#include "packager/app/list_view.h"
#include "packager/core/builder.h"
#include "resource.h"

// Posted by the builder's worker to the window: WPARAM entry index, LPARAM entry count.
constexpr UINT WM_VX_BUILD_PROGRESS = WM_APP + 1;
// Posted by the builder's worker when the build has ended; the outcome is in the job.
constexpr UINT WM_VX_BUILD_FINISHED = WM_APP + 2;

class CPackagerDlg : public vx::win::Dialog {
 public:
  // `installDir`: the installation folder, in the ANSI code page.
  explicit CPackagerDlg(const std::string& installDir);

  enum class AddResult {
    Added,
    Skipped,    // the main movie itself, or a file listed already: silently left out
    NameTaken,  // the package already holds a file of its name: refused
  };
  // Appends a row for the file at `path`, unless it is the main movie or listed
  // already, or the package already holds a file of its name: "package.ini", the
  // main movie's (package type "Main SWF + Resources") or a row's, without regard to
  // letter case. Throws vx::FileException when an SWF movie cannot be opened.
  AddResult AddListFile(const std::string& path);
  // A build is running: "Package It!" is disabled and the window cannot be closed.
  bool IsBuilding() const { return m_build != nullptr; }

  // The work of one build: the snapshot the worker packages and the outcome it leaves.
  // The window and the worker own it together, so that it lives as long as either of
  // them needs it, however the window ends.
  struct BuildJob {
    vx::BuildRequest request;
    HWND window = nullptr;  // told of the progress and the end
    vx::BuildOutcome outcome;
    // Set by the worker, after the outcome, when the build has ended.
    std::atomic<bool> finished{false};
  };

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  void OnTimer(UINT_PTR id) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  // The four small buttons beside the list, in the order of their table.
  enum Button { kAdd, kRemove, kMoveUp, kMoveDown, kButtonCount };
  static constexpr int kLabelCount = 4;

  // The fields and the controls they are shown in (the old "data exchange").
  void ShowFields();
  // Takes the controls' values into the fields. A text longer than its box allows is
  // taken all the same; the user is told ("Enter no more than N characters.") and the
  // box gets the focus.
  void TakeFields();

  void OnOK();
  void OnCancel();
  void OnBrowse();
  void OnAdd();
  void OnRemove();
  void MoveSelectedRow(int step);
  void OnPackageType(bool slideshow);
  void OnBuildProgress(size_t index, size_t count);
  void OnBuildFinished();

  void SwapRows(int a, int b);
  void Renumber();
  // Takes the fields and the list as the builder will see them.
  vx::BuildRequest TakeSnapshot() const;
  // Whether a file of the name of `path` would be a second file of one name in the
  // package: "package.ini", or a row's name (letter case does not count).
  bool NameTakenInList(const std::string& path) const;
  bool IsSlideshowSelected() const;

  // Fields shown in the controls (ANSI, as the controls hold them).
  std::string m_mainMovie;          // edit box 1000, at most 200 characters
  std::string m_title;              // edit box 1011, at most 50 characters
  bool m_fullScreen = false;        // check box 1007
  bool m_autoInstallFlash = false;  // check box 1005
  int m_packageType = 0;            // radio group 1017/1018: 0 Resource, 1 Slideshow
  // Which filter the Add dialog offers: every kind of file, or SWF movies only.
  bool m_addAllFiles = true;
  std::string m_installDir;
  std::string m_outputPath;

  ListView m_fileList;
  CImageButton m_buttons[kButtonCount];
  CColorLabel m_labels[kLabelCount];
  std::shared_ptr<BuildJob> m_build;
};

// The builder's worker: builds the job's request and posts its progress and its end to
// the job's window (a window that has gone meanwhile gets nothing). It always ends the
// build: anything that escapes the build becomes a failed outcome, and the job is
// marked finished. Returns 1 when the package was made, -1 when the build stopped early.
int RunBuildJob(std::shared_ptr<CPackagerDlg::BuildJob> job);
// Tests only: called at the start of every build (to inject a fault there).
namespace build_thread_testing {
extern void (*atStart)();
}

// The hint line's text during a build: `progressFormat` (string 1043, one "%d" for the
// percentage) while the archive is written, `finishingText` (string 1044) once it is
// complete and the package itself is being written (index == count).
std::string BuildProgressText(const std::string& progressFormat, const std::string& finishingText,
                              size_t index, size_t count);

// The window's caption: string 110 and the version text.
inline constexpr const char kCaptionVersion[] = "2.0";
