// Starting the CD's programs with CreateProcess, the command line and the environment.
#include "platform/win32/win32.h"

#include "platform/cmdline.h"
#include "platform/process.h"

#include <cstdio>
#include <string>

namespace
{

bool run(ProcessWay way, const char *program, const std::string &line)
{
    std::wstring application = win32_wide(program);
    std::wstring command = win32_wide(line.c_str());
    if (application.empty()) return false;
    // A missing program fails here, before any process exists.
    DWORD attributes = GetFileAttributesW(application.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    // The current directory, the environment and the inheritable handles go to the program.
    if (!CreateProcessW(application.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &info))
        return false;
    CloseHandle(info.hThread);
    if (way == PROCESS_RUN_AND_WAIT) WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hProcess);
    if (way == PROCESS_START_IN_PLACE) {
        // At once, windows open and without any further code of the program's own.
        std::fflush(nullptr);
        TerminateProcess(GetCurrentProcess(), 0);
        ExitProcess(0);
    }
    return true;
}

} // namespace

bool process_start(ProcessWay way, const char *program, const char *const *args, int count)
{
    std::string line;
    for (int i = 0; i < count; i++) {
        if (i) line += ' ';
        line += args[i];
    }
    return run(way, program, line);
}

bool process_run_command(const char *command)
{
    char interpreter[MAX_PATH];
    if (!process_get_env("COMSPEC", interpreter, sizeof interpreter) ||
        GetFileAttributesW(win32_wide(interpreter).c_str()) == INVALID_FILE_ATTRIBUTES) {
        UINT length = GetSystemDirectoryA(interpreter, MAX_PATH - 9);
        if (length == 0 || length >= MAX_PATH - 9) return false;
        lstrcatA(interpreter, "\\cmd.exe");
    }
    // As every start: the arguments joined with single blanks, no quotes added.
    std::string line = std::string(interpreter) + " /c " + command;
    return run(PROCESS_RUN_AND_WAIT, interpreter, line);
}

bool process_get_env(const char *name, char *value, size_t size)
{
    std::wstring wide_name = win32_wide(name);
    wchar_t wide[32768];
    DWORD length = GetEnvironmentVariableW(wide_name.c_str(), wide, 32768);
    return length > 0 && length < 32768 && win32_narrow(wide, value, size);
}

const char *cmdline_get()
{
    return GetCommandLineA();
}
