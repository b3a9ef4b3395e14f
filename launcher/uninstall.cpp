#include "launcher/uninstall.h"

#include <cstring>

#include "launcher/launcher.h"
#include "launcher/texts.h"
#include "platform/files.h"
#include "platform/process.h"

namespace
{

void delete_matches(const char *pattern)
{
    char name[LAUNCHER_PATH_SIZE];
    FilesFind find = files_find_first(pattern, name, sizeof name);
    if (!find) return;
    do
        files_delete(name);
    while (files_find_next(find, name, sizeof name));
    files_find_close(find);
}

} // namespace

void uninstall_split(const char *value, char *command, char *argument, size_t size,
                     bool *has_argument)
{
    size_t length = std::strlen(value);
    if (length >= size) length = size - 1;
    std::memcpy(command, value, length);
    command[length] = '\0';
    argument[0] = '\0';
    *has_argument = false;
    char *flag = std::strstr(command, "-f");
    if (!flag) return;
    std::memcpy(argument, flag, std::strlen(flag) + 1);
    *has_argument = true;
    // The character before "-f" ends the command. A value that begins with "-f" has none:
    // its command is empty (and cannot be started) rather than cut before the buffer.
    if (flag > command)
        flag[-1] = '\0';
    else
        command[0] = '\0';
}

void uninstall_run()
{
    int32_t answer =
        ui_message_box(launcher.menu_window, texts_get(TEXT_UNINSTALL_QUESTION, launcher.language),
                       "Uninstall", MB_YESNO | MB_ICONQUESTION);
    if (answer != IDYES) return;

    launcher_compose(launcher.work_path, launcher.install_folder, "");
    size_t length = std::strlen(launcher.work_path);
    if (length && launcher.work_path[length - 1] == '\\') launcher.work_path[length - 1] = '\0';
    // Only a whole Windows path ("C:\ZENTHOR") names the install folder; anything else (a host
    // path, a name relative to wherever the menu happens to be) would delete elsewhere.
    const char *work = launcher.work_path;
    bool whole_path = ((work[0] >= 'A' && work[0] <= 'Z') || (work[0] >= 'a' && work[0] <= 'z')) &&
                      work[1] == ':' && (work[2] == '\\' || work[2] == '\0');
    if (whole_path && files_set_current_directory(work)) {
        const char *const files[] = {"drivers\\dig.ini", "loading.bmp", "tumblodos.cfg",
                                     "tumblowin.cfg", "frei.lvl"};
        for (const char *file : files)
            files_delete(file);
        delete_matches("*.lst");
        delete_matches("*.pif");
        // A "save" that is a link may lead out of the install folder: only a real folder is
        // entered.
        if (!files_is_link("save") && files_set_current_directory("save")) {
            delete_matches("*.*");
            files_set_current_directory("..");
        }
    }

    const char *args[] = {launcher.uninstall_command, launcher.uninstaller_argument};
    process_start(PROCESS_START_IN_PLACE, launcher.uninstall_command, args,
                  launcher.has_uninstaller_argument ? 2 : 1);
}
