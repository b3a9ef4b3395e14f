#include "platform/headless/launcher_headless.h"
#include "tests/platform/ui_rules.h"

void ui_rules_reset()
{
    headless_launcher_reset(640, 480);
}
