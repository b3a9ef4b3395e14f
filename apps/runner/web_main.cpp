// runner in the page: the menu over the web backend, started in the root of the CD the page
// mounted, as the CD's autorun started it.
#include "apps/web/programs.h"
#include "launcher/launcher.h"
#include "platform/posix/paths.h"
#include "platform/posix/posix.h"
#include "platform/web/web.h"

int32_t runner_web_main(const std::vector<std::string> & /*args*/)
{
    if (!paths_configure(WEB_CD_FOLDER, WEB_CD_DRIVE)) return 0;
    posix_cmdline_set(WEB_CD_DRIVE, "runner.exe");
    web_ui_reset();
    launcher_reset();
    return launcher_main(SW_SHOWNORMAL);
}
