// standin-container.exe: hosts the Shockwave Flash control in a borderless window,
// loads one movie and runs until the movie sends FSCommand "quit" (exit code 0) or
// Esc is pressed (exit code 27). Used to test the stand-in control and the Wine
// harness without the player.
//
//   standin-container.exe [--rect X Y W H] [--background RRGGBB]
//                         [--resize-after MS W H] [--touch-temp NAME] [--version] MOVIE
//
// --touch-temp makes the folder NAME with a file "file.txt" in the temporary folder.
// --version prints "FlashVersion 0x%08X" (read through function table entry 39) and
// exits. Every event received is printed as "Event <dispid> <args...>".
// Exit codes: 3 when the control cannot be created, 2 for a bad command line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/win32_handles.h"
#include "tests/testing/test_container.h"

using namespace vx::testing;
using vx::win::ComPtr;

namespace {

constexpr UINT_PTR kResizeTimer = 7;

HWND g_window = nullptr;
ComPtr<IOleInPlaceObject> g_inPlace;  // let go before OLE is
int g_exitCode = 1;
int g_resizeW = 0, g_resizeH = 0;

LRESULT CALLBACK WindowProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SIZE:
      if (g_inPlace) {
        RECT r = {0, 0, LOWORD(lp), HIWORD(lp)};
        g_inPlace->SetObjectRects(&r, &r);
      }
      return 0;
    case WM_TIMER:
      if (wp == kResizeTimer) {
        KillTimer(h, kResizeTimer);
        SetWindowPos(h, nullptr, 0, 0, g_resizeW, g_resizeH, SWP_NOMOVE | SWP_NOZORDER);
      }
      return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcA(h, msg, wp, lp);
  }
}

int Usage() {
  std::fprintf(stderr,
               "usage: standin-container [--rect X Y W H] [--background RRGGBB] "
               "[--resize-after MS W H] [--touch-temp NAME] [--version] MOVIE\n");
  return 2;
}

// Creates the control and, unless only its version is asked for, hosts it until the
// window closes; the exit code.
int Run(bool versionOnly, const char* movie, long background, int resizeAfter, const RECT& frame) {
  ComPtr<IUnknown> control;
  HRESULT hr =
      CoCreateInstance(CLSID_ShockwaveFlash, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, control.put_void());
  if (FAILED(hr)) {
    std::printf("No control: 0x%08lX\n", static_cast<unsigned long>(hr));
    std::fflush(stdout);
    return 3;
  }
  if (versionOnly) {
    ComPtr<IUnknown> flash;
    long version = 0;
    if (SUCCEEDED(control->QueryInterface(IID_IShockwaveFlash, flash.put_void())))
      hr = CallTableEntry(flash.get(), 39, &version);
    std::printf("FlashVersion 0x%08lX\n", static_cast<unsigned long>(version));
    std::fflush(stdout);
    return SUCCEEDED(hr) ? 0 : 1;
  }

  WNDCLASSA wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = "VxStandinContainer";
  RegisterClassA(&wc);
  g_window = CreateWindowExA(WS_EX_APPWINDOW, wc.lpszClassName, "Stand-in container", WS_POPUP | WS_VISIBLE,
                             frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
                             nullptr, nullptr, wc.hInstance, nullptr);

  TestSite site(g_window);
  site.onEvent = [](const ReceivedEvent& e) {
    std::printf("Event %ld", e.dispid);
    for (const auto& s : e.args) std::printf(" %ls", s.c_str());
    std::printf("\n");
    std::fflush(stdout);
    if (e.dispid == 150 && !e.args.empty() && _wcsicmp(e.args[0].c_str(), L"quit") == 0) {
      g_exitCode = 0;
      PostMessageA(g_window, WM_CLOSE, 0, 0);
    }
  };

  ComPtr<IOleObject> ole;
  ComPtr<IDispatch> dispatch;
  control->QueryInterface(IID_IOleObject, ole.put_void());
  control->QueryInterface(IID_IDispatch, dispatch.put_void());
  if (!ole || !dispatch) return 1;
  ole->SetClientSite(static_cast<IOleClientSite*>(&site));
  ComPtr<IConnectionPoint> point;
  DWORD cookie = AdviseEvents(control.get(), static_cast<IDispatch*>(&site), point);
  RECT client;
  GetClientRect(g_window, &client);
  ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(&site), 0, g_window, &client);
  control->QueryInterface(IID_IOleInPlaceObject, g_inPlace.put_void());

  if (background >= 0) {
    InvokeByDispid(dispatch.get(), 123, DISPATCH_PROPERTYPUT, {IntArg(background)}, nullptr);
  }
  VARIANT path = StringArg(movie);
  InvokeByDispid(dispatch.get(), 142, DISPATCH_METHOD, {IntArg(0), path}, nullptr);
  VariantClear(&path);
  if (resizeAfter >= 0) SetTimer(g_window, kResizeTimer, static_cast<UINT>(resizeAfter), nullptr);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
      g_exitCode = 27;
      DestroyWindow(g_window);
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }

  if (point) point->Unadvise(cookie);
  point.reset();
  g_inPlace.reset();
  ole->Close(OLECLOSE_NOSAVE);
  ole->SetClientSite(nullptr);
  return g_exitCode;
}

}  // namespace

int main(int argc, char** argv) {
  int x = 100, y = 50, w = 550, h = 400;
  long background = -1;
  int resizeAfter = -1;
  bool versionOnly = false;
  const char* movie = nullptr;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--rect" && i + 4 < argc) {
      x = std::atoi(argv[++i]);
      y = std::atoi(argv[++i]);
      w = std::atoi(argv[++i]);
      h = std::atoi(argv[++i]);
    } else if (a == "--background" && i + 1 < argc) {
      background = std::strtol(argv[++i], nullptr, 16);
    } else if (a == "--resize-after" && i + 3 < argc) {
      resizeAfter = std::atoi(argv[++i]);
      g_resizeW = std::atoi(argv[++i]);
      g_resizeH = std::atoi(argv[++i]);
    } else if (a == "--touch-temp" && i + 1 < argc) {
      char temp[MAX_PATH];
      GetTempPathA(MAX_PATH, temp);
      std::string folder = std::string(temp) + argv[++i];
      CreateDirectoryA(folder.c_str(), nullptr);
      vx::win::UniqueHandle file(CreateFileA((folder + "\\file.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    } else if (a == "--version") {
      versionOnly = true;
    } else if (!a.empty() && a[0] != '-' && !movie) {
      movie = argv[i];
    } else {
      return Usage();
    }
  }
  if (!movie && !versionOnly) return Usage();

  OleInitialize(nullptr);
  int rc = Run(versionOnly, movie, background, resizeAfter, RECT{x, y, x + w, y + h});
  OleUninitialize();
  return rc;
}
