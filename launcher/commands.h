// The menu's commands, one per button, the readme viewer and the procedure of the secondary
// dialogs (readme viewer and About boxes).
#pragma once

#include <cstdint>

#include "platform/ui.h"

void commands_play();
void commands_install();
void commands_setup();
void commands_readme();
void commands_exit();
void commands_trailer();
intptr_t commands_secondary_proc(UiWindow window, uint32_t message, uintptr_t wparam,
                                 intptr_t lparam);

// Readme texts larger than this are not loaded; the viewer stays closed.
constexpr int64_t COMMANDS_README_LIMIT = 64 << 20;
