// Between the headless window and process services of the menu.
#pragma once

void headless_process_reset();
bool headless_process_ended();
