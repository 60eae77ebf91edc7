// Bullets, shooting and the game flow on the real main window.
#include "game_fixture.h"
