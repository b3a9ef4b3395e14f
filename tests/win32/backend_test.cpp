// The Win32 backend's services one by one, under Wine, against what the platform headers
// promise: files and searches that meet folders, links, pipes, devices, read-only files and
// names Windows cannot give us; the registry's too-small buffer; process starts that cannot
// happen; the dialogs built from the templates; a surface released while locked; the sound
// buffer's wrap and its moving play cursor.
// usage: backend_tests.exe FOLDER   (the folder the driver script prepared; see wine_test.sh)
// Prints one line per failed check; the exit status is the number of failures.
#include "platform/win32/win32.h"

#include "launcher/templates.h"
#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/readfile.h"
#include "platform/registry.h"
#include "platform/screen.h"
#include "platform/ui.h"
#include "platform/window.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

namespace
{

int failures;

void check(bool ok, const char *what)
{
    if (ok) return;
    std::printf("FAILED: %s\n", what);
    std::fflush(stdout);
    failures++;
}

bool present(const char *name)
{
    return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES;
}

std::string read_all(const char *name)
{
    std::string text;
    FilesFile file = files_open_read(name);
    if (!file) return "<none>";
    char buffer[64];
    size_t n;
    while ((n = files_read(file, buffer, sizeof buffer)) > 0)
        text.append(buffer, n);
    files_close(file);
    return text;
}

void test_files()
{
    // What counts as a file: only a regular one.
    check(files_exists("a.lst"), "a regular file exists");
    check(!files_exists("sub"), "a folder is no file");
    check(!files_exists("fifo"), "a FIFO is no file");
    check(!files_exists("NUL"), "a device is no file");
    check(!files_exists("missing"), "a missing file");
    check(!files_open_read("sub") && !files_open_read("fifo") && !files_open_read("NUL"),
          "only regular files open");
    check(read_all("a.lst") == "a\n", "a file reads back whole");
    FilesFile file = files_open_read("a.lst");
    check(files_size(file) == 2, "a file's size");
    files_close(file);

    errno = 0;
    check(!readfile_open("sub") && errno == EISDIR, "readfile: a folder is EISDIR");
    errno = 0;
    check(!readfile_open("fifo") && errno == EINVAL, "readfile: a FIFO is EINVAL, without waiting");
    errno = 0;
    check(!readfile_open("NUL") && errno == EINVAL, "readfile: a device is EINVAL");
    errno = 0;
    check(!readfile_open("missing") && errno == ENOENT, "readfile: a missing file is ENOENT");
    FILE *stream = readfile_open("a.lst");
    char head[3] = {};
    check(stream && std::fread(head, 1, 2, stream) == 2 && std::strcmp(head, "a\n") == 0,
          "readfile: a regular file reads in binary");
    if (stream) std::fclose(stream);

    // Searches: matched without regard to case; names code page 1252 cannot hold, and names
    // longer than the caller's buffer, are passed over rather than cut.
    std::set<std::string> names;
    char name[256];
    FilesFind find = files_find_first("*.lst", name, sizeof name);
    check(find != 0, "a search finds");
    if (find) {
        do
            names.insert(name);
        while (files_find_next(find, name, sizeof name));
        files_find_close(find);
    }
    std::string long_name = std::string(120, 'x') + ".lst";
    check(names == std::set<std::string>({"a.lst", "B.LST", long_name, "caf\xE9.lst"}),
          "a search gives every name code page 1252 holds, and only those");
    names.clear();
    char small[16];
    find = files_find_first("*.lst", small, sizeof small);
    if (find) {
        do
            names.insert(small);
        while (files_find_next(find, small, sizeof small));
        files_find_close(find);
    }
    check(names == std::set<std::string>({"a.lst", "B.LST", "caf\xE9.lst"}),
          "a name longer than the buffer is passed over");
    check(files_find_first("nothing*.zzz", name, sizeof name) == 0, "a search without match");
    check(files_exists("caf\xE9.lst") && read_all("caf\xE9.lst") == "e\n",
          "a code page 1252 name opens");

    check(files_is_link("dirlink"), "a link to a folder is a link");
    check(files_is_link("filelink"), "a link to a file is a link, also where the system hides it");
    check(!files_is_link("sub") && !files_is_link("B.LST"), "a folder or a file is no link");

    // Deleting: never a folder, a link's target or a read-only file.
    check(!files_delete("sub") && present("sub"), "a folder is not deleted");
    check(!files_delete("dirlink") && present("dirlink"), "a link to a folder is not deleted");
    check(!files_delete("ro.txt") && present("ro.txt"), "a read-only file is not deleted");
    // Where the system shows the link it goes itself; where it hides it (Wine), it stays:
    // never what it leads to (the driver script checks the folder outside).
    bool gone = files_delete("filelink");
    check(gone ? !present("filelink") : read_all("filelink") == "keep\n",
          "a link to a file goes itself or stays, never its target");
    check(!files_delete("dirlink\\keep.txt") && !files_delete("dirlink\\inner\\x.lst"),
          "nothing is deleted through a link to a folder");
    check(!files_delete("..\\attack\\B.LST") && !files_delete("sub\\..\\B.LST") && present("B.LST"),
          "nothing is deleted above the current directory");
    char absolute[MAX_PATH];
    GetFullPathNameA("B.LST", MAX_PATH, absolute, nullptr);
    check(!files_delete(absolute) && !files_delete("\\B.LST") && present("B.LST"),
          "nothing is deleted by a drive or root path");
    check(files_delete("a.lst") && !present("a.lst"), "a regular file is deleted");
    check(!files_delete("a.lst"), "a missing file cannot be deleted");

    check(files_create_empty("new.txt") && read_all("new.txt").empty(), "an empty file is made");
    check(files_create_empty("B.LST") && read_all("B.LST") == "b\n",
          "an existing file keeps its contents");

    char folder[MAX_PATH];
    check(!files_get_current_directory(folder, 4), "a current directory too long for the buffer");
    check(files_get_current_directory(folder, sizeof folder) &&
              files_set_current_directory("sub") && files_set_current_directory(folder),
          "into a folder and back");
}

void test_registry()
{
    const char key_name[] = "Software\\DemoCdBackendTest";
    HKEY made = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_name, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &made,
                    nullptr);
    check(made != nullptr, "a test key is made");
    if (!made) return;
    RegSetValueExA(made, "Text", 0, REG_SZ, reinterpret_cast<const BYTE *>("hello"), 6);
    RegCloseKey(made);

    RegistryKey key = 0;
    check(registry_open_key(key_name, &key) == REG_ERROR_SUCCESS && key, "the key opens");
    uint8_t data[16];
    std::memset(data, 'X', sizeof data);
    uint32_t size = 3, type = 0;
    check(registry_query_value(key, "Text", &type, data, &size) == REG_ERROR_MORE_DATA &&
              size == 6 && data[0] == 'X' && data[2] == 'X',
          "a value too big: MORE_DATA, its size, and nothing copied");
    size = sizeof data;
    check(registry_query_value(key, "Text", &type, data, &size) == REG_ERROR_SUCCESS && size == 6 &&
              type == REG_TYPE_SZ && std::strcmp(reinterpret_cast<char *>(data), "hello") == 0,
          "a value with its terminator and type");
    size = sizeof data;
    check(registry_query_value(key, "Missing", nullptr, data, &size) == REG_ERROR_FILE_NOT_FOUND,
          "a missing value");
    registry_close_key(key);
    RegistryKey none = 1;
    check(registry_open_key("Software\\DemoCdNoSuchKey", &none) == REG_ERROR_FILE_NOT_FOUND &&
              none == 0,
          "a missing key");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, key_name);
}

void test_process()
{
    const char *args[] = {"missing.exe"};
    check(!process_start(PROCESS_START_BESIDE, "missing.exe", args, 1),
          "a missing program is not started");
    const char *folder[] = {"sub"};
    check(!process_start(PROCESS_START_BESIDE, "sub", folder, 1), "a folder is not started");
    char value[64];
    SetEnvironmentVariableA("DEMOCD_TEST", "caf\xE9");
    check(process_get_env("DEMOCD_TEST", value, sizeof value) && std::strcmp(value, "caf\xE9") == 0,
          "an environment variable in code page 1252");
    check(!process_get_env("DEMOCD_TEST", value, 4), "a variable too long for the buffer");
    check(!process_get_env("DEMOCD_UNSET", value, sizeof value), "an unset variable");
    check(process_run_command("exit 0"), "a command through the interpreter");
}

intptr_t dialog_proc(UiWindow, uint32_t, uintptr_t, intptr_t)
{
    return 0;
}

std::string class_of(HWND window)
{
    char name[32] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

void test_dialogs()
{
    check(ui_register_icon(158, nullptr, 0), "the icon group is in the resources");
    UiWindow menu = ui_create_dialog(&template_runner, 0, dialog_proc);
    check(menu != 0, "the menu dialog is made from its template");
    for (int32_t i = 0; i < template_runner.control_count; i++) {
        const DialogControl &control = template_runner.controls[i];
        HWND item = reinterpret_cast<HWND>(ui_get_dlg_item(menu, control.id));
        wchar_t text[64] = {};
        GetWindowTextW(item, text, 64);
        std::wstring expected = win32_wide(control.text);
        check(item && class_of(item) == "Button" && expected == text,
              "each button of the menu, with its text");
    }
    UiRect rect;
    check(ui_get_window_rect(ui_get_dlg_item(menu, template_runner.controls[0].id), &rect) &&
              rect.left >= 0 && rect.left < 10 && rect.top >= 0 && rect.top < 10,
          "a control's rectangle is in its dialog's client coordinates");
    ui_destroy_window(menu);
    check(!ui_is_window(menu), "a destroyed dialog is gone");

    UiWindow about = ui_create_dialog(&template_about, 0, dialog_proc);
    int icons = 0;
    for (HWND child = GetWindow(reinterpret_cast<HWND>(about), GW_CHILD); child;
         child = GetWindow(child, GW_HWNDNEXT))
        if (class_of(child) == "Static" && SendMessageW(child, STM_GETICON, 0, 0)) icons++;
    check(icons == 2, "the about box shows the icon twice");
    ui_destroy_window(about);

    UiWindow readme = ui_create_dialog(&template_readme, 0, dialog_proc);
    HWND edit = reinterpret_cast<HWND>(ui_get_dlg_item(readme, ID_README_TEXT));
    check(edit && class_of(edit) == "Edit" &&
              (GetWindowLongW(edit, GWL_STYLE) & (ES_MULTILINE | ES_READONLY)) ==
                  (ES_MULTILINE | ES_READONLY),
          "the readme's text is a read-only multi-line edit");
    ui_set_dlg_item_text(readme, ID_README_TEXT,
                         "Zur\xFC"
                         "ck\r\n");
    wchar_t text[16] = {};
    GetWindowTextW(edit, text, 16);
    check(std::wstring(text) == L"Zur\u00FCck\r\n", "texts are code page 1252");
    ui_destroy_window(readme);
}

intptr_t window_proc(Window *window, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    return window_default_proc(window, message, wparam, lparam);
}

void test_screen(Window *window)
{
    ScreenDevice *device = nullptr;
    check(screen_create(&device) == DD_OK && device, "a display device");
    if (!device) return;
    // The normal level: the test shares the desktop rather than take it.
    check(screen_set_cooperative_level(device, window, 8) == DD_OK, "the cooperative level");
    ScreenSurface *surface = nullptr;
    check(screen_create_primary(device, &surface) == DD_OK && surface, "the primary surface");
    if (!surface) return;
    void *pixels = nullptr;
    int32_t pitch = 0;
    check(screen_lock(surface, DDLOCK_WAIT | DDLOCK_WRITEONLY, &pixels, &pitch) == DD_OK &&
              pixels && pitch > 0,
          "the surface locks");
    check(screen_lock(surface, DDLOCK_WAIT, &pixels, &pitch) == DDERR_SURFACEBUSY,
          "a second lock is refused");
    // Released while another thread would still write into it: the memory stays until the
    // unlock, which then answers that the surface is gone.
    screen_release_surface(surface);
    screen_release(device);
    if (pixels) static_cast<volatile uint8_t *>(pixels)[0] = 0;
    check(screen_unlock(surface) == DDERR_SURFACELOST, "the unlock after the release");
    check(screen_lock(surface, DDLOCK_WAIT, &pixels, &pitch) == DDERR_SURFACELOST,
          "a released surface does not lock");
}

void test_audio(Window *window)
{
    AudioDevice *device = nullptr;
    int32_t r = audio_create(&device);
    check(r == DS_OK && device, "a sound device (the driver starts a sound server)");
    if (!device) return;
    check(audio_set_cooperative_level(device, window, DSSCL_EXCLUSIVE) == DS_OK,
          "the cooperative level");
    AudioFormat format = {1, 1, 22050, 22050, 1, 8, 0};
    AudioBufferDesc bad_desc = {0, 14112, nullptr};
    AudioBuffer *buffer = nullptr;
    check(audio_create_buffer(device, &bad_desc, &buffer) == DSERR_INVALIDPARAM && !buffer,
          "a secondary buffer without a format: INVALIDPARAM");
    AudioBufferDesc desc = {0, 14112, &format};
    check(audio_create_buffer(device, &desc, &buffer) == DS_OK && buffer, "a secondary buffer");
    if (!buffer) return;
    void *part1 = nullptr, *part2 = nullptr;
    uint32_t bytes1 = 0, bytes2 = 0;
    check(audio_lock(buffer, 14000, 200, &part1, &bytes1, &part2, &bytes2, 0) == DS_OK &&
              bytes1 == 112 && bytes2 == 88 && part2,
          "a lock past the end goes on at the start");
    audio_unlock(buffer, part1, bytes1, part2, bytes2);
    check(audio_lock(buffer, 0, 14112, &part1, &bytes1, nullptr, nullptr, 0) == DS_OK &&
              bytes1 == 14112,
          "the whole buffer locks");
    std::memset(part1, 0x80, bytes1);
    audio_unlock(buffer, part1, bytes1, nullptr, 0);
    check(audio_play(buffer, DSBPLAY_LOOPING) == DS_OK, "it plays");
    uint32_t play = 0, write = 0;
    DWORD start = GetTickCount();
    bool moved = false;
    while (!moved && GetTickCount() - start < 10000) {
        Sleep(10u);
        moved = audio_get_position(buffer, &play, &write) == DS_OK && play >= 3528;
    }
    check(moved, "the play cursor moves on");
    check(audio_stop(buffer) == DS_OK, "it stops");
    uint32_t first = 0, second = 1;
    audio_get_position(buffer, &first, nullptr);
    Sleep(200u);
    audio_get_position(buffer, &second, nullptr);
    check(first == second, "a stopped cursor stays where it was");
    audio_release_buffer(buffer);
    audio_release(device);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2 || !SetCurrentDirectoryA(argv[1])) {
        std::fprintf(stderr, "usage: backend_tests.exe FOLDER\n");
        return 100;
    }
    test_files();
    test_registry();
    test_process();
    test_dialogs();
    Window *window = window_create("backend test", 0, 0, 64, 64, window_proc);
    check(window != nullptr, "a player window");
    test_screen(window);
    test_audio(window);
    window_destroy(window);
    std::printf("%d failed\n", failures);
    return failures;
}
