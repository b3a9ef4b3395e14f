// Headless process starts: each start is recorded as the original would have made it; the
// program must exist (through the files service), and a test may play its part.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"
#include "platform/headless/headless_ui.h"
#include "platform/headless/ui_internal.h"
#include "platform/process.h"

namespace
{

struct HeadlessProcesses {
    std::vector<HeadlessStart> starts;
    std::function<void(const HeadlessStart &)> on_start;
    bool ended = false;
};

HeadlessProcesses processes;

bool record(ProcessWay way, const char *program, const char *const *args, int count, bool exists)
{
    HeadlessStart start;
    start.way = way;
    start.program = program;
    for (int i = 0; i < count; i++) {
        if (i) start.command_line += ' ';
        start.command_line += args[i];
    }
    char directory[1024];
    if (files_get_current_directory(directory, sizeof directory)) start.directory = directory;
    start.started = exists && !processes.ended;
    processes.starts.push_back(start);
    if (!start.started) return false;
    if (processes.on_start) processes.on_start(processes.starts.back());
    if (way == PROCESS_START_IN_PLACE) processes.ended = true;
    return true;
}

} // namespace

void headless_process_reset()
{
    processes = HeadlessProcesses();
}
bool headless_process_ended()
{
    return processes.ended;
}
bool headless_ended_in_place()
{
    return processes.ended;
}
const std::vector<HeadlessStart> &headless_starts()
{
    return processes.starts;
}

void headless_on_start(std::function<void(const HeadlessStart &)> call)
{
    processes.on_start = std::move(call);
}

bool process_start(ProcessWay way, const char *program, const char *const *args, int count)
{
    return record(way, program, args, count, program[0] && files_exists(program));
}

bool process_run_command(const char *command)
{
    // As on the NT line: the interpreter named by COMSPEC when it can be opened, cmd.exe else.
    char interpreter[256];
    if (!process_get_env("COMSPEC", interpreter, sizeof interpreter) || !files_exists(interpreter))
        std::snprintf(interpreter, sizeof interpreter, "%s", "cmd.exe");
    const char *args[] = {interpreter, "/c", command};
    return record(PROCESS_RUN_AND_WAIT, interpreter, args, 3, true);
}
