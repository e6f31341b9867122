// The shared window layer under Wine: the modal loop and its message filter, the
// handlers and their answers, the exception boundary of the dialog procedure, ending
// a dialog during its initialisation, system-colour changes passed to the controls,
// the icon, and message boxes captioned and captured as the programs rely on.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/win32_handles.h"
#include "common/win32_text.h"
#include "framework/app.h"
#include "framework/dialog.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/whole_file.h"

namespace {

using vx::win::Dialog;

vx::win::App g_app;  // named after the executable

constexpr UINT kTemplate = 200;         // a button 201 and an edit box 202
constexpr UINT kVisibleTemplate = 201;  // WS_VISIBLE, no controls
constexpr UINT kMsgProbe = WM_APP + 1;
constexpr UINT kMsgSwallowed = WM_APP + 2;
constexpr UINT kMsgEnd = WM_APP + 3;

class RecordingDialog : public Dialog {
 public:
  explicit RecordingDialog(UINT id = kTemplate) : Dialog(id) {}
  std::vector<std::string> events;
  int initCalls = 0;
  bool throwInInit = false;
  bool endInInit = false;
  bool throwOnTimer = false;
  bool throwOnDestroy = false;
  int timerTicks = 0;
  std::vector<UINT> exceptionMessages;
  bool shownVisible = false;

 protected:
  bool OnInitDialog() override {
    ++initCalls;
    if (throwInInit) throw std::runtime_error("init failed");
    if (endInInit) {
      endDialog(42);
      return true;
    }
    post(kMsgProbe);
    post(kMsgSwallowed);
    if (throwOnTimer) ::SetTimer(m_hwnd, 7, 20, nullptr);
    else post(kMsgEnd);
    return true;
  }
  bool PreTranslateMessage(MSG& msg) override {
    if (msg.hwnd == m_hwnd && msg.message >= WM_APP) {
      events.push_back("pre " + std::to_string(msg.message - WM_APP));
      if (msg.message == kMsgSwallowed) return true;
    }
    return Dialog::PreTranslateMessage(msg);
  }
  bool OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT&) override {
    if (message >= WM_APP) {
      events.push_back("proc " + std::to_string(message - WM_APP));
      if (message == kMsgEnd) endDialog(7);
      return true;
    }
    if (message == WM_SHOWWINDOW && wParam) shownVisible = true;
    if (message == WM_DESTROY && throwOnDestroy) throw std::runtime_error("end failed");
    return false;
  }
  void OnTimer(UINT_PTR id) override {
    ++timerTicks;
    if (timerTicks == 1) throw std::runtime_error("tick failed");
    ::KillTimer(m_hwnd, id);
    endDialog(9);
  }
  void OnException(UINT message, const std::exception&) override { exceptionMessages.push_back(message); }
};

TEST(ModalDialog, FilterSeesPostedMessagesBeforeDispatchAndCanConsumeThem) {
  RecordingDialog dlg;
  EXPECT_EQ(dlg.doModal(), 7);
  EXPECT_EQ(dlg.initCalls, 1);
  const std::vector<std::string> expected = {"pre 1", "proc 1", "pre 2", "pre 3", "proc 3"};
  EXPECT_EQ(dlg.events, expected);
  EXPECT_EQ(dlg.handle(), nullptr);  // destroyed after the modal run
}

TEST(ModalDialog, ExceptionInAHandlerIsCaughtAtTheDialogProcedure) {
  RecordingDialog dlg;
  dlg.throwOnTimer = true;
  EXPECT_EQ(dlg.doModal(), 9);  // the loop went on after the failed tick
  EXPECT_EQ(dlg.exceptionMessages, std::vector<UINT>{WM_TIMER});
  EXPECT_EQ(dlg.timerTicks, 2);
}

TEST(ModalDialog, ExceptionWhileTheWindowEndsIsCaughtToo) {
  RecordingDialog dlg;
  dlg.throwOnDestroy = true;
  EXPECT_EQ(dlg.doModal(), 7);
  EXPECT_EQ(dlg.exceptionMessages, std::vector<UINT>{WM_DESTROY});
  EXPECT_EQ(dlg.handle(), nullptr);
}

TEST(ModalDialog, ExceptionInInitialisationEndsWithMinusOne) {
  RecordingDialog dlg;
  dlg.throwInInit = true;
  EXPECT_EQ(dlg.doModal(), -1);
  EXPECT_EQ(dlg.exceptionMessages, std::vector<UINT>{WM_INITDIALOG});
  EXPECT_EQ(dlg.handle(), nullptr);
}

TEST(ModalDialog, EndedDuringInitialisationNeverShows) {
  RecordingDialog dlg(kVisibleTemplate);
  dlg.endInInit = true;
  EXPECT_EQ(dlg.doModal(), 42);
  EXPECT_FALSE(dlg.shownVisible);
  EXPECT_EQ(dlg.handle(), nullptr);
}

// Clicks the button, then sends a notification whose answer the dialog gives, then
// presses Esc: the default command handling ends the dialog with IDCANCEL.
class CommandDialog : public Dialog {
 public:
  CommandDialog() : Dialog(kTemplate) {}
  std::vector<std::string> commands;
  LRESULT notifyAnswer = 0;

 protected:
  bool OnInitDialog() override {
    const HWND button = item(201);
    send(WM_COMMAND, MAKEWPARAM(201, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    NMHDR header{button, 201, NM_CLICK};
    notifyAnswer = send(WM_NOTIFY, 201, reinterpret_cast<LPARAM>(&header));
    post(WM_KEYDOWN, VK_ESCAPE);  // offered to IsDialogMessage by the loop
    return true;
  }
  bool OnCommand(int id, int code, HWND control) override {
    commands.push_back(std::to_string(id) + " " + std::to_string(code) +
                       (control == item(id) ? " from it" : ""));
    return id == 201 || Dialog::OnCommand(id, code, control);
  }
  bool OnNotify(const NMHDR& header, LRESULT& result) override {
    result = header.idFrom == 201 && header.code == static_cast<UINT>(NM_CLICK) ? 1234 : 0;
    return true;
  }
};

TEST(Handlers, CommandsAndNotificationsReachTheirHandlersWithTheirAnswers) {
  CommandDialog dlg;
  EXPECT_EQ(dlg.doModal(), IDCANCEL);
  ASSERT_FALSE(dlg.commands.empty());
  EXPECT_EQ(dlg.commands.front(), "201 0 from it");
  EXPECT_EQ(dlg.commands.back().rfind("2 ", 0), 0u) << dlg.commands.back();  // IDCANCEL from Esc
  EXPECT_EQ(dlg.notifyAnswer, 1234);                                         // through DWLP_MSGRESULT
}

class ScopedMessagesFile {
 public:
  ScopedMessagesFile() : m_path(vx::test::ProcessScratch() / "messages.txt") {
    DeleteFileW(vx::win::Wide(m_path).c_str());
    SetEnvironmentVariableW(L"VX_MESSAGES_TO", vx::win::Wide(m_path).c_str());
  }
  ~ScopedMessagesFile() {
    SetEnvironmentVariableW(L"VX_MESSAGES_TO", nullptr);
    DeleteFileW(vx::win::Wide(m_path).c_str());
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
  HWND hwnd = nullptr;
  DWORD_PTR big = 0, small = 0, drag = 0;
  BOOL sent = FALSE;
};

DWORD WINAPI QueryIcons(void* param) {
  auto* q = static_cast<IconQuery*>(param);
  q->sent = SendMessageTimeoutA(q->hwnd, WM_GETICON, ICON_BIG, 0, SMTO_NORMAL, 5000, &q->big) &&
            SendMessageTimeoutA(q->hwnd, WM_GETICON, ICON_SMALL, 0, SMTO_NORMAL, 5000, &q->small) &&
            SendMessageTimeoutA(q->hwnd, WM_QUERYDRAGICON, 0, 0, SMTO_NORMAL, 5000, &q->drag);
  PostMessageA(q->hwnd, WM_COMMAND, IDOK, 0);
  return 0;
}

class IconDialog : public Dialog {
 public:
  IconDialog() : Dialog(kTemplate) {}
  HICON icon = ::LoadIconA(nullptr, MAKEINTRESOURCEA(32512));  // IDI_APPLICATION
  IconQuery query;
  vx::win::UniqueHandle thread;

 protected:
  bool OnInitDialog() override {
    setIcon(icon);
    query.hwnd = m_hwnd;
    thread.reset(CreateThread(nullptr, 0, QueryIcons, &query, 0, nullptr));
    return true;
  }
};

TEST(ModalDialog, AnswersMessagesSentFromOtherThreads) {
  IconDialog dlg;
  EXPECT_EQ(dlg.doModal(), IDOK);
  WaitForSingleObject(dlg.thread.get(), 10000);
  EXPECT_TRUE(dlg.query.sent);
  EXPECT_EQ(dlg.query.big, reinterpret_cast<DWORD_PTR>(dlg.icon));
  EXPECT_EQ(dlg.query.small, reinterpret_cast<DWORD_PTR>(dlg.icon));
  EXPECT_EQ(dlg.query.drag, reinterpret_cast<DWORD_PTR>(dlg.icon));
}

TEST(MessageBoxes, CapturedTextsAnsweredAsByAUserWhoTakesNoAction) {
  ScopedMessagesFile capture;
  EXPECT_EQ(vx::win::MessageBoxAnsi("first line\nsecond line"), IDOK);
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
  for (const auto& b : boxes)
    EXPECT_EQ(vx::win::MessageBoxAnsi("ask", b.type), b.answer) << std::hex << b.type;
  // UTF-8 text keeps characters that no code page has all of; an exception's report
  // shows its text.
  EXPECT_EQ(vx::win::MessageBoxUtf8("\xE6\xB8\xB8\xC3\xBC"), IDOK);
  vx::win::ReportException(std::runtime_error("reported"));
  const std::vector<std::string> lines = capture.lines();
  ASSERT_EQ(lines.size(), 3 + std::size(boxes));
  EXPECT_EQ(lines[0], "first line\\nsecond line");
  EXPECT_EQ(lines[1], "ask");
  EXPECT_EQ(lines[lines.size() - 2], "\xE6\xB8\xB8\xC3\xBC");
  EXPECT_EQ(lines.back(), "reported");
}

// Counts the WM_SYSCOLORCHANGE messages that reach each window of its class.
std::map<HWND, int> g_colourChanges;

LRESULT CALLBACK ColourListener(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SYSCOLORCHANGE) ++g_colourChanges[hwnd];
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

class ColourDialog : public Dialog {
 public:
  ColourDialog() : Dialog(kTemplate) {}
  HWND child = nullptr, inner = nullptr;
  int ownChanges = 0;

 protected:
  bool OnInitDialog() override {
    WNDCLASSA wc{};
    wc.lpfnWndProc = ColourListener;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VxColourListener";
    RegisterClassA(&wc);
    child = CreateWindowExA(0, wc.lpszClassName, "", WS_CHILD, 0, 0, 8, 8, m_hwnd, nullptr, nullptr, nullptr);
    // A child of a child: the message must reach it once, not once per level.
    inner = CreateWindowExA(0, wc.lpszClassName, "", WS_CHILD, 0, 0, 4, 4, child, nullptr, nullptr, nullptr);
    send(WM_SYSCOLORCHANGE);
    endDialog(IDOK);
    return true;
  }
  bool OnMessage(UINT message, WPARAM, LPARAM, LRESULT&) override {
    if (message == WM_SYSCOLORCHANGE) ++ownChanges;
    return false;
  }
};

TEST(SystemColours, TopLevelDialogPassesTheChangeToEveryDescendantOnce) {
  ColourDialog dlg;
  EXPECT_EQ(dlg.doModal(), IDOK);
  EXPECT_EQ(dlg.ownChanges, 1);
  EXPECT_EQ(g_colourChanges[dlg.child], 1);
  EXPECT_EQ(g_colourChanges[dlg.inner], 1);
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
  ASSERT_EQ(vx::win::App::Current(), &g_app);
  EXPECT_EQ(g_app.m_name, "framework_tests");
  std::string caption = "framework_tests";
  vx::win::UniqueHandle closer(CreateThread(nullptr, 0, CloseBoxCaptioned, &caption, 0, nullptr));
  const int result = vx::win::MessageBoxAnsi("shown for real");
  WaitForSingleObject(closer.get(), 70000);
  EXPECT_EQ(caption, "found");
  EXPECT_EQ(result, IDOK);
}

}  // namespace
