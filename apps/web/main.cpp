// The page's module: the demo CD's menu, the player and the CD's other programs in one, each
// started as an in-page process when the page or the menu asks for it.
#include "apps/web/programs.h"
#include "platform/web/web.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <emscripten/emscripten.h>
#include <mutex>
#include <string>
#include <sys/stat.h>

namespace
{

enum Request : int32_t { REQUEST_MENU = 1, REQUEST_PLAY = 2 };

struct PageRequest {
    int32_t kind;
    std::string name;
};

std::mutex requests_mutex;
std::deque<PageRequest> requests;

int32_t player_process;
// For a player on its way out (its last box answered, its threads leaving at their next call
// into the layer) to be gone.
constexpr uint64_t PLAYER_LEAVE_US = 1000000;

// One player at a time: the page has one screen and one sound.
bool start_player(const char *, const std::vector<std::string> &args)
{
    uint64_t deadline = web_now_us() + PLAYER_LEAVE_US;
    while (web_process_has_threads(player_process) && web_now_us() < deadline)
        web_wait(web_signals(), 10000);
    if (web_process_has_threads(player_process)) return false;
    player_process = web_process_spawn("filmo", filmo_web_main, args);
    return player_process != 0;
}

int32_t menu_process;

void start_menu()
{
    if (web_process_has_threads(menu_process)) return;
    menu_process = web_process_spawn("runner", runner_web_main, {});
}

} // namespace

// The module is built without exceptions: what would throw ends the page's module instead.
int main() // NOLINT(bugprone-exception-escape)
{
    setenv("WINEPREFIX", WEB_PREFIX, 1);
    for (const char *folder : {"/dosdevices", "/dosdevices/c:"}) {
        std::string path = std::string(WEB_PREFIX) + folder;
        if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) return 1;
    }
    standins_register();
    web_program_register("filmo.exe", start_player);
    MAIN_THREAD_ASYNC_EM_ASM({ Module.page.ready(); });
    for (;;) {
        uint32_t seen = web_signals();
        PageRequest request{0, ""};
        {
            std::lock_guard<std::mutex> lock(requests_mutex);
            if (!requests.empty()) {
                request = requests.front();
                requests.pop_front();
            }
        }
        if (request.kind == REQUEST_MENU) {
            start_menu();
        } else if (request.kind == REQUEST_PLAY) {
            if (!start_player(nullptr, {request.name}))
                web_page_log("A movie is playing already: Escape ends it.");
        } else {
            web_wait(seen, UINT32_MAX);
        }
    }
}

extern "C" {

// The page, on its main thread: start the menu, or play a file the user dropped (its name under
// the dropped files' folder, UTF-8).
EMSCRIPTEN_KEEPALIVE void web_page_request(int32_t kind, const char *name)
{
    {
        std::lock_guard<std::mutex> lock(requests_mutex);
        requests.push_back({kind, name ? name : ""});
    }
    web_signal();
}
}
