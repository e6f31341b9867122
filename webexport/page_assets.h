// The page's HTML template and script (webexport/page/), built into the program so
// that an export never depends on files beside it other than Ruffle's.
#pragma once
#include <string>

namespace vx::web {

std::string PageTemplate();  // page/index.html
std::string PageScript();    // page/vellumix-show.js

}  // namespace vx::web
