// Orrinet's one application object; the window layer's WinMain runs it.
#include "player/player_app.h"

CPlayerApp theApp;
