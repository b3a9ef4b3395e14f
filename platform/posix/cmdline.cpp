#include <string>

#include "platform/cmdline.h"
#include "platform/posix/paths.h"
#include "platform/posix/posix.h"

namespace
{
std::string command_line;
}

void posix_cmdline_set(char cd_letter, const char *program_name)
{
    std::string name;
    if (!paths_from_utf8(program_name, &name)) name = "runner";
    command_line = std::string(1, cd_letter) + ":\\" + name;
}

const char *cmdline_get()
{
    return command_line.c_str();
}
