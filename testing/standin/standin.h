// The stand-in Shockwave Flash control: an in-process COM server that the player's
// tests install in place of the real control. Win32 only.
#pragma once
#include <windows.h>
#include <ole2.h>

#include <string>

#include "player/shockwave_flash_ids.h"

namespace vx::standin {

inline constexpr DISPID kDispidFrameNum = 107;
inline constexpr DISPID kDispidBackgroundColor = 123;
inline constexpr DISPID kDispidLoadMovie = 142;
inline constexpr DISPID kDispidFSCommand = 150;

inline constexpr unsigned kDefaultFlashVersion = 0x00080000;

// IShockwaveFlash as far as its function table goes: after IDispatch's seven entries
// come 32 members that the stand-in does not offer, then FlashVersion at entry 39.
// The placeholders each take one pointer-sized argument, as the interface's
// property accessors at those places do, so a stray call cleans the stack correctly;
// each answers E_NOTIMPL.
struct IShockwaveFlashTable : public IDispatch {
  // The formatter reads the expansions as one statement; keep them as rows.
  // clang-format off
#define VX_STANDIN_UNUSED(n) \
  virtual HRESULT STDMETHODCALLTYPE Unused##n(void*) { return E_NOTIMPL; }
  VX_STANDIN_UNUSED(07) VX_STANDIN_UNUSED(08) VX_STANDIN_UNUSED(09) VX_STANDIN_UNUSED(10)
  VX_STANDIN_UNUSED(11) VX_STANDIN_UNUSED(12) VX_STANDIN_UNUSED(13) VX_STANDIN_UNUSED(14)
  VX_STANDIN_UNUSED(15) VX_STANDIN_UNUSED(16) VX_STANDIN_UNUSED(17) VX_STANDIN_UNUSED(18)
  VX_STANDIN_UNUSED(19) VX_STANDIN_UNUSED(20) VX_STANDIN_UNUSED(21) VX_STANDIN_UNUSED(22)
  VX_STANDIN_UNUSED(23) VX_STANDIN_UNUSED(24) VX_STANDIN_UNUSED(25) VX_STANDIN_UNUSED(26)
  VX_STANDIN_UNUSED(27) VX_STANDIN_UNUSED(28) VX_STANDIN_UNUSED(29) VX_STANDIN_UNUSED(30)
  VX_STANDIN_UNUSED(31) VX_STANDIN_UNUSED(32) VX_STANDIN_UNUSED(33) VX_STANDIN_UNUSED(34)
  VX_STANDIN_UNUSED(35) VX_STANDIN_UNUSED(36) VX_STANDIN_UNUSED(37) VX_STANDIN_UNUSED(38)
#undef VX_STANDIN_UNUSED
  virtual HRESULT STDMETHODCALLTYPE FlashVersion(long* version) = 0;
  // clang-format on
};

// Creates a control object and asks it for `iid`.
HRESULT CreateControl(REFIID iid, void** out);

// Live objects and server locks, for DllCanUnloadNow.
void ServerAddRef();
void ServerRelease();
bool ServerInUse();
HINSTANCE ModuleInstance();

// Appends one line (UTF-8, as all the control's text) to the file that
// FLASH_STANDIN_LOG names (nothing when unset), so that the scripts reading it compare
// paths with their own whatever the code page. The file is opened and closed for each
// line, so readers see it at once.
void LogEvent(const std::string& line);

// The value of an environment variable, or "" when it is unset.
std::string Environment(const char* name);

}  // namespace vx::standin
