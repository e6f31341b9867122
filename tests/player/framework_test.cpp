// Our dialog-application layer under Wine: the modal loop and its message filter, the
// exception boundaries (window procedure, worker threads), ending a dialog during
// initialisation, reflection of child notifications, system-colour changes passed to
// the controls, hosting a control we did not write, dispatch on a window without a
// control, and message boxes captioned and captured as the programs rely on.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/win32_handles.h"
#include "framework/activex.h"
#include "framework/app.h"
#include "framework/dialog.h"
#include "framework/thread.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/whole_file.h"
#include "common/win32_text.h"

namespace {

CWinApp g_app;  // named after the executable

constexpr UINT kMsgProbe = WM_APP + 1;
constexpr UINT kMsgSwallowed = WM_APP + 2;
constexpr UINT kMsgEnd = WM_APP + 3;

class RecordingDialog : public CDialog {
 public:
  RecordingDialog(UINT id = 200) : CDialog(id) {}
  std::vector<std::string> events;
  int initCalls = 0;
  bool throwInInit = false;
  bool endInInit = false;
  bool throwOnTimer = false;
  int timerTicks = 0;
  int exceptions = 0;
  UINT lastExceptionMessage = 0;
  bool shownVisible = false;

  BOOL OnInitDialog() override {
    ++initCalls;
    CDialog::OnInitDialog();
    if (throwInInit) throw CFrameworkException("init failed");
    if (endInInit) {
      EndDialog(42);
      return TRUE;
    }
    PostMessage(kMsgProbe);
    PostMessage(kMsgSwallowed);
    if (throwOnTimer) SetTimer(7, 20);
    else PostMessage(kMsgEnd);
    return TRUE;
  }
  BOOL PreTranslateMessage(MSG* pMsg) override {
    if (pMsg->hwnd == m_hWnd && pMsg->message >= WM_APP) {
      events.push_back("pre " + std::to_string(pMsg->message - WM_APP));
      if (pMsg->message == kMsgSwallowed) return TRUE;
    }
    return CDialog::PreTranslateMessage(pMsg);
  }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message >= WM_APP) {
      events.push_back("proc " + std::to_string(message - WM_APP));
      if (message == kMsgEnd) EndDialog(7);
      return 0;
    }
    if (message == WM_SHOWWINDOW && wParam) shownVisible = true;
    return CDialog::WindowProc(message, wParam, lParam);
  }
  void OnTimer(UINT_PTR id) override {
    ++timerTicks;
    if (timerTicks == 1) throw std::runtime_error("tick failed");
    KillTimer(id);
    EndDialog(9);
  }
  void OnWndProcException(UINT message, const std::exception&) override {
    ++exceptions;
    lastExceptionMessage = message;
  }
};

TEST(ModalDialog, FilterSeesPostedMessagesBeforeDispatchAndCanConsumeThem) {
  RecordingDialog dlg;
  EXPECT_EQ(dlg.DoModal(), 7);
  EXPECT_EQ(dlg.initCalls, 1);
  std::vector<std::string> expected = {"pre 1", "proc 1", "pre 2", "pre 3", "proc 3"};
  EXPECT_EQ(dlg.events, expected);
  EXPECT_EQ(dlg.m_hWnd, nullptr);  // destroyed and detached after the modal run
}

TEST(ModalDialog, ExceptionInAHandlerIsCaughtAtTheWindowProcedure) {
  RecordingDialog dlg;
  dlg.throwOnTimer = true;
  EXPECT_EQ(dlg.DoModal(), 9);  // the loop went on after the failed tick
  EXPECT_EQ(dlg.exceptions, 1);
  EXPECT_EQ(dlg.lastExceptionMessage, static_cast<UINT>(WM_TIMER));
  EXPECT_EQ(dlg.timerTicks, 2);
}

TEST(ModalDialog, ExceptionInInitialisationEndsWithMinusOne) {
  RecordingDialog dlg;
  dlg.throwInInit = true;
  EXPECT_EQ(dlg.DoModal(), -1);
  EXPECT_EQ(dlg.exceptions, 1);
  EXPECT_EQ(dlg.m_hWnd, nullptr);
}

TEST(ModalDialog, EndedDuringInitialisationNeverShows) {
  RecordingDialog dlg(201);  // a WS_VISIBLE template
  dlg.endInInit = true;
  EXPECT_EQ(dlg.DoModal(), 42);
  EXPECT_FALSE(dlg.shownVisible);
  EXPECT_EQ(dlg.m_hWnd, nullptr);
}

class ReflectingButton : public CWnd {
 public:
  bool take = true;
  int notifications = 0;
  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM, LRESULT* pResult) override {
    if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return FALSE;
    ++notifications;
    *pResult = 0;
    return take;
  }
};

class ParentDialog : public CDialog {
 public:
  ParentDialog() : CDialog(200) {}
  ReflectingButton button;
  int parentCommands = 0;
  bool subclassed = false;
  CWnd* editWrapper = nullptr;
  HWND editHandle = nullptr;
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    subclassed = button.SubclassDlgItem(201, this);
    editWrapper = GetDlgItem(202);
    editHandle = ::GetDlgItem(m_hWnd, 202);
    HWND b = ::GetDlgItem(m_hWnd, 201);
    SendMessage(WM_COMMAND, MAKEWPARAM(201, BN_CLICKED), reinterpret_cast<LPARAM>(b));
    button.take = false;
    SendMessage(WM_COMMAND, MAKEWPARAM(201, BN_CLICKED), reinterpret_cast<LPARAM>(b));
    EndDialog(IDOK);
    return TRUE;
  }
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override {
    if (LOWORD(wParam) == 201) {
      ++parentCommands;
      return TRUE;
    }
    return CDialog::OnCommand(wParam, lParam);
  }
};

TEST(Reflection, ChildTakesItsNotificationOrLeavesItToTheParent) {
  ParentDialog dlg;
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_TRUE(dlg.subclassed);
  EXPECT_EQ(dlg.button.notifications, 2);
  EXPECT_EQ(dlg.parentCommands, 1);  // only the one the child declined
  ASSERT_NE(dlg.editWrapper, nullptr);
  EXPECT_EQ(dlg.editWrapper->m_hWnd, dlg.editHandle);
  EXPECT_EQ(dlg.button.m_hWnd, nullptr);  // detached when the window went
}

class ScopedMessagesFile {
 public:
  ScopedMessagesFile() {
    m_path = vx::test::ProcessScratch() / "messages.txt";
    vx::DeleteFilePath(m_path);
    SetEnvironmentVariableW(L"VX_MESSAGES_TO", vx::win::Wide(m_path).c_str());
  }
  ~ScopedMessagesFile() {
    SetEnvironmentVariableW(L"VX_MESSAGES_TO", nullptr);
    vx::DeleteFilePath(m_path);
  }
  std::vector<std::string> lines() const {
    std::string text;
    vx::test::TryReadWholeFile(m_path, text);
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      out.push_back(line);
    }
    return out;
  }

 private:
  std::string m_path;
};

// Sends WM_GETICON and WM_QUERYDRAGICON from another thread while the dialog runs its
// modal loop, then ends the dialog.
struct IconQuery {
  HWND hWnd = nullptr;
  DWORD_PTR big = 0, small = 0, drag = 0;
  BOOL sent = FALSE;
};

DWORD WINAPI QueryIcons(void* param) {
  auto* q = static_cast<IconQuery*>(param);
  q->sent = SendMessageTimeoutA(q->hWnd, WM_GETICON, ICON_BIG, 0, SMTO_NORMAL, 5000, &q->big) &&
            SendMessageTimeoutA(q->hWnd, WM_GETICON, ICON_SMALL, 0, SMTO_NORMAL, 5000, &q->small) &&
            SendMessageTimeoutA(q->hWnd, WM_QUERYDRAGICON, 0, 0, SMTO_NORMAL, 5000, &q->drag);
  PostMessageA(q->hWnd, WM_COMMAND, IDOK, 0);
  return 0;
}

class IconDialog : public CDialog {
 public:
  IconDialog() : CDialog(200) {}
  HICON icon = ::LoadIconA(nullptr, MAKEINTRESOURCEA(32512));  // IDI_APPLICATION
  IconQuery query;
  vx::win::UniqueHandle thread;
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    SetIcon(icon, TRUE);
    SetIcon(icon, FALSE);
    query.hWnd = m_hWnd;
    thread.reset(CreateThread(nullptr, 0, QueryIcons, &query, 0, nullptr));
    return TRUE;
  }
  HCURSOR OnQueryDragIcon() override { return reinterpret_cast<HCURSOR>(icon); }
};

TEST(ModalDialog, AnswersMessagesSentFromOtherThreads) {
  IconDialog dlg;
  EXPECT_EQ(dlg.DoModal(), IDOK);
  WaitForSingleObject(dlg.thread.get(), 10000);
  EXPECT_TRUE(dlg.query.sent);
  EXPECT_EQ(dlg.query.big, reinterpret_cast<DWORD_PTR>(dlg.icon));
  EXPECT_EQ(dlg.query.small, reinterpret_cast<DWORD_PTR>(dlg.icon));
  EXPECT_EQ(dlg.query.drag, reinterpret_cast<DWORD_PTR>(dlg.icon));
}

TEST(MessageBoxes, CapturedTextsAnsweredAsByAUserWhoTakesNoAction) {
  ScopedMessagesFile capture;
  EXPECT_EQ(AfxMessageBox("first line\nsecond line"), IDOK);
  // Never Yes, OK of OK/Cancel, Retry or Ignore: those start what the box offers.
  const struct {
    UINT type;
    int answer;
  } boxes[] = {
      {MB_YESNO, IDNO},
      {MB_YESNO | MB_DEFBUTTON1, IDNO},
      {MB_YESNOCANCEL, IDCANCEL},
      {MB_OKCANCEL, IDCANCEL},
      {MB_RETRYCANCEL, IDCANCEL},
      {MB_ABORTRETRYIGNORE, IDABORT},
      {MB_CANCELTRYCONTINUE, IDCANCEL},
      {MB_OK | MB_ICONSTOP, IDOK},
  };
  for (const auto& b : boxes) EXPECT_EQ(AfxMessageBox("ask", b.type), b.answer) << std::hex << b.type;
  std::vector<std::string> lines = capture.lines();
  ASSERT_EQ(lines.size(), 1 + sizeof(boxes) / sizeof(boxes[0]));
  EXPECT_EQ(lines[0], "first line\\nsecond line");
  EXPECT_EQ(lines[1], "ask");
}

UINT ThrowingWorker(LPVOID what) {
  if (what) throw std::runtime_error(static_cast<const char*>(what));
  throw 42;  // not even an exception class
}

TEST(WorkerThread, ExceptionIsReportedAndEndsOnlyTheThread) {
  ScopedMessagesFile capture;
  for (const char* what : {"the worker failed", static_cast<const char*>(nullptr)}) {
    CWinThread* t =
        AfxBeginThread(ThrowingWorker, const_cast<char*>(what), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(t, nullptr);
    t->m_bAutoDelete = FALSE;
    t->ResumeThread();
    ASSERT_EQ(WaitForSingleObject(t->m_hThread, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(t->GetExitCode(), static_cast<DWORD>(-1));
    delete t;
  }
  EXPECT_EQ(capture.lines(), (std::vector<std::string>{"the worker failed", "Unknown error"}));
}

// Counts the WM_SYSCOLORCHANGE messages that reach a control.
class ColourListener : public CWnd {
 public:
  int changes = 0;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_SYSCOLORCHANGE) ++changes;
    return CWnd::WindowProc(message, wParam, lParam);
  }
};

class ColourDialog : public CDialog {
 public:
  ColourDialog() : CDialog(200) {}
  ColourListener button, inner;
  int ownChanges = 0;
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    button.SubclassDlgItem(201, this);
    // A child of a child: the message must reach it once, not once per level.
    HWND h = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 4, 4, button.m_hWnd, nullptr, nullptr, nullptr);
    inner.SubclassWindow(h);
    SendMessage(WM_SYSCOLORCHANGE);
    EndDialog(IDOK);
    return TRUE;
  }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_SYSCOLORCHANGE) ++ownChanges;
    return CDialog::WindowProc(message, wParam, lParam);
  }
};

TEST(SystemColours, TopLevelWindowPassesTheChangeToEveryDescendantOnce) {
  ColourDialog dlg;
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.ownChanges, 1);
  EXPECT_EQ(dlg.button.changes, 1);
  EXPECT_EQ(dlg.inner.changes, 1);
}

class FailingEnd : public CWnd {
 public:
  std::vector<UINT> failures;
  void PostNcDestroy() override { throw std::runtime_error("end failed"); }
  void OnWndProcException(UINT message, const std::exception&) override { failures.push_back(message); }
};

TEST(WindowProcedure, ExceptionAfterTheWindowsEndIsCaughtToo) {
  FailingEnd wnd;
  ASSERT_TRUE(wnd.CreateEx(0, "STATIC", "", WS_POPUP, RECT{0, 0, 10, 10}, nullptr, 0));
  wnd.DestroyWindow();
  EXPECT_EQ(wnd.failures, std::vector<UINT>{WM_NCDESTROY});
  EXPECT_EQ(wnd.m_hWnd, nullptr);
}

DWORD WINAPI CloseBoxCaptioned(void* param) {
  auto* caption = static_cast<std::string*>(param);
  // Looked for once it had time to show (looking for windows while the box is being
  // made can stall Wine), and for a minute at most: a busy machine can be slow.
  Sleep(300);
  for (int i = 0; i < 2400; ++i) {
    HWND box = FindWindowA("#32770", caption->c_str());
    if (box) {
      PostMessageA(box, WM_COMMAND, IDOK, 0);
      *caption = "found";
      return 0;
    }
    Sleep(25);
  }
  return 0;
}

TEST(MessageBoxes, CaptionIsTheExecutableNameWithoutExtension) {
  EXPECT_EQ(AfxGetApp()->m_strAppName, "framework_tests");
  std::string caption = "framework_tests";
  vx::win::UniqueHandle closer(CreateThread(nullptr, 0, CloseBoxCaptioned, &caption, 0, nullptr));
  int result = AfxMessageBox("shown for real");
  WaitForSingleObject(closer.get(), 70000);
  EXPECT_EQ(caption, "found");
  EXPECT_EQ(result, IDOK);
}

// A control nobody here wrote: the Windows Media Player control that Wine ships
// (WMPlayer.OCX), hosted exactly as the player hosts the Flash control. Its dispatch
// members are not implemented by Wine (GetIDsOfNames and Invoke answer E_NOTIMPL), so
// no property is read. It activates in place only in a site that offers the extended
// or windowless in-place site (and, asked there, is told to keep its window).
const CLSID kClsidWmp = {0x6BF52A52, 0x394A, 0x11D3, {0xB1, 0x53, 0x00, 0xC0, 0x4F, 0x79, 0xFA, 0xA6}};
const IID kDiidWmpEvents = {0x6BF52A51, 0x394A, 0x11D3, {0xB1, 0x53, 0x00, 0xC0, 0x4F, 0x79, 0xFA, 0xA6}};

RECT RectInParent(HWND hWnd) {
  RECT r{};
  GetWindowRect(hWnd, &r);
  MapWindowPoints(nullptr, GetParent(hWnd), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

class MediaPlayerDialog : public CDialog {
 public:
  MediaPlayerDialog() : CDialog(200) {}
  CWnd player;
  BOOL created = FALSE;
  HWND control = nullptr, parent = nullptr;
  int id = 0;
  std::string name;
  RECT placed{}, resized{};
  bool active = false, advised = false;

  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    created = player.CreateControl(kClsidWmp, "media", WS_VISIBLE, RECT{10, 20, 210, 170}, this, 300,
                                   &kDiidWmpEvents);
    if (created) {
      control = player.m_hWnd;
      parent = ::GetParent(control);
      id = ::GetDlgCtrlID(control);
      name = player.GetWindowText();
      placed = RectInParent(control);
      COleControlSite* site = player.GetControlSite();
      active = site && site->inPlaceActive() && (::GetWindowLongA(control, GWL_STYLE) & WS_VISIBLE);
      advised = site && site->eventsIid() == kDiidWmpEvents;
      player.SetWindowPos(nullptr, 5, 6, 305, 206, SWP_NOZORDER);
      resized = RectInParent(control);
    }
    PostMessage(WM_COMMAND, IDOK);
    return TRUE;
  }
};

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(ActiveXContainer, HostsWinesMediaPlayerControlAsThePlayerHostsFlash) {
  MediaPlayerDialog dlg;
  EXPECT_EQ(dlg.DoModal(), IDOK);
  ASSERT_TRUE(dlg.created) << "WMPlayer.OCX was not created and activated in place";
  EXPECT_NE(dlg.parent, nullptr);
  EXPECT_EQ(dlg.id, 300);
  EXPECT_EQ(dlg.name, "media");
  EXPECT_TRUE(dlg.active);
  EXPECT_TRUE(SameRect(dlg.placed, RECT{10, 20, 210, 170}));
  EXPECT_TRUE(SameRect(dlg.resized, RECT{5, 6, 310, 212}));
  EXPECT_TRUE(dlg.advised) << "no sink on _WMPOCXEvents";
  // Closed with its dialog: the window is gone and the wrapper let go of it.
  EXPECT_FALSE(IsWindow(dlg.control));
  EXPECT_EQ(dlg.player.m_hWnd, nullptr);
  EXPECT_EQ(dlg.player.GetControlSite(), nullptr);
}

TEST(Dispatch, CallsOnAWindowWithoutAControlRaiseAFrameworkException) {
  CWnd plain;
  EXPECT_THROW(plain.InvokeHelper(107, DISPATCH_PROPERTYGET, VT_I4, nullptr, nullptr), CFrameworkException);
  EXPECT_EQ(plain.GetControlSite(), nullptr);
}

TEST(Dispatch, EventArgumentsAreReadInDeclarationOrder) {
  const vx::win::Bstr second(L"the args"), first(L"quit");
  VARIANT args[2];
  // IDispatch passes them last first: rgvarg[0] is the second argument.
  V_VT(&args[0]) = VT_BSTR;
  V_BSTR(&args[0]) = second.get();
  V_VT(&args[1]) = VT_BSTR;
  V_BSTR(&args[1]) = first.get();
  DISPPARAMS params{args, nullptr, 2, 0};
  EXPECT_EQ(EventArgString(&params, 0), "quit");
  EXPECT_EQ(EventArgString(&params, 1), "the args");
  EXPECT_EQ(EventArgString(&params, 2), "");
}

}  // namespace
