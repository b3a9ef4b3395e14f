// The web backend's processes: the page's programs as threads under a number of their own, the
// start of the in-page programs by name, and the end of a process from any of its threads.
#include "platform/process.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/posix/paths.h"
#include "platform/web/web.h"
#include "platform/window.h"

#include <atomic>
#include <cstring>
#include <emscripten/emscripten.h>
#include <memory>
#include <new>
#include <pthread.h>

namespace
{

constexpr int32_t PROCESS_SLOTS = 16;
enum : int32_t { SLOT_FREE, SLOT_RUNNING, SLOT_ENDED };

struct ProcessSlot {
    std::atomic<int32_t> state;
    std::atomic<int32_t> threads;
    char name[32];
};

ProcessSlot slots[PROCESS_SLOTS];
thread_local int32_t own_process = 0;

struct Program {
    std::string name; // lower case
    WebProgramStart run;
};
std::vector<Program> programs;

std::string lower(std::string s)
{
    for (char &c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

// Marks the process ended (once) and tells the page.
void end_process(int32_t id)
{
    int32_t running = SLOT_RUNNING;
    if (!slots[id - 1].state.compare_exchange_strong(running, SLOT_ENDED)) return;
    MAIN_THREAD_ASYNC_EM_ASM({ Module.web.processEnded(UTF8ToString($0)); }, slots[id - 1].name);
    web_signal();
    clock_wake();
    web_storage_save();
}

// The thread's share of its process is over.
void leave(int32_t id)
{
    if (id) slots[id - 1].threads.fetch_sub(1);
}

// What a new thread of a process runs: a program's main, or a thread procedure.
struct ThreadStart {
    int32_t id;
    WebProgramMain main;
    std::vector<std::string> args;
    void (*proc)(void *arg);
    void *arg;
};

void run_thread(void *context)
{
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart *>(context));
    own_process = start->id;
    if (start->main) {
        start->main(start->args);
        end_process(start->id);
    } else {
        start->proc(start->arg);
    }
    leave(start->id);
}

} // namespace

bool web_thread_start(void (*run)(void *context), void *context)
{
    struct Start {
        void (*run)(void *);
        void *context;
    };
    Start *start = new (std::nothrow) Start{run, context};
    if (!start) return false;
    auto thread_main = [](void *s) -> void * {
        Start copy = *static_cast<Start *>(s);
        delete static_cast<Start *>(s);
        copy.run(copy.context);
        return nullptr;
    };
    pthread_t thread;
    if (pthread_create(&thread, nullptr, thread_main, start) != 0) {
        delete start;
        return false;
    }
    pthread_detach(thread);
    return true;
}

int32_t web_process_spawn(const char *name, WebProgramMain main, std::vector<std::string> args)
{
    int32_t id = 0;
    for (int32_t i = 0; i < PROCESS_SLOTS && !id; i++) {
        int32_t state = slots[i].state.load();
        if ((state == SLOT_FREE || state == SLOT_ENDED) && slots[i].threads.load() == 0 &&
            slots[i].state.compare_exchange_strong(state, SLOT_RUNNING))
            id = i + 1;
    }
    if (!id) return 0;
    ProcessSlot &slot = slots[id - 1];
    std::snprintf(slot.name, sizeof slot.name, "%s", name);
    slot.threads.store(1);
    auto *start = new (std::nothrow) ThreadStart{id, main, std::move(args), nullptr, nullptr};
    if (!start || !web_thread_start(run_thread, start)) {
        delete start;
        slot.threads.store(0);
        slot.state.store(SLOT_FREE);
        return 0;
    }
    return id;
}

int32_t web_process_current()
{
    return own_process;
}

void web_process_check()
{
    int32_t id = own_process;
    if (id && slots[id - 1].state.load() != SLOT_RUNNING) {
        leave(id);
        pthread_exit(nullptr);
    }
}

bool web_process_alive()
{
    return !own_process || slots[own_process - 1].state.load() == SLOT_RUNNING;
}

bool web_process_running(int32_t id)
{
    return id > 0 && id <= PROCESS_SLOTS && slots[id - 1].state.load() == SLOT_RUNNING;
}

bool web_process_has_threads(int32_t id)
{
    return id > 0 && id <= PROCESS_SLOTS && slots[id - 1].threads.load() > 0;
}

void web_process_end_self(int32_t /*code*/)
{
    int32_t id = own_process;
    if (id) {
        end_process(id);
        leave(id);
    }
    pthread_exit(nullptr);
}

void process_end(int32_t code)
{
    web_process_end_self(code);
}

int32_t thread_start(void (*proc)(void *arg), void *arg)
{
    int32_t id = own_process;
    if (id) slots[id - 1].threads.fetch_add(1);
    auto *start = new (std::nothrow) ThreadStart{id, nullptr, {}, proc, arg};
    if (!start || !web_thread_start(run_thread, start)) {
        delete start;
        leave(id);
        return -1;
    }
    return 0;
}

void web_program_register(const char *file_name, WebProgramStart run)
{
    programs.push_back({lower(file_name), run});
}

bool process_start(ProcessWay way, const char *program, const char *const *args, int count)
{
    std::string host;
    if (!program[0] || !files_exists(program) || !paths_map(program, &host)) return false;
    std::string name = lower(host.substr(host.find_last_of('/') + 1));
    const Program *found = nullptr;
    for (const Program &p : programs)
        if (p.name == name) found = &p;
    if (!found) return false;
    // Arguments that name files go over as host paths, whole; the rest as text.
    std::vector<std::string> list;
    for (int i = 1; i < count; i++) {
        std::string mapped;
        if (files_exists(args[i]) && paths_map(args[i], &mapped))
            list.push_back(mapped);
        else
            list.push_back(web_utf8(args[i]));
    }
    std::string line;
    for (int i = 0; i < count; i++)
        line += std::string(i ? " " : "") + web_utf8(args[i]);
    web_page_log("started: " + line);
    if (!found->run(host.c_str(), list)) return false;
    if (way == PROCESS_START_IN_PLACE) process_end(0);
    return true;
}

bool process_run_command(const char *command)
{
    // The command's program from the current directory, as the interpreter would find it; its
    // arguments split at blanks.
    std::string text = command;
    std::vector<std::string> words;
    for (size_t p = 0; p < text.size();) {
        size_t end = text.find(' ', p);
        if (end == std::string::npos) end = text.size();
        if (end > p) words.push_back(text.substr(p, end - p));
        p = end + 1;
    }
    if (words.empty()) return false;
    std::vector<const char *> args;
    args.reserve(words.size());
    for (const std::string &w : words)
        args.push_back(w.c_str());
    return process_start(PROCESS_RUN_AND_WAIT, args[0], args.data(), static_cast<int>(args.size()));
}
