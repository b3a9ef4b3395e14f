// The menu's windows in the page. Window records, timers and the message queue are the shared
// window logic's (platform/ui_objects), as in the headless and Qt backends; the page shows each
// dialog as a framed box of elements (buttons, text, an edit field, icons) over a canvas that
// holds what the window procedure painted. The page's clicks, keys and close boxes come back as
// events that the message loop turns into messages, on the menu's own thread.
#include "platform/ui.h"
#include "platform/cp1252.h"
#include "platform/ui_objects.h"
#include "platform/web/web.h"

#include <cstring>
#include <deque>
#include <emscripten/emscripten.h>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace
{

constexpr uint32_t DIALOG_BACKGROUND = 0xC0C0C0;
constexpr int32_t FRAME_BORDER = UIOBJECTS_FRAME_BORDER;
constexpr int32_t FRAME_CAPTION = UIOBJECTS_FRAME_CAPTION;

struct WebWindow : UiObjectWindow {
    bool shown_on_page; // a dialog or control the page has elements for
    int32_t client_width, client_height;
    std::vector<uint32_t> canvas; // 0xFFRRGGBB, rows top to bottom
};

enum PageEvent : int32_t { EVENT_CLICK = 1, EVENT_KEY, EVENT_CLOSE, EVENT_ACTIVATE };

struct Event {
    int32_t kind;
    UiWindow window;
    uint32_t value;
};

struct Timer {
    UiWindow window;
    uintptr_t id;
    uint32_t period_ms;
    uint64_t due_us;
};

UiBackend web_backend();
const UiBackend WEB_BACKEND = web_backend();

struct WebUi {
    UiObjects objects{&WEB_BACKEND};
    std::vector<Timer> timers;
    // The program icon's largest image as RGBA, for icon controls.
    std::vector<uint8_t> icon;
    int32_t icon_size = 0;
};

WebUi ui;
// Filled by the page's thread, emptied by the menu's.
std::mutex inbox_mutex;
std::deque<Event> inbox;

WebWindow *record_of(UiWindow window)
{
    return static_cast<WebWindow *>(uiobjects_window(&ui.objects, window));
}

UiWindow top_of(UiWindow window)
{
    const WebWindow *w = record_of(window);
    return w && w->parent ? w->parent : window;
}

// The text an element shows: code page 1252 to UTF-8; an edit field breaks lines at CR LF only,
// a lone CR or LF shows as a mark of its own.
std::string page_text(const std::string &cp1252, bool edit)
{
    std::string out;
    for (size_t i = 0; i < cp1252.size(); i++) {
        unsigned char c = static_cast<unsigned char>(cp1252[i]);
        if (edit && c == '\r' && i + 1 < cp1252.size() && cp1252[i + 1] == '\n') {
            out += '\n';
            i++;
        } else if (edit && (c == '\r' || c == '\n')) {
            out += c == '\r' ? "\xE2\x90\x8D" : "\xE2\x90\x8A";
        } else {
            out += cp1252_to_utf8(std::string(1, static_cast<char>(c)));
        }
    }
    return out;
}

void client_size(WebWindow *w)
{
    UiRect frame = uiobjects_frame(w->style, FRAME_BORDER, FRAME_CAPTION);
    int32_t cw = w->rect.right - w->rect.left - frame.left - frame.right;
    int32_t ch = w->rect.bottom - w->rect.top - frame.top - frame.bottom;
    w->client_width = cw > 0 ? cw : 0;
    w->client_height = ch > 0 ? ch : 0;
    size_t pixels = static_cast<size_t>(w->client_width) * static_cast<size_t>(w->client_height);
    if (w->canvas.size() != pixels) {
        w->canvas.assign(pixels, 0xFF000000u | DIALOG_BACKGROUND);
        w->needs_paint = true;
    }
}

void show(UiWindow window, bool visible)
{
    WebWindow *w = record_of(window);
    if (!w || !w->shown_on_page) return;
    MAIN_THREAD_EM_ASM({ Module.web.uiShow($0, $1); }, window, visible ? 1 : 0);
}

void enable(UiWindow window, bool enable)
{
    WebWindow *w = record_of(window);
    if (!w || !w->shown_on_page) return;
    MAIN_THREAD_EM_ASM({ Module.web.uiEnable($0, $1); }, window, enable ? 1 : 0);
}

void text_changed(UiWindow window)
{
    WebWindow *w = record_of(window);
    if (!w || !w->shown_on_page) return;
    std::string text = page_text(w->text, w->parent && w->kind == DIALOG_EDIT);
    MAIN_THREAD_EM_ASM({ Module.web.uiText($0, UTF8ToString($1)); }, window, text.c_str());
}

void moved(UiWindow window)
{
    WebWindow *w = record_of(window);
    if (!w) return;
    if (w->parent == 0) client_size(w);
    if (!w->shown_on_page) return;
    const UiRect &r = w->rect;
    MAIN_THREAD_EM_ASM({ Module.web.uiMove($0, $1, $2, $3, $4); }, window, r.left, r.top,
                       r.right - r.left, r.bottom - r.top);
}

void destroyed(UiWindow window)
{
    for (size_t i = ui.timers.size(); i-- > 0;)
        if (ui.timers[i].window == window) ui.timers.erase(ui.timers.begin() + (long)i);
    const WebWindow *w = static_cast<const WebWindow *>(uiobjects_record(&ui.objects, window));
    if (w && w->shown_on_page) MAIN_THREAD_EM_ASM({ Module.web.uiDestroy($0); }, window);
}

void focused(UiWindow window)
{
    MAIN_THREAD_EM_ASM({ Module.web.uiFocus($0, $1); }, window, top_of(window));
}

void timer_started(UiWindow window, uintptr_t id, uint32_t period_ms)
{
    uint64_t due = web_now_us() + uint64_t{period_ms} * 1000;
    for (Timer &t : ui.timers)
        if (t.window == window && t.id == id) {
            t.period_ms = period_ms;
            t.due_us = due;
            return;
        }
    ui.timers.push_back({window, id, period_ms, due});
}

void timer_stopped(UiWindow window, uintptr_t id)
{
    for (size_t i = 0; i < ui.timers.size(); i++)
        if (ui.timers[i].window == window && ui.timers[i].id == id) {
            ui.timers.erase(ui.timers.begin() + (long)i);
            return;
        }
}

void coloured(UiWindow control, bool changed)
{
    WebWindow *c = record_of(control);
    if (!c || !c->shown_on_page || !c->coloured || !changed) return;
    uint32_t b = c->bk_colour;
    uint32_t rgb = (b & 0xFF) << 16 | (b & 0xFF00) | (b >> 16 & 0xFF);
    MAIN_THREAD_EM_ASM({ Module.web.uiColour($0, $1); }, control, rgb);
}

// The painted canvas onto the page, as R, G, B, A bytes.
void painted(UiWindow window)
{
    WebWindow *w = record_of(window);
    if (!w || !w->shown_on_page || w->canvas.empty()) return;
    std::vector<uint8_t> rgba(w->canvas.size() * 4);
    for (size_t i = 0; i < w->canvas.size(); i++) {
        uint32_t p = w->canvas[i];
        rgba[4 * i] = static_cast<uint8_t>(p >> 16);
        rgba[4 * i + 1] = static_cast<uint8_t>(p >> 8);
        rgba[4 * i + 2] = static_cast<uint8_t>(p);
        rgba[4 * i + 3] = 255;
    }
    MAIN_THREAD_EM_ASM({ Module.web.uiPaint($0, $1, $2, $3); }, window, rgba.data(),
                       w->client_width, w->client_height);
}

UiBackend web_backend()
{
    UiBackend backend = {};
    backend.show = show;
    backend.enable = enable;
    backend.text_changed = text_changed;
    backend.moved = moved;
    backend.destroyed = destroyed;
    backend.focused = focused;
    backend.timer_started = timer_started;
    backend.timer_stopped = timer_stopped;
    backend.coloured = coloured;
    backend.painted = painted;
    return backend;
}

// Timers whose period has passed post their message (or, inside a box's loop, run at once).
void run_timers(bool dispatch)
{
    uint64_t now = web_now_us();
    ui.objects.time = static_cast<uint32_t>(now / 1000);
    std::vector<Timer> due;
    for (Timer &t : ui.timers)
        if (now >= t.due_us) {
            t.due_us = now + uint64_t{t.period_ms} * 1000;
            due.push_back(t);
        }
    for (const Timer &t : due) {
        if (dispatch) {
            UiMsg tick = {t.window, WM_TIMER, t.id, 0};
            uiobjects_dispatch(&ui.objects, &tick);
        } else {
            uiobjects_timer_elapsed(&ui.objects, t.window, t.id);
        }
    }
}

void box_idle()
{
    run_timers(true);
}

// The page's events into messages for the windows they belong to.
void take_events()
{
    std::deque<Event> events;
    {
        std::lock_guard<std::mutex> lock(inbox_mutex);
        events.swap(inbox);
    }
    for (const Event &e : events) {
        if (!record_of(e.window)) continue;
        switch (e.kind) {
        case EVENT_CLICK:
            uiobjects_post(&ui.objects, e.window, UIOBJECTS_CLICK);
            break;
        case EVENT_KEY: {
            UiWindow target = ui.objects.focus && top_of(ui.objects.focus) == top_of(e.window)
                                  ? ui.objects.focus
                                  : e.window;
            uiobjects_post(&ui.objects, target, WM_KEYDOWN, e.value);
            break;
        }
        case EVENT_CLOSE:
            uiobjects_post(&ui.objects, e.window, WM_CLOSE);
            break;
        case EVENT_ACTIVATE:
            uiobjects_post(&ui.objects, e.window, UIOBJECTS_ACTIVATE);
            break;
        default:
            break;
        }
    }
}

} // namespace

// ---- set-up ----------------------------------------------------------------------------------

// No windows, timers or events left from an earlier run of the menu.
void web_ui_reset()
{
    std::vector<uint8_t> icon = std::move(ui.icon);
    int32_t icon_size = ui.icon_size;
    ui = WebUi();
    ui.icon = std::move(icon);
    ui.icon_size = icon_size;
    {
        std::lock_guard<std::mutex> lock(inbox_mutex);
        inbox.clear();
    }
    uiobjects_use(&ui.objects);
    MAIN_THREAD_EM_ASM({ Module.web.uiReset(); });
}

bool ui_register_icon(int32_t /*id*/, const UiIconImage *images, int32_t count)
{
    if (!images || count <= 0) return false;
    // The image of the most colours, as the desktop shows it.
    const UiIconImage *best = &images[0];
    for (int32_t i = 1; i < count; i++)
        if (images[i].colour_count > best->colour_count) best = &images[i];
    ui.icon_size = best->width == best->height ? best->width : 0;
    ui.icon.assign(static_cast<size_t>(best->width) * static_cast<size_t>(best->height) * 4, 0);
    for (int32_t i = 0; i < best->width * best->height; i++) {
        uint8_t index = best->pixels[i];
        if (index >= best->colour_count || best->transparent[i]) continue;
        std::memcpy(&ui.icon[4 * static_cast<size_t>(i)], best->palette + 3 * index, 3);
        ui.icon[4 * static_cast<size_t>(i) + 3] = 255;
    }
    return true;
}

// ---- classes and windows ---------------------------------------------------------------------

UiWindow ui_create_window(const char *class_name, const char *title, uint32_t style, int32_t x,
                          int32_t y, int32_t width, int32_t height, UiWindow parent)
{
    const UiObjectClass *found = uiobjects_class(&ui.objects, class_name);
    if (!found) return 0;
    // Windows of a class are the menu's invisible owner: nothing to show on the page.
    auto w = std::make_unique<WebWindow>();
    uiobjects_init_window(w.get(), found, title, style, {x, y, x + width, y + height}, parent);
    return uiobjects_add_window(&ui.objects, std::move(w));
}

UiWindow ui_create_dialog(const DialogTemplate *dialog, UiWindow owner, UiProc proc)
{
    int32_t bx, by;
    uiobjects_base_units(dialog, &bx, &by);
    UiRect frame = uiobjects_frame(dialog->style, FRAME_BORDER, FRAME_CAPTION);
    int32_t ox = 0, oy = 0;
    if (const WebWindow *o = record_of(owner)) {
        UiRect owner_frame = uiobjects_frame(o->style, FRAME_BORDER, FRAME_CAPTION);
        ox = o->rect.left + owner_frame.left;
        oy = o->rect.top + owner_frame.top;
    }
    auto w = std::make_unique<WebWindow>();
    uiobjects_init_dialog(w.get(), dialog, owner, proc);
    int32_t x = ox + dialog->x * bx / 4, y = oy + dialog->y * by / 8;
    w->rect = {x - frame.left, y - frame.top, x + dialog->cx * bx / 4 + frame.right,
               y + dialog->cy * by / 8 + frame.bottom};
    w->shown_on_page = true;
    client_size(w.get());
    const UiRect r = w->rect;
    std::string caption = web_utf8(dialog->caption);
    UiWindow handle = uiobjects_add_window(&ui.objects, std::move(w));
    MAIN_THREAD_EM_ASM(
        { Module.web.uiDialog($0, UTF8ToString($1), UTF8ToString($2), $3, $4, $5, $6, $7); },
        handle, caption.c_str(), dialog->font, dialog->point_size, r.left, r.top, r.right - r.left,
        r.bottom - r.top);
    for (int32_t i = 0; i < dialog->control_count; i++) {
        const DialogControl &c = dialog->controls[i];
        auto control = std::make_unique<WebWindow>();
        uiobjects_init_control(control.get(), &c, handle, bx, by);
        control->shown_on_page = true;
        const UiRect cr = control->rect;
        std::string text = page_text(control->text, c.kind == DIALOG_EDIT);
        UiWindow control_handle = uiobjects_add_window(&ui.objects, std::move(control));
        bool icon = c.kind == DIALOG_ICON && ui.icon_size > 0;
        MAIN_THREAD_EM_ASM(
            {
                Module.web.uiControl($0, $1, $2, UTF8ToString($3), $4, $5, $6, $7, $8, $9, $10,
                                     $11);
            },
            control_handle, handle, c.kind, text.c_str(), cr.left, cr.top, cr.right - cr.left,
            cr.bottom - cr.top, c.style, c.exstyle, icon ? ui.icon.data() : nullptr,
            icon ? ui.icon_size : 0);
    }
    uiobjects_dialog_created(&ui.objects, handle);
    return handle;
}

void ui_set_arrow_cursor()
{
    MAIN_THREAD_ASYNC_EM_ASM({ document.getElementById('desktop').style.cursor = 'default'; });
}

bool ui_desktop_rect(UiRect *rect)
{
    int32_t size = MAIN_THREAD_EM_ASM_INT({ return Module.web.desktopSize(); });
    *rect = {0, 0, size >> 16, size & 0xFFFF};
    return true;
}

bool ui_adjust_window_rect(UiRect *rect, uint32_t style, bool menu)
{
    // The page draws the frame of the original desktop.
    uiobjects_adjust_rect(rect, style, menu, UIOBJECTS_FRAME_BORDER, UIOBJECTS_FRAME_CAPTION);
    return true;
}

int32_t ui_message_box(UiWindow /*owner*/, const char *text, const char *caption, uint32_t type)
{
    return web_box(text, caption, type, box_idle);
}

// ---- message loop ----------------------------------------------------------------------------

int32_t ui_get_message(UiMsg *msg)
{
    for (;;) {
        uint32_t seen = web_signals();
        web_process_check();
        take_events();
        run_timers(false);
        if (int32_t got = uiobjects_take_message(&ui.objects, msg); got >= 0) return got;
        // Until the next timer or the page's next event.
        uint64_t now = web_now_us(), wait = MESSAGE_WAIT_US;
        for (const Timer &t : ui.timers)
            if (t.due_us > now && t.due_us - now < wait) wait = t.due_us - now;
        web_wait(seen, static_cast<uint32_t>(wait));
    }
}

// ---- painting --------------------------------------------------------------------------------

UiDc ui_begin_paint(UiWindow window)
{
    WebWindow *w = record_of(window);
    if (!w || w->canvas.empty()) return 0;
    w->needs_paint = false;
    std::fill(w->canvas.begin(), w->canvas.end(), 0xFF000000u | DIALOG_BACKGROUND);
    return window;
}

// What was painted goes to the page once the window has handled WM_PAINT (UiBackend.painted).
void ui_end_paint(UiWindow /*window*/, UiDc /*dc*/) {}

bool ui_paint_bitmap(UiDc dc, UiPalette palette, UiBitmap bitmap, int32_t x, int32_t y,
                     int32_t width, int32_t height)
{
    WebWindow *w = record_of(dc);
    if (!w || w->canvas.empty()) return false;
    UiObjectCanvas canvas = {w->canvas.data(), w->client_width, w->client_height,
                             static_cast<size_t>(w->client_width), 0xFF000000u};
    return uiobjects_paint_bitmap(&ui.objects, palette, bitmap, x, y, width, height, &canvas);
}

extern "C" {

// The page, on its main thread: a click on a control, a key over a window, its close box, or
// the window brought forward.
EMSCRIPTEN_KEEPALIVE void web_ui_event(int32_t kind, uint32_t window, uint32_t value)
{
    {
        std::lock_guard<std::mutex> lock(inbox_mutex);
        inbox.push_back({kind, window, value});
    }
    web_signal();
}
}
