// filmo in the page: the player over the web backend, with its movie names as the page's
// programs hand them over (each one whole, blanks included).
#include "apps/web/programs.h"
#include "platform/cmdline.h"
#include "player/player.h"

int32_t filmo_web_main(const std::vector<std::string> &args)
{
    std::vector<const char *> names;
    names.reserve(args.size());
    for (const std::string &a : args)
        names.push_back(a.c_str());
    CmdlineArgs command{nullptr, static_cast<int>(names.size()), names.data()};
    return player_run(&command);
}
