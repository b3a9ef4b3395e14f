#include "platform/headless/headless_ui.h"
#include "tests/platform/ui_rules.h"

void ui_rules_reset()
{
    headless_launcher_reset(640, 480);
}
