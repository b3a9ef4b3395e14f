// The program icon as data: one 32 x 32 image in 16 colours and one in 256 colours.
#pragma once

#include "platform/ui.h"

constexpr int32_t ICON_PROGRAM_IMAGES = 2;
extern const UiIconImage icon_program_images[ICON_PROGRAM_IMAGES];
