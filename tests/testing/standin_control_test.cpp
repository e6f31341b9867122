// The stand-in control loaded in-process straight from flash-standin.dll (no
// registration needed): its interfaces, FlashVersion through the function table,
// the dispatch members and what they refuse, in-place activation in a window of ours,
// its keyboard, its event log and the FSCommand events.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/win32_handles.h"
#include "common/win32_text.h"
#include "tests/support/build_tree.h"
#include "tests/support/whole_file.h"
#include "tests/testing/test_container.h"

using namespace vx::testing;
using vx::win::ComPtr;

namespace {

const std::string kBin = vx::test::BuildTreePath(VX_BINARY_DIR "/bin/");
const std::string kMovies = vx::test::BuildTreePath(VX_STANDIN_MOVIES "/");
const std::string kLog = vx::test::BuildTreePath(VX_BINARY_DIR "/tests/testing/standin-control-test.log");

// A path of the build tree as the log writes it: in UTF-8, as CMake compiled it in, on
// drive Z:.
std::string LoggedPath(std::string unixPath) {
  for (char& c : unixPath)
    if (c == '/') c = '\\';
  return "Z:" + unixPath;
}

std::vector<std::string> ReadLog() {
  std::vector<std::string> lines;
  std::string text;
  if (!vx::test::TryReadWholeFile(kLog, text)) return lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// An exported function of the DLL with its real type.
template <typename F>
F Export(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  for (const auto& l : lines) {
    if (l == line) return true;
  }
  return false;
}

// Delivers messages for `ms` milliseconds (the control's timer runs on them).
void Pump(DWORD ms) {
  ULONGLONG end = GetTickCount64() + ms;
  while (GetTickCount64() < end) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

class StandinControl : public ::testing::Test {
 protected:
  void SetUp() override {
    OleInitialize(nullptr);
    for (const char* name : {"FLASH_STANDIN_VERSION", "FLASH_STANDIN_HOLD", "FLASH_STANDIN_QUIT_MS"})
      SetEnvironmentVariableA(name, nullptr);
    SetEnvironmentVariableW(L"FLASH_STANDIN_LOG", vx::win::Wide(kLog).c_str());
    vx::DeleteFilePath(kLog);
    m_module = LoadLibraryW(vx::win::Wide(kBin + "flash-standin.dll").c_str());
    ASSERT_NE(m_module, nullptr);
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get = Export<GetClassObject>(m_module, "DllGetClassObject");
    ASSERT_NE(get, nullptr);
    ASSERT_EQ(get(CLSID_ShockwaveFlash, IID_IClassFactory, m_factory.put_void()), S_OK);
    ASSERT_EQ(m_factory->CreateInstance(nullptr, IID_IUnknown, m_control.put_void()), S_OK);
    ASSERT_EQ(m_control->QueryInterface(IID_IDispatch, m_dispatch.put_void()), S_OK);
  }
  void TearDown() override {
    if (m_window) {
      if (m_ole) m_ole->Close(OLECLOSE_NOSAVE);
      DestroyWindow(m_window);
    }
    if (m_ole) {
      m_ole->SetClientSite(nullptr);
      m_ole.reset();
    }
    m_dispatch.reset();
    m_control.reset();
    m_factory.reset();
    OleUninitialize();
  }

  HRESULT LoadMovie(const std::string& path, long layer = 0) {
    VARIANT p = StringArg(path);
    HRESULT hr = InvokeByDispid(m_dispatch.get(), 142, DISPATCH_METHOD, {IntArg(layer), p}, nullptr);
    VariantClear(&p);
    return hr;
  }
  long FrameNum() {
    VARIANT r;
    VariantInit(&r);
    EXPECT_EQ(InvokeByDispid(m_dispatch.get(), 107, DISPATCH_PROPERTYGET, {}, &r), S_OK);
    EXPECT_EQ(r.vt, VT_I4);
    return r.lVal;
  }

  // A top-level window at 50, 60, 400 x 300 with the control in place at `rect`.
  void Host(RECT rect, LONG verb = OLEIVERB_INPLACEACTIVATE) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VxStandinTestWindow";
    RegisterClassA(&wc);
    m_window = CreateWindowExA(0, wc.lpszClassName, "test", WS_POPUP | WS_VISIBLE, 50, 60, 400, 300, nullptr,
                               nullptr, wc.hInstance, nullptr);
    ASSERT_NE(m_window, nullptr);
    m_site = std::make_unique<TestSite>(m_window);
    ASSERT_EQ(m_control->QueryInterface(IID_IOleObject, m_ole.put_void()), S_OK);
    ASSERT_EQ(m_ole->SetClientSite(m_site.get()), S_OK);
    ASSERT_EQ(m_ole->DoVerb(verb, nullptr, m_site.get(), 0, m_window, &rect), S_OK);
  }

  HWND ControlWindow() {
    ComPtr<IOleInPlaceObject> in;
    HWND h = nullptr;
    if (SUCCEEDED(m_control->QueryInterface(IID_IOleInPlaceObject, in.put_void()))) {
      in->GetWindow(&h);
    }
    return h;
  }

  HMODULE m_module = nullptr;
  ComPtr<IClassFactory> m_factory;
  ComPtr<IUnknown> m_control;
  ComPtr<IDispatch> m_dispatch;
  ComPtr<IOleObject> m_ole;
  HWND m_window = nullptr;
  std::unique_ptr<TestSite> m_site;
};

TEST_F(StandinControl, AnswersTheControlInterfacesFromOneObject) {
  ComPtr<IUnknown> flash;
  ASSERT_EQ(m_control->QueryInterface(IID_IShockwaveFlash, flash.put_void()), S_OK);
  EXPECT_EQ(static_cast<void*>(flash.get()), static_cast<void*>(m_dispatch.get()));
  for (const IID* iid : {&IID_IOleObject, &IID_IOleInPlaceObject, &IID_IOleInPlaceActiveObject,
                         &IID_IViewObject2, &IID_IPersistStreamInit, &IID_IPersistPropertyBag,
                         &IID_IOleControl, &IID_IConnectionPointContainer}) {
    ComPtr<IUnknown> p;
    EXPECT_EQ(m_control->QueryInterface(*iid, p.put_void()), S_OK);
    if (p) {
      // Every interface leads back to the same identity.
      ComPtr<IUnknown> identity;
      p->QueryInterface(IID_IUnknown, identity.put_void());
      EXPECT_EQ(identity.get(), m_control.get());
    }
  }
  IUnknown* none = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(m_control->QueryInterface(IID_IStream, reinterpret_cast<void**>(&none)), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);

  IUnknown* aggregated = nullptr;
  EXPECT_EQ(m_factory->CreateInstance(m_control.get(), IID_IUnknown, reinterpret_cast<void**>(&aggregated)),
            CLASS_E_NOAGGREGATION);
  using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  auto get = Export<GetClassObject>(m_module, "DllGetClassObject");
  void* other = nullptr;
  EXPECT_EQ(get(IID_IStream, IID_IClassFactory, &other), CLASS_E_CLASSNOTAVAILABLE);
}

TEST_F(StandinControl, FlashVersionAtTableEntry39FollowsTheEnvironment) {
  ComPtr<IUnknown> flash;
  ASSERT_EQ(m_control->QueryInterface(IID_IShockwaveFlash, flash.put_void()), S_OK);
  long v = 0;
  EXPECT_EQ(CallTableEntry(flash.get(), 39, &v), S_OK);
  EXPECT_EQ(v, 0x00080000);
  SetEnvironmentVariableA("FLASH_STANDIN_VERSION", "00090000");
  EXPECT_EQ(CallTableEntry(flash.get(), 39, &v), S_OK);
  EXPECT_EQ(v, 0x00090000);
  SetEnvironmentVariableA("FLASH_STANDIN_VERSION", "0x0007001C");
  EXPECT_EQ(CallTableEntry(flash.get(), 39, &v), S_OK);
  EXPECT_EQ(v, 0x0007001C);
  SetEnvironmentVariableA("FLASH_STANDIN_VERSION", "nine");
  EXPECT_EQ(CallTableEntry(flash.get(), 39, &v), S_OK);
  EXPECT_EQ(v, 0x00080000);
  // The entries before it are there and decline.
  EXPECT_EQ(CallTableEntry(flash.get(), 38, &v), E_NOTIMPL);
  EXPECT_EQ(CallTableEntry(flash.get(), 7, &v), E_NOTIMPL);
}

TEST_F(StandinControl, FrameNumFollowsWallClockTimeFromLoadMovie) {
  EXPECT_EQ(FrameNum(), -1);  // nothing loaded
  ULONGLONG before = GetTickCount64();
  ASSERT_EQ(LoadMovie(kMovies + "plain.swf"), S_OK);  // 12 frames a second, 24 frames
  ULONGLONG after = GetTickCount64();
  for (int i = 0; i < 4; ++i) {
    Sleep(150);
    ULONGLONG from = GetTickCount64();
    long frame = FrameNum();
    ULONGLONG to = GetTickCount64();
    // The load happened between `before` and `after`; the query between `from` and `to`.
    EXPECT_GE(frame, static_cast<long>((from - after) * 12 / 1000));
    EXPECT_LE(frame, static_cast<long>((to - before) * 12 / 1000));
  }
}

TEST_F(StandinControl, FrameNumLoopsOrHolds) {
  ASSERT_EQ(LoadMovie(kMovies + "quick.swf"), S_OK);  // 20 frames a second, 8 frames
  long highest = -1;
  bool wentBack = false;
  long last = -1;
  for (int i = 0; i < 40; ++i) {
    long f = FrameNum();
    EXPECT_GE(f, 0);
    EXPECT_LE(f, 7);
    if (f < last) wentBack = true;
    highest = std::max(highest, f);
    last = f;
    Sleep(25);
  }
  EXPECT_TRUE(wentBack);
  EXPECT_GE(highest, 6);

  SetEnvironmentVariableA("FLASH_STANDIN_HOLD", "1");
  ASSERT_EQ(LoadMovie(kMovies + "quick.swf"), S_OK);
  Sleep(600);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(FrameNum(), 7);
    Sleep(100);
  }
  // Loading again starts from frame 0.
  ASSERT_EQ(LoadMovie(kMovies + "plain.swf"), S_OK);
  EXPECT_LE(FrameNum(), 1);
}

TEST_F(StandinControl, DispatchMembersCoerceAndLog) {
  VARIANT layer = StringArg("0"), path = StringArg(kMovies + "plain.swf");
  EXPECT_EQ(InvokeByDispid(m_dispatch.get(), 142, DISPATCH_METHOD, {layer, path}, nullptr), S_OK);
  VariantClear(&layer);
  VariantClear(&path);
  EXPECT_EQ(LoadMovie("C:\\elsewhere\\movie two.swf", 3), S_OK);
  VARIANT bad = StringArg("not a number");
  EXPECT_EQ(InvokeByDispid(m_dispatch.get(), 142, DISPATCH_METHOD, {bad, IntArg(1)}, nullptr),
            DISP_E_TYPEMISMATCH);
  VariantClear(&bad);
  EXPECT_EQ(InvokeByDispid(m_dispatch.get(), 142, DISPATCH_METHOD, {IntArg(0)}, nullptr),
            DISP_E_BADPARAMCOUNT);

  EXPECT_EQ(InvokeByDispid(m_dispatch.get(), 123, DISPATCH_PROPERTYPUT, {IntArg(0x336699)}, nullptr), S_OK);
  VARIANT colour = StringArg("255");
  EXPECT_EQ(InvokeByDispid(m_dispatch.get(), 123, DISPATCH_PROPERTYPUT, {colour}, nullptr), S_OK);
  VariantClear(&colour);
  VARIANT got;
  VariantInit(&got);
  EXPECT_EQ(InvokeByDispid(m_dispatch.get(), 123, DISPATCH_PROPERTYGET, {}, &got), S_OK);
  EXPECT_EQ(got.lVal, 255);

  EXPECT_EQ(InvokeByDispid(m_dispatch.get(), 999, DISPATCH_METHOD, {}, nullptr), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(InvokeByDispid(m_dispatch.get(), 107, DISPATCH_PROPERTYPUT, {IntArg(3)}, nullptr),
            DISP_E_MEMBERNOTFOUND);

  const std::vector<std::string> expected = {
      "LoadMovie 0 " + LoggedPath(VX_STANDIN_MOVIES "/plain.swf"),
      "LoadMovie 3 C:\\elsewhere\\movie two.swf",
      "BackgroundColor 0x336699",
      "BackgroundColor 0x0000FF",
  };
  EXPECT_EQ(ReadLog(), expected);

  // Names map to the same DISPIDs.
  const wchar_t* names[] = {L"LoadMovie", L"framenum", L"BackgroundColor", L"Play"};
  const DISPID ids[] = {142, 107, 123, DISPID_UNKNOWN};
  for (int i = 0; i < 4; ++i) {
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(names[i]);
    m_dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    EXPECT_EQ(id, ids[i]);
  }
}

// Invoke with the DISPPARAMS given as they are; *argErr gets the argument refused.
HRESULT RawInvoke(IDispatch* d, DISPID id, WORD flags, std::vector<VARIANT> reversedArgs,
                  std::vector<DISPID> named, UINT* argErr) {
  DISPPARAMS p = {reversedArgs.empty() ? nullptr : reversedArgs.data(),
                  named.empty() ? nullptr : named.data(), static_cast<UINT>(reversedArgs.size()),
                  static_cast<UINT>(named.size())};
  *argErr = 99;
  return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &p, nullptr, nullptr, argErr);
}

TEST_F(StandinControl, DispatchRefusesWhatATypeLibraryDispatchRefuses) {
  UINT argErr = 0;
  const WORD put = DISPATCH_PROPERTYPUT;
  // A property put without its value named DISPID_PROPERTYPUT, or named otherwise.
  EXPECT_EQ(RawInvoke(m_dispatch.get(), 123, put, {IntArg(0x112233)}, {}, &argErr), DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(RawInvoke(m_dispatch.get(), 123, put, {IntArg(0x112233)}, {0}, &argErr), DISP_E_PARAMNOTFOUND);
  // Values that do not convert to the declared type; the refused argument is named.
  VARIANT text = StringArg("blue");
  EXPECT_EQ(RawInvoke(m_dispatch.get(), 123, put, {text}, {DISPID_PROPERTYPUT}, &argErr),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 0u);
  VARIANT null;
  VariantInit(&null);
  null.vt = VT_NULL;
  EXPECT_EQ(RawInvoke(m_dispatch.get(), 123, put, {null}, {DISPID_PROPERTYPUT}, &argErr),
            DISP_E_TYPEMISMATCH);
  VARIANT path = StringArg(kMovies + "plain.swf");
  EXPECT_EQ(RawInvoke(m_dispatch.get(), 142, DISPATCH_METHOD, {path, text}, {}, &argErr),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 1u);  // the layer, declared first, is last in rgvarg
  // A missing argument, named arguments to a method, a wrong count.
  VARIANT missing;
  VariantInit(&missing);
  missing.vt = VT_ERROR;
  missing.scode = DISP_E_PARAMNOTFOUND;
  EXPECT_EQ(RawInvoke(m_dispatch.get(), 142, DISPATCH_METHOD, {missing, IntArg(0)}, {}, &argErr),
            DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(argErr, 0u);
  EXPECT_EQ(RawInvoke(m_dispatch.get(), 142, DISPATCH_METHOD, {path, IntArg(0)}, {1, 0}, &argErr),
            DISP_E_NONAMEDARGS);
  EXPECT_EQ(RawInvoke(m_dispatch.get(), 107, DISPATCH_PROPERTYGET, {IntArg(1)}, {}, &argErr),
            DISP_E_BADPARAMCOUNT);
  VariantClear(&text);
  VariantClear(&path);
  // Nothing of it reached the control.
  EXPECT_TRUE(ReadLog().empty());
}

TEST_F(StandinControl, ActivatesInPlaceAndLogsItsPlacement) {
  Host({10, 20, 310, 220});
  HWND child = ControlWindow();
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(GetParent(child), m_window);
  EXPECT_TRUE(IsWindowVisible(child));
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, m_window, reinterpret_cast<POINT*>(&r), 2);
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.top, 20);
  EXPECT_EQ(r.right, 310);
  EXPECT_EQ(r.bottom, 220);
  EXPECT_EQ(m_site->inPlaceActivations, 1);

  ComPtr<IOleInPlaceObject> in;
  ASSERT_EQ(m_control->QueryInterface(IID_IOleInPlaceObject, in.put_void()), S_OK);
  RECT moved = {0, 0, 120, 90};
  EXPECT_EQ(in->SetObjectRects(&moved, &moved), S_OK);
  SetWindowPos(m_window, nullptr, 200, 150, 320, 240, SWP_NOZORDER | SWP_NOACTIVATE);
  Pump(200);  // the 50 ms check sees the moved top-level window

  RECT outer;
  GetWindowRect(m_window, &outer);
  std::ostringstream window;
  window << "Window " << outer.left << " " << outer.top << " " << outer.right - outer.left << " "
         << outer.bottom - outer.top;
  std::vector<std::string> log = ReadLog();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[0], "Rect 10 20 300 200");
  EXPECT_EQ(log[1], "Window 50 60 400 300");
  EXPECT_TRUE(Contains(log, "Rect 0 0 120 90"));
  EXPECT_EQ(log.back(), window.str());
  EXPECT_EQ(window.str(), "Window 200 150 320 240");
  // Only changes are logged.
  Pump(200);
  EXPECT_EQ(ReadLog().size(), log.size());

  // The keyboard: the window asks for every key; the accelerator hook logs each key
  // going down in the control's window and leaves it to the container.
  EXPECT_EQ(SendMessageA(child, WM_GETDLGCODE, 0, 0), DLGC_WANTALLKEYS);
  ComPtr<IOleInPlaceActiveObject> active;
  ASSERT_EQ(m_control->QueryInterface(IID_IOleInPlaceActiveObject, active.put_void()), S_OK);
  MSG msg = {child, WM_KEYDOWN, VK_RETURN, 0, 0, {0, 0}};
  EXPECT_EQ(active->TranslateAccelerator(&msg), S_FALSE);
  msg.message = WM_KEYUP;
  EXPECT_EQ(active->TranslateAccelerator(&msg), S_FALSE);
  msg = {m_window, WM_KEYDOWN, VK_SPACE, 0, 0, {0, 0}};  // for the container's window
  EXPECT_EQ(active->TranslateAccelerator(&msg), S_FALSE);
  std::vector<std::string> keys;
  for (const auto& line : ReadLog()) {
    if (line.rfind("Key ", 0) == 0) keys.push_back(line);
  }
  EXPECT_EQ(keys, std::vector<std::string>{"Key 0x0D"});

  EXPECT_EQ(in->InPlaceDeactivate(), S_OK);
  EXPECT_FALSE(IsWindow(child));
  EXPECT_EQ(m_site->inPlaceDeactivations, 1);
}

TEST_F(StandinControl, UiActivationMakesItTheActiveObject) {
  Host({0, 0, 400, 300}, OLEIVERB_UIACTIVATE);
  EXPECT_EQ(m_site->uiActivations, 1);
  EXPECT_NE(m_site->activeObject, nullptr);
  EXPECT_EQ(m_ole->Close(OLECLOSE_NOSAVE), S_OK);
  EXPECT_EQ(m_site->activeObject, nullptr);
  EXPECT_EQ(ControlWindow(), nullptr);
}

TEST_F(StandinControl, FiresTheMoviesFsCommandsEachTimeThroughAndStopsOnUnadvise) {
  Host({0, 0, 400, 300});
  ComPtr<IConnectionPoint> point;
  DWORD cookie = AdviseEvents(m_control.get(), static_cast<IDispatch*>(m_site.get()), point);
  ASSERT_NE(cookie, 0u);
  ASSERT_EQ(LoadMovie(kMovies + "quick.swf"), S_OK);  // hello at frame 3, quit at 7; 0.4 s a pass
  Pump(1000);
  ASSERT_GE(m_site->events.size(), 4u);
  for (size_t i = 0; i < m_site->events.size(); ++i) {
    const ReceivedEvent& e = m_site->events[i];
    EXPECT_EQ(e.dispid, 150);
    ASSERT_EQ(e.args.size(), 2u);
    if (i % 2 == 0) {
      EXPECT_EQ(e.args[0], L"hello");
      EXPECT_EQ(e.args[1], L"a b");
    } else {
      EXPECT_EQ(e.args[0], L"quit");
      EXPECT_EQ(e.args[1], L"");
    }
  }
  std::vector<std::string> log = ReadLog();
  EXPECT_TRUE(Contains(log, "FSCommand hello a b"));
  EXPECT_TRUE(Contains(log, "FSCommand quit "));

  EXPECT_EQ(point->Unadvise(cookie), S_OK);
  EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION);
  size_t seen = m_site->events.size();
  Pump(500);
  EXPECT_EQ(m_site->events.size(), seen);
}

TEST_F(StandinControl, HoldingMovieFiresItsCommandsOnce) {
  SetEnvironmentVariableA("FLASH_STANDIN_HOLD", "1");
  Host({0, 0, 400, 300});
  ComPtr<IConnectionPoint> point;
  DWORD cookie = AdviseEvents(m_control.get(), static_cast<IDispatch*>(m_site.get()), point);
  ASSERT_EQ(LoadMovie(kMovies + "quick.swf"), S_OK);
  Pump(1200);
  ASSERT_EQ(m_site->events.size(), 2u);
  EXPECT_EQ(m_site->events[0].args[0], L"hello");
  EXPECT_EQ(m_site->events[1].args[0], L"quit");
  point->Unadvise(cookie);
}

TEST_F(StandinControl, QuitsOnceAfterTheConfiguredTime) {
  SetEnvironmentVariableA("FLASH_STANDIN_QUIT_MS", "300");
  Host({0, 0, 400, 300});
  ComPtr<IConnectionPoint> point;
  DWORD cookie = AdviseEvents(m_control.get(), static_cast<IDispatch*>(m_site.get()), point);
  ASSERT_EQ(LoadMovie(kMovies + "plain.swf"), S_OK);  // no fscommands of its own
  Pump(150);
  EXPECT_TRUE(m_site->events.empty());
  // A second load does not restart the clock: it counts from the first.
  ASSERT_EQ(LoadMovie(kMovies + "plain.swf"), S_OK);
  Pump(650);
  ASSERT_EQ(m_site->events.size(), 1u);
  EXPECT_EQ(m_site->events[0].dispid, 150);
  EXPECT_EQ(m_site->events[0].args, (std::vector<std::wstring>{L"quit", L""}));
  EXPECT_EQ(ReadLog().back(), "FSCommand quit ");
  point->Unadvise(cookie);
}

TEST_F(StandinControl, DrawsItsBackgroundColour) {
  ASSERT_EQ(LoadMovie(kMovies + "plain.swf"), S_OK);  // the movie's own colour is 0x336699
  ComPtr<IViewObject2> view;
  ASSERT_EQ(m_control->QueryInterface(IID_IViewObject2, view.put_void()), S_OK);
  vx::win::MemoryDC memory;
  vx::win::GdiObject<HBITMAP> bitmap;
  {
    vx::win::WindowDC screen(nullptr);
    memory.reset(CreateCompatibleDC(screen.get()));
    bitmap.reset(CreateCompatibleBitmap(screen.get(), 64, 64));
  }
  ASSERT_TRUE(memory && bitmap);
  HDC dc = memory.get();
  vx::win::SelectedObject selected(dc, bitmap.get());
  RECTL bounds = {0, 0, 64, 64};
  ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0),
            S_OK);
  EXPECT_EQ(GetPixel(dc, 1, 1), RGB(0x33, 0x66, 0x99));
  ASSERT_EQ(InvokeByDispid(m_dispatch.get(), 123, DISPATCH_PROPERTYPUT, {IntArg(0xFFCC00)}, nullptr), S_OK);
  ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0),
            S_OK);
  EXPECT_EQ(GetPixel(dc, 1, 1), RGB(0xFF, 0xCC, 0x00));
}

TEST_F(StandinControl, RegistersAndUnregistersItself) {
  const char* clsidKey = "CLSID\\{D27CDB6E-AE6D-11CF-96B8-444553540000}";
  HKEY existing = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, clsidKey, 0, KEY_READ, &existing) == ERROR_SUCCESS) {
    RegCloseKey(existing);
    GTEST_SKIP() << "a Flash control is registered in this prefix already";
  }
  using Entry = HRESULT(STDAPICALLTYPE*)();
  auto reg = Export<Entry>(m_module, "DllRegisterServer");
  auto unreg = Export<Entry>(m_module, "DllUnregisterServer");
  ASSERT_NE(reg, nullptr);
  ASSERT_NE(unreg, nullptr);
  ASSERT_EQ(reg(), S_OK);

  auto value = [](const std::string& key, const char* name) {
    char buf[MAX_PATH] = {};
    DWORD dsize = sizeof buf;
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
      return std::string("<missing>");
    LONG rc = RegQueryValueExA(k, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &dsize);
    RegCloseKey(k);
    return rc == ERROR_SUCCESS ? std::string(buf) : std::string("<no value>");
  };
  char modulePath[MAX_PATH];
  GetModuleFileNameA(m_module, modulePath, MAX_PATH);
  EXPECT_EQ(value(std::string(clsidKey) + "\\InprocServer32", nullptr), modulePath);
  EXPECT_EQ(value(std::string(clsidKey) + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_NE(value(std::string(clsidKey) + "\\Control", nullptr), "<missing>");
  EXPECT_EQ(value(std::string(clsidKey) + "\\ProgID", nullptr), "ShockwaveFlash.ShockwaveFlash");
  EXPECT_EQ(value("ShockwaveFlash.ShockwaveFlash\\CLSID", nullptr), "{D27CDB6E-AE6D-11CF-96B8-444553540000}");

  // Registered, COM creates it by class.
  ComPtr<IUnknown> created;
  EXPECT_EQ(CoCreateInstance(CLSID_ShockwaveFlash, nullptr, CLSCTX_INPROC_SERVER, IID_IShockwaveFlash,
                             created.put_void()),
            S_OK);

  ASSERT_EQ(unreg(), S_OK);
  EXPECT_EQ(value(clsidKey, nullptr), "<missing>");
  EXPECT_EQ(value("ShockwaveFlash.ShockwaveFlash", nullptr), "<missing>");
}

}  // namespace
