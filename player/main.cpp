// Orrinet's one application object; the framework's WinMain runs it.
#include "player/player_app.h"

CPlayerApp theApp;
