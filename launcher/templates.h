// The menu's dialog templates as data: the menu window, the readme viewer and the About box.
#pragma once

#include "platform/ui.h"

constexpr int32_t ID_PLAY = 1003;
constexpr int32_t ID_INSTALL = 1006;
constexpr int32_t ID_SETUP = 1007;
constexpr int32_t ID_UNINSTALL = 1008;
constexpr int32_t ID_README = 1009;
constexpr int32_t ID_EXIT = 1010;
constexpr int32_t ID_README_TEXT = 1015;
constexpr int32_t ID_BACK = 1018;
constexpr int32_t ID_TRAILER = 1020;
constexpr int32_t ID_UNNAMED = -1;

// Icon group of the program icon, named by the icon controls of the About box.
constexpr int32_t ICON_PROGRAM = 158;

extern const DialogTemplate template_runner;
extern const DialogTemplate template_readme;
extern const DialogTemplate template_about;
