// Windows stand-ins for the programs a real demo install has, so that every button of the menu
// works on the disc: one program that acts by the name it was started under.
//   setup.exe    (disc root)        installs the demo: folder C:\ZENTHOR and its install record
//                                   in the registry ("setup.exe -s": quietly, without the box)
//   dxsetup.exe  (disc directx\)    says there is nothing to set up
//   ztDemo.exe   (install folder)   the "game": a box saying what it is
//   UNINST.EXE   (install folder)   removes the install folder and the install record
#include "platform/win32/win32.h"

#include "platform/files.h"
#include "platform/standard_files.h"

#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

namespace
{

const wchar_t KEY[] = L"Software\\Quillon\\Zenthor\\Inf";
const wchar_t FOLDER[] = L"C:\\ZENTHOR";

std::wstring own_path()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(path, length) : std::wstring();
}

std::wstring folder_of(const std::wstring &path)
{
    size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring(L".") : path.substr(0, cut);
}

std::wstring lower(std::wstring text)
{
    for (wchar_t &c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

int box(const wchar_t *title, const wchar_t *text)
{
    MessageBoxW(nullptr, text, title, MB_ICONINFORMATION);
    return 0;
}

bool write_file(const std::wstring &path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const char text[] = "stand-in\r\n";
    DWORD written = 0;
    bool ok =
        WriteFile(file, text, sizeof text - 1, &written, nullptr) && written == sizeof text - 1;
    return CloseHandle(file) && ok;
}

bool set_value(HKEY key, const wchar_t *name, const std::wstring &value)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
}

int install(bool quiet)
{
    // What the demo's installer leaves: the game, its uninstaller, its configuration files,
    // a driver setting and some saved games.
    const std::wstring folder = FOLDER;
    CreateDirectoryW(folder.c_str(), nullptr);
    CreateDirectoryW((folder + L"\\drivers").c_str(), nullptr);
    CreateDirectoryW((folder + L"\\save").c_str(), nullptr);
    const std::wstring self = own_path();
    bool ok = !self.empty() && CopyFileW(self.c_str(), (folder + L"\\ztDemo.exe").c_str(), FALSE) &&
              CopyFileW(self.c_str(), (folder + L"\\UNINST.EXE").c_str(), FALSE);
    for (const wchar_t *name :
         {L"drivers\\dig.ini", L"loading.bmp", L"tumblodos.cfg", L"tumblowin.cfg", L"frei.lvl",
          L"levels.lst", L"demo.pif", L"save\\slot1.sav", L"save\\slot2.sav", L"INSTALL.LOG"})
        ok = write_file(folder + L"\\" + name) && ok;
    HKEY key = nullptr;
    ok = RegCreateKeyExW(HKEY_LOCAL_MACHINE, KEY, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                         nullptr) == ERROR_SUCCESS &&
         ok;
    if (key) {
        ok = set_value(key, L"Path", folder) && ok;
        ok =
            set_value(key, L"Uninstall", folder + L"\\UNINST.EXE -f" + folder + L"\\INSTALL.LOG") &&
            ok;
        RegCloseKey(key);
    }
    if (!ok) {
        if (!quiet) box(L"Zenthor DEMO set-up", L"The demo could not be installed.");
        return 1;
    }
    if (quiet) return 0;
    return box(L"Zenthor DEMO set-up", L"The Zenthor demo has been installed to C:\\ZENTHOR.\n\n"
                                       L"Start the CD menu again to play it.");
}

// Everything in the current folder, its folders emptied and removed. Links are never followed
// and nothing above the folder is touched: a link itself goes, or stays where the system does
// not show it as one.
void empty_current_folder(int depth)
{
    if (depth > 32) return;
    std::vector<std::string> names;
    char name[MAX_PATH];
    FilesFind find = files_find_first("*", name, sizeof name);
    if (find) {
        do
            names.push_back(name);
        while (files_find_next(find, name, sizeof name));
        files_find_close(find);
    }
    for (const std::string &entry : names) {
        if (entry == "." || entry == ".." || files_delete(entry.c_str())) continue;
        if (files_is_link(entry.c_str()) || !files_set_current_directory(entry.c_str())) continue;
        empty_current_folder(depth + 1);
        files_set_current_directory("..");
        RemoveDirectoryW(win32_wide(entry.c_str()).c_str());
    }
}

int uninstall()
{
    const std::wstring self = own_path();
    const std::wstring folder = folder_of(self);
    // Only a folder that looks like our own install is removed.
    if (self.empty() ||
        GetFileAttributesW((folder + L"\\ztDemo.exe").c_str()) == INVALID_FILE_ATTRIBUTES)
        return 1;
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, KEY);
    if (!SetCurrentDirectoryW(folder.c_str())) return 1;
    empty_current_folder(0);
    SetCurrentDirectoryW(folder_of(folder).c_str());
    // A running program's file, and so its folder, may have to wait for the next start.
    if (GetFileAttributesW(self.c_str()) != INVALID_FILE_ATTRIBUTES)
        MoveFileExW(self.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    if (!RemoveDirectoryW(folder.c_str()))
        MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR arguments, int /*show*/)
{
    if (!standard_files_open_missing()) return 1;
    std::wstring path = own_path();
    std::wstring name = lower(path.substr(path.find_last_of(L"\\/") + 1));
    bool quiet = arguments &&
                 (std::strncmp(arguments, "-s", 2) == 0 || std::strncmp(arguments, "/s", 2) == 0);
    if (name == L"setup.exe") return install(quiet);
    if (name == L"uninst.exe") return uninstall();
    if (name == L"dxsetup.exe")
        return box(L"DirectX set-up", L"DirectX set-up (stand-in)\n\nNothing to install.");
    if (name == L"ztdemo.exe")
        return box(L"Zenthor DEMO", L"Zenthor demo (stand-in)\n\nThis box stands in for the demo "
                                    L"game that the CD installs.");
    return 2;
}
