// What every service of the web backend needs of the page: waking the threads that wait for its
// events, message boxes, the log of the CD's programs, and saving drive C: to the browser's
// storage.
#include "platform/cp1252.h"
#include "platform/messages.h"
#include "platform/web/web.h"

#include <atomic>
#include <emscripten/emscripten.h>
#include <emscripten/threading.h>

namespace
{

std::atomic<uint32_t> event_epoch;

// Answers of the open boxes, by their number: 0 while a box is open.
constexpr int32_t BOX_SLOTS = 16;
std::atomic<int32_t> box_answers[BOX_SLOTS];
std::atomic<int32_t> box_used[BOX_SLOTS];

} // namespace

void web_signal()
{
    event_epoch.fetch_add(1);
    emscripten_futex_wake(&event_epoch, INT32_MAX);
}

uint32_t web_signals()
{
    return event_epoch.load();
}

void web_wait(uint32_t seen, uint32_t timeout_us)
{
    emscripten_futex_wait(&event_epoch, seen, timeout_us / 1000.0);
}

void web_storage_save()
{
    MAIN_THREAD_ASYNC_EM_ASM({ Module.web.save(); });
}

void web_page_log(const std::string &line)
{
    MAIN_THREAD_EM_ASM({ Module.web.log(UTF8ToString($0)); }, line.c_str());
}

std::string web_utf8(const char *cp1252)
{
    return cp1252_to_utf8(cp1252 ? cp1252 : "");
}

int32_t web_box(const char *text, const char *caption, uint32_t type, void (*idle)())
{
    int32_t slot = -1;
    for (int32_t i = 0; i < BOX_SLOTS && slot < 0; i++) {
        int32_t free = 0;
        if (box_used[i].compare_exchange_strong(free, 1)) slot = i;
    }
    bool yes_no = (type & 0xF) == MB_YESNO;
    // More boxes open at once than anybody could answer: this one counts as dismissed.
    if (slot < 0) return yes_no ? IDNO : IDOK;
    box_answers[slot].store(0);
    std::string t = web_utf8(text), c = web_utf8(caption);
    MAIN_THREAD_EM_ASM({ Module.web.box($0, UTF8ToString($1), UTF8ToString($2), $3); }, slot,
                       t.c_str(), c.c_str(), type);
    for (;;) {
        uint32_t seen = event_epoch.load();
        if (int32_t answer = box_answers[slot].load()) {
            box_used[slot].store(0);
            return answer;
        }
        if (!web_process_alive()) {
            // The box's program has ended meanwhile: the box goes with it.
            MAIN_THREAD_ASYNC_EM_ASM({ Module.web.boxClose($0); }, slot);
            box_used[slot].store(0);
            web_process_check();
        }
        if (idle) idle();
        emscripten_futex_wait(&event_epoch, seen, 50.0);
    }
}

extern "C" {

// The page: the user answered box `slot`.
EMSCRIPTEN_KEEPALIVE void web_box_answer(int32_t slot, int32_t answer)
{
    if (slot < 0 || slot >= BOX_SLOTS || !box_used[slot].load()) return;
    box_answers[slot].store(answer);
    web_signal();
}
}
