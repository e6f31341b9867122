// The player's decisions that do not need a window: which archive entries are slides,
// how the description file's values are read, where the window goes, when the
// slideshow moves on, and the name of a package's own temporary folder.
#pragma once
#include <cstdint>
#include <string>

namespace vx {

// True when the last three characters of `name`, upper-cased, are "SWF" (a name of
// fewer than three characters is compared whole). "intro.swf", "a.Swf" and "noswf"
// are slides; "movie.swf.bak" is not.
bool IsSlideName(const std::string& name);

// ASCII comparison without regard to case.
bool EqualsNoCase(const std::string& a, const char* b);

// "fullscreen": only "true" (any case) means full screen.
inline bool IsFullScreenValue(const std::string& value) { return EqualsNoCase(value, "true"); }
// "type": anything but "resource" (any case) is a slideshow.
inline bool IsSlideshowType(const std::string& value) { return !EqualsNoCase(value, "resource"); }
// The FSCommand that closes the player.
inline bool IsQuitCommand(const std::string& command) { return EqualsNoCase(command, "quit"); }

struct WindowPlacement {
  int left;
  int top;
  int width;
  int height;
};

// Full screen: the whole screen. Otherwise the movie's size centred on the screen,
// each half truncated toward zero (a movie larger than the screen starts off-screen).
WindowPlacement PlaceWindow(bool fullScreen, int screenWidth, int screenHeight, int movieWidth,
                            int movieHeight);

// The slideshow timer's two counters. Every 100 ms tick reports the control's frame
// number; the slideshow moves on when the frame went backwards (the movie looped) or
// when more than kStallLimit ticks since the last advance saw an unchanged frame. The
// unchanged ticks are not required to be consecutive.
class SlideshowWatch {
 public:
  static constexpr int kStallLimit = 50;

  // Counts one tick; true when the slideshow must advance now (the counters are left
  // for Reset, which the caller runs after the advance, whatever its outcome).
  bool Tick(int frame);
  void Reset();

  int lastFrame() const { return m_lastFrame; }
  int stillTicks() const { return m_stillTicks; }

 private:
  int m_lastFrame = -1;
  int m_stillTicks = 0;
};

// The value of `key` in `section` of a description text, read by the rules the
// private-profile functions apply to package.ini: section and key names match without
// regard to case, blanks around names and values are dropped, lines starting with ";"
// are comments, and the first section and key of a name count. `fallback` when the
// key is not there.
std::string DescriptionValue(const std::string& text, const char* section, const char* key,
                             const std::string& fallback);

// The name of a package's own folder inside the shared "VX" folder: 16 lower-case hex
// digits of a 64-bit FNV-1a hash of what identifies the package, its title and the
// name of the movie it starts with. It stays the same from run to run (the Flash
// control keys a local movie's saved data by the movie's path), wherever the package
// lies and whatever else it carries; packages that differ in either get other names.
std::string PackageFolderName(const std::string& title, const std::string& firstMovie);

// The folder of the n-th instance of a package running at the same time: the package's
// folder name for the first, "<name>-<n>" for the others.
std::string InstanceFolderName(const std::string& packageFolder, int instance);

}  // namespace vx
