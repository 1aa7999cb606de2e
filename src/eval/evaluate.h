// Static evaluation driver (phase and shared evaluation state).
#pragma once

extern int gamePhase;  // 0 opening .. 10 endgame

int computeGamePhase();
