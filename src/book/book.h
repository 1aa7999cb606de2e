// Opening book "Tavik.book".
#pragma once
#include "board/types.h"

void openBook();
void closeBook();
Move probeBook();
