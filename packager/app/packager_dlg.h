// CPackagerDlg: the packager's main window. The user chooses the package type, the
// main movie and the files that go with it, sets the title and the two options, and
// presses "Package It!", which builds the package on a worker thread.
#pragma once
#include <atomic>
#include <memory>
#include <string>

#include "framework/ddx.h"
#include "framework/listctrl.h"
#include "packager/app/color_label.h"
#include "packager/app/image_button.h"
#include "packager/core/builder.h"
#include "resource.h"

// Posted by the builder's worker to the window: WPARAM entry index, LPARAM entry count.
constexpr UINT WM_VX_BUILD_PROGRESS = WM_APP + 1;
// Posted by the builder's worker when the build has ended; the outcome is in the job.
constexpr UINT WM_VX_BUILD_FINISHED = WM_APP + 2;

class CPackagerDlg : public CDataDialog {
 public:
  explicit CPackagerDlg(CWnd* pParent = nullptr);
  ~CPackagerDlg() override;

  // Fields exchanged with the controls (UpdateData).
  std::string m_strMainMovie;        // edit box 1000, at most 200 characters
  std::string m_strTitle;            // edit box 1011, at most 50 characters
  BOOL m_bFullScreen = FALSE;        // check box 1007
  BOOL m_bAutoInstallFlash = FALSE;  // check box 1005
  int m_nPackageType = 0;            // radio group 1017/1018: 0 Resource, 1 Slideshow
  // Which filter the Add dialog offers: every kind of file, or SWF movies only.
  BOOL m_bAddAllFiles = TRUE;
  std::string m_strInstallDir;
  std::string m_strOutputPath;
  HICON m_hIcon = nullptr;

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
  bool IsBuilding() const { return m_pBuild != nullptr; }

  // The work of one build: the snapshot the worker packages and the outcome it leaves.
  // The window and the worker own it together, so that it lives as long as either of
  // them needs it, however the window ends.
  struct BuildJob {
    vx::BuildRequest request;
    HWND hWndNotify = nullptr;
    vx::BuildOutcome outcome;
    // Set by the worker, after the outcome, when the build has ended.
    std::atomic<bool> finished{false};
  };

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  void OnSysCommand(UINT nId, LPARAM lParam) override;
  void OnPaint() override;
  HCURSOR OnQueryDragIcon() override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  void OnBrowse();
  void OnAdd();
  void OnRemove();
  void OnMoveUp();
  void OnMoveDown();
  void OnTypeResource();
  void OnTypeSlideshow();
  void OnBuildProgress(size_t index, size_t count);
  void OnBuildFinished();

 private:
  void SwapRows(int a, int b);
  void Renumber();
  void SetCaptionFromStrings(int nCtrlId, UINT nStringId);
  // Takes the fields and the list as the builder will see them.
  vx::BuildRequest TakeSnapshot() const;
  // Whether a file of the name of `path` would be a second file of one name in the
  // package: "package.ini", or a row's name (letter case does not count).
  bool NameTakenInList(const std::string& path) const;
  bool IsSlideshowSelected() const;

  CListCtrl m_listFiles;
  CImageButton m_btnAdd, m_btnRemove, m_btnMoveUp, m_btnMoveDown;
  CColorLabel m_lblPackageType, m_lblMainMovie, m_lblList, m_lblTitle;
  std::shared_ptr<BuildJob> m_pBuild;
};

// The builder's worker thread. Its argument is a `new std::shared_ptr<BuildJob>`, which
// it takes over (and deletes): it holds the job until it has ended, reads nothing but
// the job, and posts its progress and its end to the job's window. Returns 1 when the
// package was made, -1 when the build stopped early.
// It always ends the build: anything that escapes the build becomes a failed outcome,
// and the job is marked finished.
UINT BuildPackageThread(LPVOID pParam);
// Tests only: called at the start of every build thread (to inject a fault there).
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
