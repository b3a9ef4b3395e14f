// What each window backend of the menu provides to the shared window-rule tests.
#pragma once

// No windows, classes, timers or messages left; the backend's state record handed over.
void ui_rules_reset();
