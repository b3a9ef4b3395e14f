// Headless windows for the menu: a table of window records, a queue of scripted input and a
// message loop that turns it into the messages the window procedures expect.
#include <cstring>
#include <deque>
#include <iterator>

#include "platform/headless/launcher_headless.h"
#include "platform/headless/launcher_internal.h"
#include "platform/ui.h"

namespace
{

constexpr uint32_t WM_HEADLESS_CLICK = 0x8001; // delivered to a button, which notifies its dialog
constexpr uint32_t DIALOG_BACKGROUND = 0xC0C0C0;
constexpr size_t BITMAP_LIMIT = 256u << 20;

enum EventKind { EVENT_CLICK, EVENT_KEY, EVENT_CLOSE, EVENT_TICK, EVENT_CALL };

struct Event {
    EventKind kind;
    UiWindow window;
    int32_t value;
    std::function<void()> call;
};

struct Timer {
    UiWindow window;
    uintptr_t id;
    uint32_t period;
    UiTimerProc proc;
};

struct HeadlessPalette {
    bool alive;
    std::vector<UiPaletteEntry> entries;
};

struct HeadlessBitmap {
    bool alive;
    int32_t width, height, stride;
    std::vector<uint8_t> bits;
};

struct WindowClassEntry {
    std::string name;
    UiWindowClass window_class;
};

struct HeadlessUi {
    std::vector<HeadlessWindow> windows; // handle = index + 1, never reused
    std::vector<WindowClassEntry> classes;
    std::vector<Timer> timers;
    std::vector<HeadlessPalette> palettes;
    std::vector<HeadlessBitmap> bitmaps;
    std::deque<Event> events;
    std::deque<UiMsg> posted;
    std::deque<int32_t> answers;
    std::deque<std::function<void()>> during_box;
    std::vector<HeadlessMessageBox> boxes;
    UiWindow focus = 0;
    bool quit = false;
    int32_t quit_code = 0;
    bool ran_out = false;
    UiRect desktop = {0, 0, 640, 480};
    int32_t border = 3;
    int32_t caption = 19;
    uint32_t tick_time = 0;
    std::string command_line;
    std::vector<std::pair<int32_t, int32_t>> icons; // id, image count
    bool fail_window = false;
    bool fail_dialog = false;
};

HeadlessUi ui;

HeadlessWindow *find(UiWindow window)
{
    if (window == 0 || window > ui.windows.size()) return nullptr;
    HeadlessWindow *w = &ui.windows[window - 1];
    return w->alive ? w : nullptr;
}

bool is_top_level(const HeadlessWindow *w)
{
    return w->parent == 0;
}

// Dialog base units per template font, as the menu's fonts measured on the original desktop.
void base_units(const DialogTemplate *dialog, int32_t *x, int32_t *y)
{
    *x = 6;
    *y = 13;
    if (std::strcmp(dialog->font, "System") == 0) {
        *x = 8;
        *y = 16;
    } else if (std::strcmp(dialog->font, "Courier New") == 0) {
        *x = 7;
        *y = 14;
    } else if (std::strcmp(dialog->font, "Times New Roman") == 0) {
        *x = 6;
        *y = 15;
    }
}

void frame_of(uint32_t style, int32_t *left, int32_t *top, int32_t *right, int32_t *bottom)
{
    *left = *top = *right = *bottom = 0;
    if ((style & WS_CAPTION) == WS_CAPTION) {
        *left = *right = *bottom = ui.border;
        *top = ui.border + ui.caption;
    } else if (style & WS_BORDER) {
        *left = *right = *top = *bottom = 1;
    }
}

void size_canvas(HeadlessWindow *w)
{
    int32_t l, t, r, b;
    frame_of(w->style, &l, &t, &r, &b);
    int32_t cw = w->rect.right - w->rect.left - l - r;
    int32_t ch = w->rect.bottom - w->rect.top - t - b;
    cw = cw < 0 ? 0 : cw;
    ch = ch < 0 ? 0 : ch;
    if (cw == w->client_width && ch == w->client_height && !w->canvas.empty()) return;
    w->client_width = cw;
    w->client_height = ch;
    uint32_t fill = w->is_dialog ? DIALOG_BACKGROUND : 0;
    w->canvas.assign(static_cast<size_t>(cw) * static_cast<size_t>(ch), fill);
}

UiWindow new_window(const HeadlessWindow &record)
{
    ui.windows.push_back(record);
    return ui.windows.size();
}

bool in_dialog(UiWindow dialog, UiWindow window)
{
    const HeadlessWindow *w = find(window);
    return w && (window == dialog || w->parent == dialog);
}

intptr_t call_proc(UiWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    HeadlessWindow *w = find(window);
    if (!w || !w->proc) return 0;
    UiProc proc = w->proc;
    bool dialog = w->is_dialog;
    intptr_t result = proc(window, message, wparam, lparam);
    if (dialog && result == 0 && message == WM_CLOSE && find(window))
        result = proc(window, WM_COMMAND, IDCANCEL, 0);
    return result;
}

void activate(UiWindow window)
{
    if (find(window)) ui_set_focus(window);
}

void colour_controls(UiWindow dialog)
{
    for (size_t i = 0; i < ui.windows.size(); i++) {
        HeadlessWindow &c = ui.windows[i];
        if (!c.alive || c.parent != dialog || !c.visible) continue;
        uint32_t message = c.kind == DIALOG_BUTTON ? WM_CTLCOLORBTN : WM_CTLCOLORSTATIC;
        UiWindow control = i + 1;
        intptr_t brush = call_proc(dialog, message, control, static_cast<intptr_t>(control));
        if (HeadlessWindow *again = find(control)) {
            again->brush = static_cast<UiBrush>(brush);
            again->coloured = brush != 0;
        }
    }
}

UiWindow next_tab_stop(UiWindow dialog, UiWindow from)
{
    std::vector<UiWindow> stops;
    for (size_t i = 0; i < ui.windows.size(); i++) {
        const HeadlessWindow &c = ui.windows[i];
        if (c.alive && c.parent == dialog && c.visible && c.enabled && (c.style & WS_TABSTOP))
            stops.push_back(i + 1);
    }
    if (stops.empty()) return 0;
    for (size_t i = 0; i < stops.size(); i++)
        if (stops[i] == from) return stops[(i + 1) % stops.size()];
    return stops[0];
}

int32_t default_id(UiWindow dialog)
{
    const HeadlessWindow *focus = find(ui.focus);
    if (focus && focus->parent == dialog && focus->kind == DIALOG_BUTTON) return focus->id;
    for (const HeadlessWindow &c : ui.windows)
        if (c.alive && c.parent == dialog && c.kind == DIALOG_BUTTON &&
            (c.style & 0xF) == BS_DEFPUSHBUTTON)
            return c.id;
    return IDOK;
}

bool clickable(const HeadlessWindow *c)
{
    if (!c || !c->visible || !c->enabled) return false;
    const HeadlessWindow *parent = find(c->parent);
    return parent && parent->visible && parent->enabled;
}

} // namespace

// ---- test side -------------------------------------------------------------------------------

void headless_launcher_reset(int32_t desktop_width, int32_t desktop_height)
{
    ui = HeadlessUi();
    ui.desktop = {0, 0, desktop_width, desktop_height};
    headless_process_reset();
}

void headless_set_command_line(const char *command_line)
{
    ui.command_line = command_line;
}

void headless_set_frame(int32_t border, int32_t caption)
{
    ui.border = border;
    ui.caption = caption;
}

void headless_click(UiWindow dialog, int32_t id)
{
    ui.events.push_back({EVENT_CLICK, dialog, id, nullptr});
}

void headless_key(uint32_t virtual_key)
{
    ui.events.push_back({EVENT_KEY, 0, static_cast<int32_t>(virtual_key), nullptr});
}

void headless_close(UiWindow window)
{
    ui.events.push_back({EVENT_CLOSE, window, 0, nullptr});
}

void headless_tick()
{
    ui.events.push_back({EVENT_TICK, 0, 0, nullptr});
}

void headless_call(std::function<void()> call)
{
    ui.events.push_back({EVENT_CALL, 0, 0, std::move(call)});
}

void headless_fail_next_window()
{
    ui.fail_window = true;
}
void headless_fail_next_dialog()
{
    ui.fail_dialog = true;
}

void headless_answer_message_box(int32_t answer)
{
    ui.answers.push_back(answer);
}

void headless_during_message_box(std::function<void()> call)
{
    ui.during_box.push_back(std::move(call));
}

const HeadlessWindow *headless_window(UiWindow window)
{
    if (window == 0 || window > ui.windows.size()) return nullptr;
    return &ui.windows[window - 1];
}

std::vector<UiWindow> headless_dialogs(const char *template_name)
{
    std::vector<UiWindow> found;
    for (size_t i = 0; i < ui.windows.size(); i++) {
        const HeadlessWindow &w = ui.windows[i];
        if (w.alive && w.is_dialog && std::strcmp(w.dialog_template->name, template_name) == 0)
            found.push_back(i + 1);
    }
    return found;
}

UiWindow headless_focus()
{
    return ui.focus;
}
bool headless_input_ran_out()
{
    return ui.ran_out;
}
const std::vector<HeadlessMessageBox> &headless_message_boxes()
{
    return ui.boxes;
}
int32_t headless_timer_count()
{
    return static_cast<int32_t>(ui.timers.size());
}

const char *cmdline_get()
{
    return ui.command_line.c_str();
}

int32_t headless_icon_images(int32_t id)
{
    for (const auto &icon : ui.icons)
        if (icon.first == id) return icon.second;
    return 0;
}

bool ui_register_icon(int32_t id, const UiIconImage *images, int32_t count)
{
    if (!images || count <= 0) return false;
    ui.icons.emplace_back(id, count);
    return true;
}

// ---- classes and windows ---------------------------------------------------------------------

bool ui_register_class(const UiWindowClass *window_class)
{
    for (const WindowClassEntry &c : ui.classes)
        if (c.name == window_class->name) return false;
    WindowClassEntry entry{window_class->name, *window_class};
    ui.classes.push_back(entry);
    ui.classes.back().window_class.name = ui.classes.back().name.c_str();
    return true;
}

UiWindow ui_create_window(const char *class_name, const char *title, uint32_t style, int32_t x,
                          int32_t y, int32_t width, int32_t height, UiWindow parent)
{
    if (ui.fail_window) {
        ui.fail_window = false;
        return 0;
    }
    const WindowClassEntry *found = nullptr;
    for (const WindowClassEntry &c : ui.classes)
        if (c.name == class_name) found = &c;
    if (!found) return 0;
    HeadlessWindow w = {};
    w.alive = true;
    w.class_name = class_name;
    w.owner = parent;
    w.style = style;
    w.text = title;
    w.enabled = true;
    w.rect = {x, y, x + width, y + height};
    w.proc = found->window_class.proc;
    UiWindow handle = new_window(w);
    size_canvas(find(handle));
    return handle;
}

intptr_t ui_default_window_proc(UiWindow window, uint32_t message, uintptr_t /*wparam*/,
                                intptr_t /*lparam*/)
{
    if (message == WM_CLOSE) ui_destroy_window(window);
    return 0;
}

UiWindow ui_create_dialog(const DialogTemplate *dialog, UiWindow owner, UiProc proc)
{
    if (ui.fail_dialog) {
        ui.fail_dialog = false;
        return 0;
    }
    int32_t bx, by;
    base_units(dialog, &bx, &by);
    int32_t l, t, r, b;
    frame_of(dialog->style, &l, &t, &r, &b);
    int32_t ox = 0, oy = 0;
    if (const HeadlessWindow *o = find(owner)) {
        int32_t ol, ot, orr, ob;
        frame_of(o->style, &ol, &ot, &orr, &ob);
        ox = o->rect.left + ol;
        oy = o->rect.top + ot;
    }
    HeadlessWindow w = {};
    w.alive = true;
    w.is_dialog = true;
    w.dialog_template = dialog;
    w.owner = owner;
    w.style = dialog->style;
    w.text = dialog->caption;
    w.enabled = true;
    int32_t x = ox + dialog->x * bx / 4;
    int32_t y = oy + dialog->y * by / 8;
    w.rect = {x - l, y - t, x + dialog->cx * bx / 4 + r, y + dialog->cy * by / 8 + b};
    w.proc = proc;
    UiWindow handle = new_window(w);
    size_canvas(find(handle));
    for (int32_t i = 0; i < dialog->control_count; i++) {
        const DialogControl &c = dialog->controls[i];
        HeadlessWindow control = {};
        control.alive = true;
        control.parent = handle;
        control.kind = c.kind;
        control.id = c.id;
        control.style = c.style;
        control.exstyle = c.exstyle;
        control.text = c.text;
        control.enabled = true;
        control.visible = (c.style & WS_VISIBLE) != 0;
        int32_t cx = c.x * bx / 4, cy = c.y * by / 8;
        control.rect = {cx, cy, cx + c.cx * bx / 4, cy + c.cy * by / 8};
        new_window(control);
    }
    call_proc(handle, WM_INITDIALOG, 0, 0);
    if (dialog->style & WS_VISIBLE) ui_show_window(handle, SW_SHOWNORMAL);
    return handle;
}

bool ui_destroy_window(UiWindow window)
{
    HeadlessWindow *w = find(window);
    if (!w) return false;
    if (is_top_level(w)) {
        for (size_t i = 0; i < ui.windows.size(); i++)
            if (ui.windows[i].alive && ui.windows[i].owner == window &&
                is_top_level(&ui.windows[i]))
                ui_destroy_window(i + 1);
    }
    bool had_focus = ui.focus == window || (find(ui.focus) && find(ui.focus)->parent == window);
    UiWindow owner = w->owner;
    call_proc(window, WM_DESTROY, 0, 0);
    for (HeadlessWindow &c : ui.windows)
        if (c.alive && c.parent == window) c.alive = false;
    ui.windows[window - 1].alive = false;
    for (size_t i = ui.timers.size(); i-- > 0;)
        if (ui.timers[i].window == window)
            ui.timers.erase(ui.timers.begin() + static_cast<std::ptrdiff_t>(i));
    if (had_focus) {
        ui.focus = 0;
        const HeadlessWindow *o = find(owner);
        if (o && o->visible) activate(owner);
    }
    return true;
}

bool ui_is_window(UiWindow window)
{
    return find(window) != nullptr;
}

bool ui_show_window(UiWindow window, int32_t command)
{
    HeadlessWindow *w = find(window);
    if (!w) return false;
    bool was_visible = w->visible;
    if (command == SW_HIDE) {
        w->visible = false;
        if (ui.focus == window || (find(ui.focus) && find(ui.focus)->parent == window))
            ui.focus = 0;
        return was_visible;
    }
    w->visible = true;
    w->needs_paint = true;
    if (is_top_level(w)) activate(window);
    return was_visible;
}

bool ui_set_window_text(UiWindow window, const char *text)
{
    HeadlessWindow *w = find(window);
    if (!w) return false;
    w->text = text;
    return true;
}

UiWindow ui_get_dlg_item(UiWindow dialog, int32_t id)
{
    for (size_t i = 0; i < ui.windows.size(); i++) {
        const HeadlessWindow &c = ui.windows[i];
        if (c.alive && c.parent == dialog && dialog != 0 && c.id == id) return i + 1;
    }
    return 0;
}

bool ui_set_dlg_item_text(UiWindow dialog, int32_t id, const char *text)
{
    return ui_set_window_text(ui_get_dlg_item(dialog, id), text);
}

bool ui_enable_window(UiWindow window, bool enable)
{
    HeadlessWindow *w = find(window);
    if (!w) return false;
    bool was_disabled = !w->enabled;
    w->enabled = enable;
    if (!enable && ui.focus == window) ui.focus = 0;
    return was_disabled;
}

bool ui_move_window(UiWindow window, int32_t x, int32_t y, int32_t width, int32_t height,
                    bool repaint)
{
    HeadlessWindow *w = find(window);
    if (!w) return false;
    w->rect = {x, y, x + width, y + height};
    if (is_top_level(w)) size_canvas(w);
    if (repaint) w->needs_paint = true;
    return true;
}

bool ui_get_window_rect(UiWindow window, UiRect *rect)
{
    const HeadlessWindow *w = find(window);
    if (!w) return false;
    *rect = w->rect;
    return true;
}

UiWindow ui_set_focus(UiWindow window)
{
    UiWindow old = ui.focus;
    if (window == old || (window && !find(window))) return old;
    ui.focus = window;
    if (window) call_proc(window, WM_SETFOCUS, old, 0);
    return old;
}

intptr_t ui_send_message(UiWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    return call_proc(window, message, wparam, lparam);
}

void ui_set_arrow_cursor() {}

bool ui_desktop_rect(UiRect *rect)
{
    *rect = ui.desktop;
    return true;
}

bool ui_adjust_window_rect(UiRect *rect, uint32_t style, bool menu)
{
    int32_t l, t, r, b;
    frame_of(style, &l, &t, &r, &b);
    rect->left -= l;
    rect->top -= t + (menu ? 19 : 0);
    rect->right += r;
    rect->bottom += b;
    return true;
}

int32_t ui_message_box(UiWindow owner, const char *text, const char *caption, uint32_t type)
{
    if (!ui.during_box.empty()) {
        std::function<void()> call = std::move(ui.during_box.front());
        ui.during_box.pop_front();
        call();
    }
    int32_t answer = (type & 0xF) == MB_YESNO ? IDNO : IDOK;
    if (!ui.answers.empty()) {
        answer = ui.answers.front();
        ui.answers.pop_front();
    }
    ui.boxes.push_back({owner, text, caption, type, answer});
    return answer;
}

uintptr_t ui_set_timer(UiWindow window, uintptr_t id, uint32_t period_ms, UiTimerProc proc)
{
    if (!find(window) || period_ms == 0) return 0;
    for (Timer &t : ui.timers)
        if (t.window == window && t.id == id) {
            t.period = period_ms;
            t.proc = proc;
            return id;
        }
    ui.timers.push_back({window, id, period_ms, proc});
    return id;
}

bool ui_kill_timer(UiWindow window, uintptr_t id)
{
    for (size_t i = 0; i < ui.timers.size(); i++)
        if (ui.timers[i].window == window && ui.timers[i].id == id) {
            ui.timers.erase(ui.timers.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    return false;
}

// ---- message loop ----------------------------------------------------------------------------

int32_t ui_get_message(UiMsg *msg)
{
    for (;;) {
        if (headless_process_ended()) {
            *msg = {0, WM_QUIT, 0, 0};
            return 0;
        }
        if (!ui.posted.empty()) {
            *msg = ui.posted.front();
            ui.posted.pop_front();
            return 1;
        }
        if (ui.quit) {
            ui.quit = false;
            *msg = {0, WM_QUIT, static_cast<uintptr_t>(ui.quit_code), 0};
            return 0;
        }
        for (size_t i = 0; i < ui.windows.size(); i++) {
            HeadlessWindow &w = ui.windows[i];
            if (w.alive && w.visible && w.needs_paint && is_top_level(&w)) {
                *msg = {i + 1, WM_PAINT, 0, 0};
                return 1;
            }
        }
        if (ui.events.empty()) {
            ui.ran_out = true;
            *msg = {0, WM_QUIT, 0, 0};
            return 0;
        }
        Event event = std::move(ui.events.front());
        ui.events.pop_front();
        switch (event.kind) {
        case EVENT_CALL: {
            // Input that the call queues comes right after it, before what was queued already.
            std::deque<Event> later;
            later.swap(ui.events);
            event.call();
            ui.events.insert(ui.events.end(), std::make_move_iterator(later.begin()),
                             std::make_move_iterator(later.end()));
            continue;
        }
        case EVENT_TICK:
            ui.tick_time += 500;
            for (const Timer &t : ui.timers)
                ui.posted.push_back({t.window, WM_TIMER, t.id, 0});
            continue;
        case EVENT_CLICK: {
            UiWindow button = ui_get_dlg_item(event.window, event.value);
            if (!clickable(find(button))) continue;
            ui_set_focus(button);
            *msg = {button, WM_HEADLESS_CLICK, 0, 0};
            return 1;
        }
        case EVENT_KEY: {
            UiWindow target = ui.focus;
            if (!find(target)) continue;
            *msg = {target, WM_KEYDOWN, static_cast<uintptr_t>(event.value), 0};
            return 1;
        }
        case EVENT_CLOSE:
            if (!find(event.window)) continue;
            *msg = {event.window, WM_CLOSE, 0, 0};
            return 1;
        }
    }
}

bool ui_is_dialog_message(UiWindow dialog, UiMsg *msg)
{
    if (!find(dialog) || !in_dialog(dialog, msg->window)) return false;
    if (msg->message == WM_KEYDOWN) {
        switch (msg->wparam) {
        case VK_RETURN:
            call_proc(dialog, WM_COMMAND, static_cast<uintptr_t>(default_id(dialog)), 0);
            return true;
        case VK_ESCAPE:
            call_proc(dialog, WM_COMMAND, IDCANCEL, 0);
            return true;
        case VK_TAB:
            ui_set_focus(next_tab_stop(dialog, ui.focus));
            return true;
        case VK_SPACE: {
            const HeadlessWindow *focus = find(ui.focus);
            if (focus && focus->parent == dialog && focus->kind == DIALOG_BUTTON) {
                UiMsg click = {ui.focus, WM_HEADLESS_CLICK, 0, 0};
                ui_dispatch_message(&click);
                return true;
            }
            break;
        }
        default:
            break;
        }
    }
    ui_dispatch_message(msg);
    return true;
}

void ui_translate_message(const UiMsg *msg) {}

intptr_t ui_dispatch_message(const UiMsg *msg)
{
    HeadlessWindow *w = find(msg->window);
    if (!w) return 0;
    switch (msg->message) {
    case WM_TIMER:
        for (const Timer &t : ui.timers)
            if (t.window == msg->window && t.id == msg->wparam && t.proc) {
                t.proc(msg->window, WM_TIMER, msg->wparam, ui.tick_time);
                return 0;
            }
        break;
    case WM_HEADLESS_CLICK:
        if (!clickable(w)) return 0;
        return call_proc(w->parent, WM_COMMAND,
                         static_cast<uintptr_t>(static_cast<uint16_t>(w->id)),
                         static_cast<intptr_t>(msg->window));
    case WM_PAINT: {
        intptr_t result = call_proc(msg->window, WM_PAINT, 0, 0);
        if (HeadlessWindow *again = find(msg->window)) {
            again->needs_paint = false;
            if (again->is_dialog) colour_controls(msg->window);
        }
        return result;
    }
    default:
        break;
    }
    return call_proc(msg->window, msg->message, msg->wparam, msg->lparam);
}

void ui_post_quit_message(int32_t exit_code)
{
    ui.quit = true;
    ui.quit_code = exit_code;
}

// ---- painting --------------------------------------------------------------------------------

UiDc ui_begin_paint(UiWindow window)
{
    HeadlessWindow *w = find(window);
    if (!w) return 0;
    w->needs_paint = false;
    return window;
}

void ui_end_paint(UiWindow window, UiDc /*dc*/)
{
    if (HeadlessWindow *w = find(window)) w->paint_count++;
}

uint32_t ui_set_bk_color(UiDc dc, uint32_t colour)
{
    HeadlessWindow *w = find(dc);
    if (!w) return 0xFFFFFFFFu;
    uint32_t old = w->bk_colour;
    w->bk_colour = colour;
    return old;
}

UiBrush ui_stock_black_brush()
{
    return 1;
}

UiPalette ui_create_palette(const UiPaletteEntry *entries, int32_t count)
{
    if (count <= 0 || count > 256) return 0;
    HeadlessPalette p{true, std::vector<UiPaletteEntry>(entries, entries + count)};
    ui.palettes.push_back(std::move(p));
    return ui.palettes.size();
}

bool ui_delete_palette(UiPalette palette)
{
    if (palette == 0 || palette > ui.palettes.size() || !ui.palettes[palette - 1].alive)
        return false;
    ui.palettes[palette - 1].alive = false;
    std::vector<UiPaletteEntry>().swap(ui.palettes[palette - 1].entries);
    return true;
}

UiBitmap ui_create_dib_section(UiWindow window, UiPalette palette, const uint8_t *info_header,
                               uint8_t **bits)
{
    *bits = nullptr;
    if (!find(window) || palette == 0 || palette > ui.palettes.size()) return 0;
    int32_t width, height;
    std::memcpy(&width, info_header + 4, 4);
    std::memcpy(&height, info_header + 8, 4);
    if (width <= 0 || height <= 0) return 0;
    size_t stride = (static_cast<size_t>(width) + 3) & ~size_t{3};
    if (stride > BITMAP_LIMIT / static_cast<size_t>(height)) return 0;
    HeadlessBitmap b{true, width, height, static_cast<int32_t>(stride),
                     std::vector<uint8_t>(stride * static_cast<size_t>(height))};
    ui.bitmaps.push_back(std::move(b));
    *bits = ui.bitmaps.back().bits.data();
    return ui.bitmaps.size();
}

bool ui_delete_bitmap(UiBitmap bitmap)
{
    if (bitmap == 0 || bitmap > ui.bitmaps.size() || !ui.bitmaps[bitmap - 1].alive) return false;
    ui.bitmaps[bitmap - 1].alive = false;
    std::vector<uint8_t>().swap(ui.bitmaps[bitmap - 1].bits);
    return true;
}

bool ui_paint_bitmap(UiDc dc, UiPalette palette, UiBitmap bitmap, int32_t x, int32_t y,
                     int32_t width, int32_t height)
{
    HeadlessWindow *w = find(dc);
    if (!w || palette == 0 || palette > ui.palettes.size() || bitmap == 0 ||
        bitmap > ui.bitmaps.size())
        return false;
    const HeadlessPalette &p = ui.palettes[palette - 1];
    const HeadlessBitmap &b = ui.bitmaps[bitmap - 1];
    if (!p.alive || !b.alive) return false;
    int32_t rows = height < b.height ? height : b.height;
    int32_t cols = width < b.width ? width : b.width;
    for (int32_t row = 0; row < rows; row++) {
        int32_t ty = y + row;
        if (ty < 0 || ty >= w->client_height) continue;
        const uint8_t *src = b.bits.data() + static_cast<size_t>(b.height - 1 - row) * b.stride;
        for (int32_t col = 0; col < cols; col++) {
            int32_t tx = x + col;
            if (tx < 0 || tx >= w->client_width) continue;
            uint32_t colour = 0;
            if (src[col] < p.entries.size()) {
                const UiPaletteEntry &e = p.entries[src[col]];
                colour = static_cast<uint32_t>(e.red) << 16 | static_cast<uint32_t>(e.green) << 8 |
                         e.blue;
            }
            w->canvas[static_cast<size_t>(ty) * w->client_width + tx] = colour;
        }
    }
    return true;
}
