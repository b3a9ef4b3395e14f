#include "tests/launcher/attack.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "launcher/launcher.h"
#include "launcher/templates.h"
#include "platform/files.h"
#include "platform/headless/launcher_headless.h"
#include "platform/posix/paths.h"
#include "tests/launcher/sandbox.h"
#include "tests/launcher/unlink_guard.h"

namespace
{

uint32_t pick(AttackChoices *c, uint32_t n)
{
    if (n <= 1) return 0;
    if (c->random) return static_cast<uint32_t>((*c->random)() % n);
    uint32_t v = 0;
    for (int i = 0; i < (n > 256 ? 2 : 1); i++)
        v = v << 8 | (c->at < c->size ? c->data[c->at++] : 0);
    return v % n;
}

bool chance(AttackChoices *c, uint32_t in)
{
    return pick(c, in) == 0;
}

std::string backslashed(const fs::path &p)
{
    std::string out;
    for (char ch : p.string())
        out += ch == '/' ? '\\' : ch;
    return out;
}

std::string in_any_case(AttackChoices *c, const std::string &name)
{
    uint32_t how = pick(c, 4);
    std::string out = name;
    for (char &ch : out) {
        bool upper = how == 1 || (how == 2 && chance(c, 2));
        if (how != 0 && upper && ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
    }
    return out;
}

struct Tree {
    Sandbox box;
    fs::path install; // the install folder on disk
    fs::path install_real;
    std::vector<std::string> odd_names; // names that try to leave the folder
    std::set<std::string> made;
};

// A name for an entry of the install folder or below: the uninstall's own names in any case,
// names its patterns match or nearly match, names that no Windows file system holds, and
// names that read as paths out of the folder.
std::string entry_name(AttackChoices *c, Tree *t, bool in_save)
{
    static const char *const table[] = {"drivers",       "dig.ini",  "loading.bmp", "tumblodos.cfg",
                                        "tumblowin.cfg", "frei.lvl", "save"};
    static const char *const endings[] = {".lst", ".pif", ".LST", ".Pif", ".lst.txt", ".lsta",
                                          "lst",  ".sav", "",     ".",    ".pif~",    ".lst "};
    static const char *const stems[] = {"a", "B", "game", "x.y", "..", ".", "con", "~1", " sp"};
    switch (pick(c, in_save ? 5 : 6)) {
    case 0:
    case 5:
        return in_any_case(c, table[pick(c, 7)]);
    case 1:
    case 2: {
        // One pick after the other: the order of a tree's choices is the same for every compiler.
        std::string stem = stems[pick(c, 9)];
        const char *ending = endings[chance(c, 2) ? pick(c, 4) : pick(c, 12)];
        return in_any_case(c, stem + ending);
    }
    case 3:
        return t->odd_names[pick(c, static_cast<uint32_t>(t->odd_names.size()))];
    default: {
        static const char odd[] = "\\:*?\"<>|\x01\x1f\x7f\xff";
        std::string name = in_any_case(c, std::string(stems[pick(c, 9)]));
        size_t at = pick(c, static_cast<uint32_t>(name.size() + 1));
        name.insert(at, 1, odd[pick(c, sizeof odd - 1)]);
        return name + endings[pick(c, 12)];
    }
    }
}

// Where a link points: outside files and folders, the canaries, the install folder's own
// entries and parents, the host's root, nothing, itself.
std::string link_target(AttackChoices *c, Tree *t, const fs::path &at)
{
    const Sandbox &b = t->box;
    switch (pick(c, 11)) {
    case 0:
        return (b.outside / "canary.txt").string();
    case 1:
        return (b.outside / "dir").string();
    case 2:
        return "../../canary.txt";
    case 3:
        return "..";
    case 4:
        return (b.cd / "loading.bmp").string();
    case 5:
        return (b.outside / "save").string();
    case 6:
        return "/nonexistent-attack-target";
    case 7:
        return at.filename().string(); // itself: a loop
    case 8:
        return (b.outside / "dir" / "dig.ini").string();
    case 9:
        return b.drive_c.string();
    default:
        return (b.cd).string();
    }
}

void make_entries(AttackChoices *c, Tree *t, const fs::path &folder, int depth, bool in_save,
                  AttackFigures *f);

void make_entry(AttackChoices *c, Tree *t, const fs::path &path, int depth, AttackFigures *f)
{
    std::error_code error;
    if (fs::symlink_status(path, error).type() != fs::file_type::not_found) return;
    t->made.insert(path.filename().string());
    uint32_t kind = pick(c, 10);
    if (kind <= 3) {
        write_file(path, path.filename().string());
        if (kind == 3) chmod(path.c_str(), 0444);
        f->files++;
    } else if (kind <= 5) {
        fs::create_symlink(link_target(c, t, path), path, error);
        f->links++;
    } else if (kind <= 8 && depth < 3) {
        fs::create_directory(path, error);
        f->folders++;
        bool save = paths_equal_folded(path.filename().string(), "save");
        make_entries(c, t, path, depth + 1, save, f);
    } else if (kind == 9) {
        mkfifo(path.c_str(), 0644);
        f->others++;
    } else {
        write_file(path, "x");
        f->files++;
    }
}

void make_entries(AttackChoices *c, Tree *t, const fs::path &folder, int depth, bool in_save,
                  AttackFigures *f)
{
    uint32_t count = pick(c, depth == 0 ? 24 : 8) + (depth == 0 ? 4 : 0);
    // The two folders the uninstall goes into, in some case and of some kind, most often real.
    if (depth == 0)
        for (const char *name : {"save", "drivers"}) {
            fs::path path = folder / in_any_case(c, name);
            if (chance(c, 3)) {
                make_entry(c, t, path, depth, f);
            } else {
                fs::create_directory(path);
                t->made.insert(path.filename().string());
                f->folders++;
                make_entries(c, t, path, depth + 1, std::string(name) == "save", f);
            }
        }
    for (uint32_t i = 0; i < count; i++) {
        std::string name = entry_name(c, t, in_save);
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
            continue;
        make_entry(c, t, folder / name, depth, f);
    }
}

// What the uninstall may see: names a Windows file system could hold. The trees' names are
// ASCII but for 0xFF, which alone is no UTF-8 and so has no code page 1252 spelling.
bool visible(const std::string &name)
{
    for (unsigned char ch : name)
        if (ch < 0x20 || ch >= 0x80 || std::strchr("\\/:*?\"<>|", ch)) return false;
    return true;
}

std::string folded(const std::string &name)
{
    std::string out = name;
    for (char &ch : out)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + 32);
    return out;
}

std::vector<std::string> names_in(const fs::path &folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto &entry : fs::directory_iterator(folder, error))
        names.push_back(entry.path().filename().string());
    return names;
}

// The entry a Windows name finds: its own spelling, else the lowest visible one of its case.
bool lookup(const fs::path &folder, const std::string &name, fs::path *found)
{
    struct stat st;
    if (lstat((folder / name).c_str(), &st) == 0) {
        *found = folder / name;
        return true;
    }
    std::string best;
    for (const std::string &n : names_in(folder))
        if (visible(n) && folded(n) == folded(name) && (best.empty() || n < best)) best = n;
    if (best.empty()) return false;
    *found = folder / best;
    return true;
}

bool real_folder(const fs::path &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool deletable(const fs::path &path)
{
    struct stat st, target;
    if (lstat(path.c_str(), &st) != 0) return false;
    if (S_ISLNK(st.st_mode)) return !(stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode));
    return S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR);
}

bool ends_with_folded(const std::string &name, const char *ending)
{
    size_t n = std::strlen(ending);
    return name.size() >= n && folded(name.substr(name.size() - n)) == ending;
}

// The files the uninstall deletes from this tree, as paths relative to the sandbox.
std::set<std::string> expected_deletions(const Tree &t)
{
    std::set<std::string> out;
    const fs::path &root = t.box.root;
    auto take = [&](const fs::path &p) {
        if (deletable(p)) out.insert(p.lexically_relative(root).string());
    };
    fs::path found, drivers;
    if (lookup(t.install, "drivers", &drivers) && real_folder(drivers) &&
        lookup(drivers, "dig.ini", &found))
        take(found);
    for (const char *name : {"loading.bmp", "tumblodos.cfg", "tumblowin.cfg", "frei.lvl"})
        if (lookup(t.install, name, &found)) take(found);
    for (const char *ending : {".lst", ".pif"})
        for (const std::string &n : names_in(t.install))
            if (visible(n) && ends_with_folded(n, ending)) take(t.install / n);
    fs::path save;
    if (lookup(t.install, "save", &save) && real_folder(save))
        for (const std::string &n : names_in(save))
            if (visible(n)) take(save / n);
    return out;
}

std::string describe(const std::set<std::string> &names)
{
    std::string out;
    for (const std::string &n : names)
        out += " [" + n + "]";
    return out;
}

// Compares two listings: what went must be exactly gone, everything else unchanged.
std::string compare(const std::map<std::string, std::string> &before,
                    const std::map<std::string, std::string> &after,
                    const std::set<std::string> &gone, const std::string &may_change)
{
    std::set<std::string> wrong;
    for (const auto &entry : before) {
        auto now = after.find(entry.first);
        bool inside =
            !may_change.empty() && entry.first.compare(0, may_change.size(), may_change) == 0;
        if (gone.count(entry.first) ? now != after.end()
                                    : (now == after.end() ? !inside : now->second != entry.second))
            wrong.insert(entry.first);
    }
    for (const auto &entry : after)
        if (!before.count(entry.first)) wrong.insert(entry.first);
    return wrong.empty() ? std::string() : "changed:" + describe(wrong);
}

void build(AttackChoices *c, Tree *t, AttackFigures *f, std::string *path_value, bool *sound)
{
    Sandbox &b = t->box;
    b = sandbox_make();
    write_file(b.cd / "loading.bmp", make_bmp(8, 8, 0));
    for (const char *canary : {"x.lst", "y.pif", "save/z.sav", "drivers/dig.ini", "frei.lvl"})
        write_file(b.cd / canary, "cd canary");
    for (const char *canary : {"canary.txt", "dir/dig.ini", "dir/a.lst", "save/a.sav", "x.pif"})
        write_file(b.outside / canary, "outside canary");
    chmod((b.outside / "dir").c_str(), 0755);
    write_file(b.drive_c / "canary.txt", "drive canary");
    write_file(b.drive_c / "loading.bmp", "drive canary");
    write_file(b.drive_c / "save" / "c.sav", "drive canary");
    f->outside_entries += 13;

    t->odd_names = {"..\\..\\canary.txt",
                    "..\\canary.txt",
                    "..\\..\\..\\cd\\loading.bmp",
                    "Z:" + backslashed(b.outside) + "\\canary.txt",
                    "Z:" + backslashed(b.outside) + "\\dir\\dig.ini",
                    "C:\\canary.txt",
                    "E:\\x.lst",
                    "\\canary.txt",
                    "save\\..\\..\\canary.txt",
                    "dir\\a.lst",
                    "a:b.lst",
                    "..\\save\\c.sav"};

    static const char *const spellings[] = {"ZENTHOR", "zenthor", "Zenthor"};
    t->install = b.drive_c / spellings[pick(c, 3)];
    if (!chance(c, 16)) {
        fs::create_directory(t->install);
        make_entries(c, t, t->install, 0, false, f);
    }
    // Mostly the usual record; now and then one that names no install folder at all.
    switch (pick(c, 20)) {
    case 0:
        *path_value = t->install.string() + "/"; // a host path
        break;
    case 1:
        *path_value = "ZENTHOR"; // relative to wherever the menu is
        break;
    case 2:
        *path_value = "Q:\\ZENTHOR"; // a drive the prefix does not map
        break;
    case 3:
        *path_value = "Z:" + backslashed(t->install); // only the host's root as fallback
        break;
    case 4:
        *path_value = "c:\\zenthor\\";
        break;
    default:
        *path_value = "C:\\ZENTHOR";
    }
    *sound = chance(c, 3);
    f->names += t->made.size();
}

} // namespace

std::string attack_run_tree(AttackChoices *c, AttackFigures *f, bool more_names)
{
    Tree t;
    std::string path_value;
    bool sound;
    build(c, &t, f, &path_value, &sound);
    f->trees++;
    const Sandbox &b = t.box;
    std::error_code error;
    t.install_real = fs::canonical(t.install, error);

    bool names_folder = path_value == "C:\\ZENTHOR" || path_value == "c:\\zenthor\\";
    std::set<std::string> gone;
    if (names_folder && real_folder(t.install)) gone = expected_deletions(t);
    std::string problem;
    if (!paths_configure(b.cd.c_str(), 'E')) problem = "cannot use the CD folder";
    launcher_reset();
    headless_launcher_reset(1024, 768);
    headless_set_command_line("E:\\RUNNER.EXE");
    write_registry(b, {{"Path", path_value},
                       {"Uninstall", sound ? "C:\\ZENTHOR\\UNINST.EXE -fC:\\ZENTHOR\\LOG"
                                           : "C:\\ZENTHOR\\UNINST.EXE"}});
    std::map<std::string, std::string> before = sandbox_listing(b.root);
    unlink_guard_arm(t.install_real.empty() ? std::string("/nonexistent-folder")
                                            : t.install_real.string());
    headless_answer_message_box(IDYES);
    headless_tick();
    headless_call([] { headless_click(launcher.menu_window, ID_UNINSTALL); });
    if (problem.empty()) launcher_main(SW_SHOWNORMAL);
    unlink_guard_disarm();
    f->deleted += unlink_guard_removed();

    std::map<std::string, std::string> after = sandbox_listing(b.root);
    if (problem.empty() && !unlink_guard_violations().empty())
        problem = "unlink outside the install folder: " + unlink_guard_violations()[0];
    if (problem.empty()) problem = compare(before, after, gone, "");
    if (problem.empty() && headless_starts().size() != 1)
        problem = "the uninstaller was not started";

    if (problem.empty() && more_names && real_folder(t.install) &&
        files_set_current_directory("C:\\ZENTHOR")) {
        // Second round: any name at all, straight to the delete and search layer.
        before = after;
        unlink_guard_arm(t.install_real.string());
        for (uint32_t i = 0, n = pick(c, 16); i < n; i++) {
            std::string name = entry_name(c, &t, false);
            if (chance(c, 2)) {
                std::string folder = entry_name(c, &t, false);
                name = folder.append("\\").append(name);
            }
            if (chance(c, 3)) name = "*" + name.substr(std::min<size_t>(name.size(), 1));
            char found[256];
            if (name.find_first_of("*?") == std::string::npos) {
                files_delete(name.c_str());
                continue;
            }
            FilesFind find = files_find_first(name.c_str(), found, sizeof found);
            if (!find) continue;
            do
                files_delete(found);
            while (files_find_next(find, found, sizeof found));
            files_find_close(find);
        }
        unlink_guard_disarm();
        after = sandbox_listing(b.root);
        if (!unlink_guard_violations().empty())
            problem = "unlink outside the install folder: " + unlink_guard_violations()[0];
        else
            problem =
                compare(before, after, {}, t.install.lexically_relative(b.root).string() + "/");
    }

    launcher_reset();
    sandbox_remove(b);
    if (!problem.empty()) problem += " (record Path " + path_value + ")";
    return problem;
}
