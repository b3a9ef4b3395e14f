// The real runner on Qt's offscreen platform: the session is scripted from Qt timers and looked
// at through the widgets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "apps/runner/runner.h"
#include "launcher/launcher.h"
#include "launcher/templates.h"
#include "platform/qt/qt_ui.h"
#include "tests/launcher/sandbox.h"
#include "tests/support/test_folder.h"

namespace
{

QWidget *menu()
{
    return qt_ui_widget(qt_ui_main_dialog());
}

QPushButton *button(int32_t id)
{
    return qobject_cast<QPushButton *>(qt_ui_widget(ui_get_dlg_item(qt_ui_main_dialog(), id)));
}

bool box_open(const char *text)
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    return box && box->isVisible() && box->text().contains(QString::fromUtf8(text));
}

bool window_open(const char *title)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == QString::fromUtf8(title)) return true;
    return false;
}

// The child side of QtRunner.end_by_signal: the program with the dialog open (opened once the
// menu shows; the picture's error box opens by itself during start-up), one byte on ready_fd
// once it is open, then whatever the signal makes of it. Answers the program's exit code.
int signal_child(const std::string &dialog, const char *cd, int ready_fd)
{
    bool opened = false, told = false;
    QTimer poll_timer;
    QObject::connect(&poll_timer, &QTimer::timeout, [&]() {
        if (!opened && menu() && menu()->isVisible()) {
            if (dialog == "large readme") {
                // Told before the click, so that the signal comes while the text is loaded.
                told = opened = true;
                char byte = 1;
                if (write(ready_fd, &byte, 1) != 1) _exit(4);
                close(ready_fd);
                button(ID_README)->click();
                return;
            }
            if (dialog == "readme") {
                button(ID_README)->click();
                opened = true;
            } else if (dialog == "about") {
                QKeyEvent press(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
                QApplication::sendEvent(menu(), &press);
                opened = true;
            } else if (dialog == "uninstall" && button(ID_UNINSTALL)->isEnabled()) {
                // The first refresh enables the button.
                button(ID_UNINSTALL)->click();
                opened = true;
            }
        }
        bool open = dialog == "error"       ? box_open("Error loading background picture")
                    : dialog == "uninstall" ? box_open("Zenthor Demo?")
                    : dialog == "readme"    ? window_open("README.TXT")
                    : dialog == "menu"      ? menu() && menu()->isVisible()
                                            : window_open("About");
        if (open && !told) {
            told = true;
            char byte = 1;
            if (write(ready_fd, &byte, 1) != 1) _exit(4);
            close(ready_fd);
        }
    });
    poll_timer.start(20);
    char arg0[] = "runner", arg1[] = "--cd", arg3[] = "--drive", arg4[] = "E";
    std::string folder = cd;
    char *argv[] = {arg0, arg1, folder.data(), arg3, arg4, nullptr};
    return runner_main(5, argv);
}

class QtRunner : public ::testing::Test
{
  protected:
    Sandbox box;
    fs::path demo, record;
    long long last_end_ms = -1; // from the latest signal to the end of the program

    void SetUp() override
    {
        box = sandbox_make();
        demo = box.drive_c / "DEMO";
        record = box.root / "record.txt";
        setenv("RECORD_FILE", record.c_str(), 1);
        write_file(box.cd / "loading.bmp", make_bmp(480, 360, 0));
        write_file(box.cd / "Readme.txt", "Zenthor\r\nHinweise \xE4\xF6\xFC\xDF\r\n");
        write_file(box.cd / "setup.exe", "MZ");
        recorder(box.cd / "Trailer" / "filmo.exe");
        write_file(box.cd / "Trailer" / "trailer.mov", "movie");
    }
    void TearDown() override { sandbox_remove(box); }

    static void recorder(const fs::path &where)
    {
        fs::create_directories(where.parent_path());
        fs::copy_file(RECORD_ARGS, where, fs::copy_options::overwrite_existing);
        fs::permissions(where, fs::perms::owner_all);
    }

    int run()
    {
        std::string cd = box.cd.string();
        char arg0[] = "runner", arg1[] = "--cd", arg3[] = "--drive", arg4[] = "E";
        char *argv[] = {arg0, arg1, cd.data(), arg3, arg4, nullptr};
        return runner_main(5, argv);
    }

    // Runs the steps one after another, each some milliseconds after the one before, then
    // closes the menu as its close box would.
    static void script(std::vector<std::pair<int, std::function<void()>>> steps)
    {
        script_steps() = std::move(steps);
        script_index() = 0;
        script_next();
    }
    static std::vector<std::pair<int, std::function<void()>>> &script_steps()
    {
        static std::vector<std::pair<int, std::function<void()>>> steps;
        return steps;
    }
    static size_t &script_index()
    {
        static size_t index;
        return index;
    }
    // A step may set this: the script then waits (in steps of 50 ms, at most 10 s) until it
    // holds, with the menu's own loop running meanwhile.
    static std::function<bool()> &wait_for()
    {
        static std::function<bool()> condition;
        return condition;
    }
    static void script_next()
    {
        static int tries;
        if (wait_for() && !wait_for()() && ++tries < 200) {
            QTimer::singleShot(50, script_next);
            return;
        }
        tries = 0;
        wait_for() = nullptr;
        if (script_index() >= script_steps().size()) {
            qt_ui_request_close();
            return;
        }
        size_t at = script_index()++;
        QTimer::singleShot(script_steps()[at].first, [at]() {
            script_steps()[at].second();
            script_next();
        });
    }
    // Runs the program in a fresh process of this test program (never a fork of this one, whose
    // threads a child could inherit stuck), opens the dialog there, sends the signal once it is
    // open and waits for the child to end. Answers the child's wait status, or -1 when it was
    // still running 10 s after the signal.
    int end_by_signal(int signal_number, const char *dialog,
                      const std::function<void()> &before_signal = nullptr)
    {
        int ready[2];
        if (pipe2(ready, O_CLOEXEC) != 0) return -2;
        int child_end = fcntl(ready[1], F_DUPFD, 10); // without close-on-exec
        std::vector<std::string> env = {std::string("SIGNAL_CHILD=") + dialog,
                                        "SIGNAL_CD=" + box.cd.string(),
                                        "SIGNAL_READY_FD=" + std::to_string(child_end)};
        for (char **e = environ; *e; e++)
            env.emplace_back(*e);
        std::vector<char *> envp;
        envp.reserve(env.size() + 1);
        for (std::string &e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        char self[] = "test_runner_qt";
        char *argv[] = {self, nullptr};
        std::fflush(nullptr);
        pid_t child = fork();
        if (child == 0) {
            execve("/proc/self/exe", argv, envp.data());
            _exit(127);
        }
        close(ready[1]);
        close(child_end);
        pollfd wait_ready = {ready[0], POLLIN, 0};
        char byte = 0;
        bool got_ready = poll(&wait_ready, 1, 20000) == 1 && read(ready[0], &byte, 1) == 1;
        close(ready[0]);
        EXPECT_TRUE(got_ready) << dialog << " did not open";
        if (before_signal) before_signal();
        kill(child, signal_number);
        auto start = std::chrono::steady_clock::now();
        int status = 0;
        while (waitpid(child, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() - start > std::chrono::seconds(10)) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
                return -1;
            }
            QThread::msleep(5);
        }
        auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        std::printf("%s: ended %lld ms after signal %d\n", dialog,
                    static_cast<long long>(took.count()), signal_number);
        last_end_ms = took.count();
        return status;
    }

    // Answers the next message box with the button that has this role, once it is open.
    static void answer_box(QMessageBox::StandardButton which, int tries = 200)
    {
        QTimer::singleShot(50, [which, tries]() {
            auto *shown = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!shown && tries > 0) {
                answer_box(which, tries - 1);
                return;
            }
            ASSERT_NE(shown, nullptr);
            shown->button(which)->click();
        });
    }
};

TEST_F(QtRunner, WindowButtonsTextsAndPicture)
{
    script(
        {{300, [] {
              QWidget *m = menu();
              ASSERT_NE(m, nullptr);
              EXPECT_EQ(m->size(), QSize(480, 478));
              EXPECT_EQ(m->windowTitle(), QString("Zenthor DEMO"));
              const int32_t ids[6] = {ID_PLAY,      ID_INSTALL, ID_SETUP,
                                      ID_UNINSTALL, ID_README,  ID_EXIT};
              for (int i = 0; i < 6; i++)
                  EXPECT_EQ(button(ids[i])->geometry(),
                            QRect(2 + 160 * (i % 3), i < 3 ? 4 : 42, 158, 36));
              EXPECT_EQ(button(ID_TRAILER)->geometry(), QRect(2, 442, 478, 36));
              EXPECT_EQ(button(ID_PLAY)->text(), QString("Play DEMO"));
              EXPECT_EQ(button(ID_TRAILER)->text(), QString("Zenthor - Trailer"));
              EXPECT_FALSE(button(ID_PLAY)->isEnabled());
              EXPECT_FALSE(button(ID_UNINSTALL)->isEnabled());
              EXPECT_FALSE(button(ID_SETUP)->isEnabled());
              EXPECT_TRUE(button(ID_INSTALL)->isEnabled());
              EXPECT_TRUE(button(ID_README)->isEnabled());
              EXPECT_TRUE(button(ID_TRAILER)->isEnabled());
              EXPECT_EQ(button(ID_PLAY)->palette().color(QPalette::Active, QPalette::Button),
                        QColor(0xC4, 0xC4, 0xC4));
              // The picture at (0, 80), each pixel through the BMP's own palette.
              QImage shot = m->grab().toImage();
              for (int y : {0, 100, 359})
                  for (int x : {0, 200, 479}) {
                      int index = (x + 3 * y) % 256;
                      EXPECT_EQ(shot.pixelColor(x, 80 + y), QColor(index, 255 - index, index / 2))
                          << x << "," << y;
                  }
          }}});
    EXPECT_EQ(run(), 0);
}

TEST_F(QtRunner, TrailerStartsTheRecordingProgram)
{
    script({{300, [] { button(ID_TRAILER)->click(); }}, {500, [] {}}});
    run();
    for (int i = 0; i < 500 && !fs::exists(record); i++)
        QThread::msleep(10);
    std::string cd = fs::canonical(box.cd).string();
    EXPECT_EQ(read_file(record),
              "cwd=" + cd + "\narg0=Trailer/filmo.exe\narg1=Trailer/trailer.mov\n");
}

// The headless sessions show the change at the very next tick; here the real timer drives it.
TEST_F(QtRunner, RegistryChangeEnablesPlayWhileTheMenuRuns)
{
    bool enabled = false;
    script({{300,
             [this] {
                 EXPECT_FALSE(button(ID_PLAY)->isEnabled());
                 write_file(demo / "ztDemo.exe", "MZ");
                 write_registry(box, {{"Path", "C:\\DEMO"}, {"Uninstall", "C:\\DEMO\\U.EXE"}});
             }},
            {0, [] { wait_for() = [] { return button(ID_PLAY)->isEnabled(); }; }},
            {0, [&enabled] {
                 enabled = button(ID_PLAY)->isEnabled() && button(ID_UNINSTALL)->isEnabled();
             }}});
    run();
    EXPECT_TRUE(enabled);
}

TEST_F(QtRunner, F1OpensAboutBoxesAndEnterAndEscapeDoNothing)
{
    int abouts = 0;
    bool menu_open = false;
    auto key = [](int qt_key) {
        QKeyEvent press(QEvent::KeyPress, qt_key, Qt::NoModifier);
        QApplication::sendEvent(menu(), &press);
    };
    script({{300,
             [&] {
                 key(Qt::Key_Return);
                 key(Qt::Key_Escape);
             }},
            {100,
             [&] {
                 menu_open = menu() && menu()->isVisible();
                 key(Qt::Key_F1);
             }},
            {100,
             [&] {
                 ui_set_focus(qt_ui_main_dialog());
                 key(Qt::Key_F1);
             }},
            {100, [&] {
                 for (QWidget *w : QApplication::topLevelWidgets())
                     if (w->isVisible() && w->windowTitle() == "About") {
                         abouts++;
                         EXPECT_EQ(w->findChildren<QPushButton *>().size(), 1);
                         EXPECT_EQ(w->findChildren<QPushButton *>()[0]->text(), QString("Back"));
                     }
             }}});
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(menu_open);
    EXPECT_EQ(abouts, 2);
}

TEST_F(QtRunner, ReadmeOpensOneViewerWithTheText)
{
    script({{300, [] { button(ID_README)->click(); }},
            {100, [] { button(ID_README)->click(); }},
            {200,
             [] {
                 int viewers = 0;
                 for (QWidget *w : QApplication::topLevelWidgets())
                     if (w->isVisible() && w->windowTitle() == "README.TXT") {
                         viewers++;
                         auto *edit = w->findChild<QPlainTextEdit *>();
                         ASSERT_NE(edit, nullptr);
                         EXPECT_EQ(edit->toPlainText(),
                                   QString::fromUtf8("Zenthor\nHinweise äöüß\n"));
                         EXPECT_TRUE(edit->isReadOnly());
                         // Enter in the text is the default button's, Back.
                         QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
                         QApplication::sendEvent(edit, &enter);
                     }
                 EXPECT_EQ(viewers, 1);
             }},
            {200, [] { EXPECT_FALSE(window_open("README.TXT")); }}});
    run();
}

TEST_F(QtRunner, UninstallNoTouchesNothing)
{
    write_file(demo / "ztDemo.exe", "MZ");
    write_file(demo / "frei.lvl", "x");
    recorder(demo / "UNINST.EXE");
    write_registry(box, {{"Path", "C:\\DEMO"}, {"Uninstall", "C:\\DEMO\\UNINST.EXE -fC:\\L"}});
    script({{0, [] { wait_for() = [] { return button(ID_UNINSTALL)->isEnabled(); }; }},
            {0,
             [] {
                 answer_box(QMessageBox::No);
                 button(ID_UNINSTALL)->click();
             }},
            {400, [] {}}});
    run();
    EXPECT_TRUE(fs::exists(demo / "frei.lvl"));
    EXPECT_FALSE(fs::exists(record));
}

TEST_F(QtRunner, UninstallYesDeletesAndStartsTheUninstallerInPlace)
{
    write_file(demo / "ztDemo.exe", "MZ");
    write_file(demo / "frei.lvl", "x");
    write_file(demo / "save" / "a.sav", "x");
    recorder(demo / "UNINST.EXE");
    write_registry(box, {{"Path", "C:\\DEMO"}, {"Uninstall", "C:\\DEMO\\UNINST.EXE -fC:\\L"}});
    // Forked, not re-run: the child must work on this test's sandbox.
    ::testing::FLAGS_gtest_death_test_style = "fast";
    EXPECT_EXIT(
        {
            script({{0, [] { wait_for() = [] { return button(ID_UNINSTALL)->isEnabled(); }; }},
                    {0, [] {
                         answer_box(QMessageBox::Yes);
                         button(ID_UNINSTALL)->click();
                     }}});
            run();
            std::exit(3); // not reached: the start in place ends the program
        },
        ::testing::ExitedWithCode(0), "");
    for (int i = 0; i < 500 && !fs::exists(record); i++)
        QThread::msleep(10);
    EXPECT_FALSE(fs::exists(demo / "frei.lvl"));
    EXPECT_FALSE(fs::exists(demo / "save" / "a.sav"));
    EXPECT_TRUE(fs::exists(demo / "ztDemo.exe"));
    std::string d = fs::canonical(demo).string();
    EXPECT_EQ(read_file(record), "cwd=" + d + "\narg0=" + box.prefix.string() +
                                     "/dosdevices/c:/DEMO/UNINST.EXE\narg1=-fC:\\L\n");
}

// SIGTERM and SIGINT end the menu whatever dialog is open, as its close box would (exit code 0),
// and a question the signal closed counts as answered No.
TEST_F(QtRunner, SignalsEndTheMenuWithAMessageBoxOpen)
{
    fs::remove(box.cd / "loading.bmp");
    for (int signal_number : {SIGTERM, SIGINT}) {
        int status = end_by_signal(signal_number, "error");
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
}

TEST_F(QtRunner, SignalsEndTheMenuWithTheUninstallQuestionOpen)
{
    write_file(demo / "ztDemo.exe", "MZ");
    write_file(demo / "frei.lvl", "x");
    recorder(demo / "UNINST.EXE");
    write_registry(box, {{"Path", "C:\\DEMO"}, {"Uninstall", "C:\\DEMO\\UNINST.EXE -fC:\\L"}});
    for (int signal_number : {SIGTERM, SIGINT}) {
        int status = end_by_signal(signal_number, "uninstall");
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    EXPECT_TRUE(fs::exists(demo / "frei.lvl"));
    EXPECT_FALSE(fs::exists(record));
}

TEST_F(QtRunner, SignalsEndTheMenuWithTheReadmeViewerOrAboutBoxOpen)
{
    for (int signal_number : {SIGTERM, SIGINT})
        for (const char *dialog : {"readme", "about"}) {
            int status = end_by_signal(signal_number, dialog);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << dialog << " " << status;
        }
}

// A signal while the menu reads a registry file whose install key holds 700,000 values (each
// tick reads a changed file), or loads a 60 MB readme into its viewer: the menu ends, with 0,
// without waiting for the work to finish (which took minutes for the registry and seconds for
// the readme). How long it took is printed; the bound checked is far above it, only so that a
// menu that waits for the work fails.
TEST_F(QtRunner, SignalsEndTheMenuWhileItReadsLargeFiles)
{
    std::string values = "WINE REGISTRY Version 2\n\n[Software\\\\Quillon\\\\Zenthor\\\\Inf] 1\n";
    for (int i = 0; i < 700000; i++)
        values += "\"Value" + std::to_string(i) + "\"=\"text\"\n";
    for (int signal_number : {SIGTERM, SIGINT}) {
        write_registry(box, {{"Path", "C:\\DEMO"}});
        int status = end_by_signal(signal_number, "menu", [&] {
            write_file(box.root / "large.reg", values);
            fs::rename(box.root / "large.reg", box.registry);
            // The next tick, within 500 ms, reads it.
            QThread::msleep(450);
        });
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_LT(last_end_ms, 3000);
    }
    // The menu of the readme part starts on a small registry file.
    write_registry(box, {{"Path", "C:\\DEMO"}});
    std::string line = "Zeile \xE4\xF6\xFC \xDF mit einigen W\xF6rtern darin, nicht zu kurz\r\n";
    std::string text;
    text.reserve(60 << 20);
    while (text.size() + line.size() <= (60u << 20))
        text += line;
    write_file(box.cd / "Readme.txt", text);
    for (int signal_number : {SIGTERM, SIGINT}) {
        int status = end_by_signal(signal_number, "large readme");
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_LT(last_end_ms, 3000);
    }
}

// A FIFO with no writer as the registry file and as the picture: the menu neither blocks on
// them nor misses a signal; it reports the picture as missing and ends on SIGTERM or SIGINT.
TEST_F(QtRunner, FifosAsRegistryAndPictureNeitherBlockTheMenuNorItsEnd)
{
    fs::remove(box.cd / "loading.bmp");
    ASSERT_EQ(mkfifo((box.cd / "loading.bmp").c_str(), 0644), 0);
    fs::remove(box.registry);
    ASSERT_EQ(mkfifo(box.registry.c_str(), 0644), 0);
    for (int signal_number : {SIGTERM, SIGINT}) {
        int status = end_by_signal(signal_number, "error");
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
}

} // namespace

int main(int argc, char **argv)
{
    test_folder_enter();
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int qt_argc = 1;
    const char *dialog = std::getenv("SIGNAL_CHILD");
    const char *cd = std::getenv("SIGNAL_CD");
    const char *ready_fd = std::getenv("SIGNAL_READY_FD");
    if (dialog && cd && ready_fd) {
        QApplication app(qt_argc, argv);
        int code = signal_child(dialog, cd, std::atoi(ready_fd));
        std::fflush(nullptr);
        _exit(code);
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(qt_argc, argv);
    int status = RUN_ALL_TESTS();
    test_folder_leave();
    return status;
}
