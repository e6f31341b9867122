// The player's container of an ActiveX control and its Flash binding under Wine:
//
// - a control nobody here wrote, the Windows Media Player control that Wine ships
//   (WMPlayer.OCX), hosted exactly as the player hosts Flash. It activates in place
//   only in a site that offers the extended in-place site;
// - the stand-in Flash control made by its class factory, as the player makes a
//   carried control: the player's calls, their refusal, the FSCommand event, keys
//   offered to the control and an event handler that throws;
// - the reading of event arguments.
#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/win32_handles.h"
#include "common/win32_text.h"
#include "player/control_site.h"
#include "player/shockwave_flash.h"
#include "tests/support/build_tree.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/whole_file.h"

namespace {

const CLSID kClsidWmp = {0x6BF52A52, 0x394A, 0x11D3, {0xB1, 0x53, 0x00, 0xC0, 0x4F, 0x79, 0xFA, 0xA6}};
const IID kDiidWmpEvents = {0x6BF52A51, 0x394A, 0x11D3, {0xB1, 0x53, 0x00, 0xC0, 0x4F, 0x79, 0xFA, 0xA6}};
const std::string kStandin = vx::test::BuildTreePath(VX_BINARY_DIR "/bin/flash-standin.dll");
const std::string kMovie = vx::test::BuildTreePath(VX_BINARY_DIR "/tests/testing/movies/plain.swf");

// Delivers the thread's messages (the controls' timers run on them) until `done` or
// 10 seconds have passed.
template <typename Done>
bool PumpUntil(Done done) {
  const ULONGLONG end = GetTickCount64() + 10000;
  while (!done() && GetTickCount64() < end) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return done();
}

// OLE on the test's thread, a visible top-level window to host in, and the stand-in's
// class factory with its event log and the message boxes in scratch files.
class ControlSiteTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    m_parent = CreateWindowExA(0, "STATIC", "host", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300, nullptr, nullptr,
                               nullptr, nullptr);
    ASSERT_NE(m_parent, nullptr);
    SetEnvironmentVariableW(L"FLASH_STANDIN_LOG", vx::win::Wide(m_scratch / "standin.log").c_str());
    SetEnvironmentVariableW(L"FLASH_STANDIN_QUIT_MS", L"0");
    SetEnvironmentVariableW(L"VX_MESSAGES_TO", vx::win::Wide(m_scratch / "messages.txt").c_str());
    m_standin.reset(LoadLibraryW(vx::win::Wide(kStandin).c_str()));
    ASSERT_TRUE(m_standin) << kStandin;
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(m_standin.get(), "DllGetClassObject")));
    ASSERT_NE(getClassObject, nullptr);
    ASSERT_EQ(getClassObject(CLSID_ShockwaveFlash, IID_IClassFactory, m_factory.put_void()), S_OK);
  }
  void TearDown() override {
    if (m_parent) DestroyWindow(m_parent);
    m_factory.reset();
    for (const wchar_t* name : {L"FLASH_STANDIN_LOG", L"FLASH_STANDIN_QUIT_MS", L"VX_MESSAGES_TO"})
      SetEnvironmentVariableW(name, nullptr);
    OleUninitialize();
  }
  RECT RectInParent(HWND hwnd) const {
    RECT r{};
    GetWindowRect(hwnd, &r);
    MapWindowPoints(nullptr, m_parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
  }
  std::vector<std::string> Lines(const char* file) const {
    std::string text;
    vx::test::TryReadWholeFile(m_scratch / file, text);
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
    return lines;
  }
  bool Logged(const std::string& line) const {
    for (const std::string& l : Lines("standin.log"))
      if (l == line) return true;
    return false;
  }

  vx::test::ScratchFolder m_scratch;
  HWND m_parent = nullptr;
  vx::win::UniqueModule m_standin;
  vx::win::ComPtr<IClassFactory> m_factory;
};

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST_F(ControlSiteTest, HostsWinesMediaPlayerControlAsThePlayerHostsFlash) {
  ControlSite site;
  // The events interface is not named: the site finds it.
  ASSERT_TRUE(
      site.create(m_parent, 300, "media", RECT{10, 20, 210, 170}, kClsidWmp, nullptr, nullptr, nullptr))
      << "WMPlayer.OCX was not created and activated in place";
  const HWND control = site.window();
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(GetParent(control), m_parent);
  EXPECT_EQ(GetDlgCtrlID(control), 300);
  char name[16] = {};
  GetWindowTextA(control, name, sizeof(name));
  EXPECT_STREQ(name, "media");
  EXPECT_TRUE(site.inPlaceActive());
  EXPECT_TRUE(GetWindowLongA(control, GWL_STYLE) & WS_VISIBLE);
  EXPECT_TRUE(SameRect(RectInParent(control), RECT{10, 20, 210, 170}));
  site.move(RECT{5, 6, 310, 212});
  EXPECT_TRUE(SameRect(RectInParent(control), RECT{5, 6, 310, 212}));
  EXPECT_TRUE(site.eventsIid() == kDiidWmpEvents) << "no sink on _WMPOCXEvents";
  // Wine's control has no dispatch interface: nothing to call.
  OwnedVariant result;
  EXPECT_THROW(site.invoke(1, DISPATCH_PROPERTYGET, nullptr, 0, &result), DispatchError);

  // Closed: the window is gone and the site let go of it.
  site.close();
  EXPECT_FALSE(IsWindow(control));
  EXPECT_EQ(site.window(), nullptr);
  EXPECT_FALSE(site.inPlaceActive());
  EXPECT_TRUE(site.eventsIid() == IID_NULL);
}

TEST_F(ControlSiteTest, PlayerDrivesACarriedControlMadeByItsFactory) {
  CShockwaveFlash flash;
  std::vector<std::string> commands;
  ASSERT_TRUE(flash.Create(m_parent, 555, "flash", RECT{0, 0, 300, 200}, m_factory.get(),
                           [&](const std::string& command, const std::string& args) {
                             commands.push_back(command + "|" + args);
                           }));
  const HWND control = flash.Window();
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(GetDlgCtrlID(control), 555);

  flash.SetBackgroundColor(0x123456);  // a property put: its value as the named argument
  flash.LoadMovie(0, kMovie);
  EXPECT_TRUE(Logged("BackgroundColor 0x123456"));
  EXPECT_TRUE(Logged("LoadMovie 0 " + kMovie));
  EXPECT_GE(flash.FrameNum(), 0);
  // FLASH_STANDIN_QUIT_MS=0: the control fires "quit" on its next tick.
  ASSERT_TRUE(PumpUntil([&] { return !commands.empty(); }));
  EXPECT_EQ(commands.front(), "quit|");

  // Keys for the control are offered to it (it logs them and leaves them to its
  // window); keys for other windows are not. A right click is consumed, a left click
  // goes on.
  MSG key{control, WM_KEYDOWN, 'A', 0, 0, {}};
  EXPECT_FALSE(flash.TranslateKey(key));
  EXPECT_TRUE(Logged("Key 0x41"));
  MSG other{m_parent, WM_KEYDOWN, 'B', 0, 0, {}};
  EXPECT_FALSE(flash.TranslateKey(other));
  EXPECT_FALSE(Logged("Key 0x42"));
  MSG rightClick{control, WM_RBUTTONDOWN, 0, 0, 0, {}}, leftClick{control, WM_LBUTTONDOWN, 0, 0, 0, {}};
  EXPECT_TRUE(flash.PreTranslateMessage(rightClick));
  EXPECT_FALSE(flash.PreTranslateMessage(leftClick));

  flash.Close();
  EXPECT_FALSE(IsWindow(control));
  EXPECT_THROW(flash.FrameNum(), DispatchError);
}

TEST_F(ControlSiteTest, RefusedCallNamesTheMemberAndAThrowingHandlerIsReported) {
  ControlSite site;
  ASSERT_TRUE(site.create(m_parent, 1, nullptr, RECT{0, 0, 100, 100}, CLSID_ShockwaveFlash, m_factory.get(),
                          &DIID_ShockwaveFlashEvents,
                          [](DISPID, DISPPARAMS*) { throw std::runtime_error("the handler failed"); }));
  OwnedVariant result;
  try {
    site.invoke(9999, DISPATCH_PROPERTYGET, nullptr, 0, &result);
    ADD_FAILURE() << "the stand-in answered a member it does not have";
  } catch (const DispatchError& e) {
    EXPECT_STREQ(e.what(), "The control's member 9999 failed (error 0x80020003).");  // DISP_E_MEMBERNOTFOUND
  }

  // The "quit" event reaches the handler, which throws: the exception is reported, not
  // passed back into the control, which goes on answering.
  OwnedVariant args[2];  // last first: the path, then the layer
  V_VT(&args[0]) = VT_BSTR;
  V_BSTR(&args[0]) = vx::win::Bstr(vx::win::Wide(kMovie).c_str()).release();
  V_VT(&args[1]) = VT_I4;
  V_I4(&args[1]) = 0;
  site.invoke(CShockwaveFlash::kDispLoadMovie, DISPATCH_METHOD, args, 2, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return !Lines("messages.txt").empty(); }));
  EXPECT_EQ(Lines("messages.txt"), std::vector<std::string>{"the handler failed"});
  site.invoke(CShockwaveFlash::kDispFrameNum, DISPATCH_PROPERTYGET, nullptr, 0, &result);
  EXPECT_EQ(V_VT(&result), VT_I4);
}

TEST(EventArguments, AreReadInDeclarationOrder) {
  const vx::win::Bstr first(L"quit"), second(L"the args"), third(L"by reference");
  BSTR thirdRef = third.get();
  VARIANT args[4];
  // IDispatch passes them last first: rgvarg[0] is the last argument.
  V_VT(&args[0]) = VT_I4;
  V_I4(&args[0]) = 7;
  V_VT(&args[1]) = VT_BSTR | VT_BYREF;
  V_BSTRREF(&args[1]) = &thirdRef;
  V_VT(&args[2]) = VT_BSTR;
  V_BSTR(&args[2]) = second.get();
  V_VT(&args[3]) = VT_BSTR;
  V_BSTR(&args[3]) = first.get();
  DISPPARAMS params{args, nullptr, 4, 0};
  EXPECT_EQ(EventArgString(&params, 0), "quit");
  EXPECT_EQ(EventArgString(&params, 1), "the args");
  EXPECT_EQ(EventArgString(&params, 2), "by reference");
  EXPECT_EQ(EventArgString(&params, 3), "");  // not a string
  EXPECT_EQ(EventArgString(&params, 4), "");  // missing
  EXPECT_EQ(EventArgString(nullptr, 0), "");
}

}  // namespace
