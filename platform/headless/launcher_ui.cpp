// Headless windows for the menu: a table of window records, a queue of scripted input and a
// message loop that turns it into the messages the window procedures expect.
#include <cstring>
#include <deque>
#include <iterator>
#include <memory>

#include "platform/headless/launcher_headless.h"
#include "platform/headless/launcher_internal.h"
#include "platform/ui.h"
#include "platform/ui_objects.h"

namespace
{

constexpr uint32_t DIALOG_BACKGROUND = 0xC0C0C0;

enum EventKind { EVENT_CLICK, EVENT_KEY, EVENT_CLOSE, EVENT_TICK, EVENT_CALL };

struct Event {
    EventKind kind;
    UiWindow window;
    int32_t value;
    std::function<void()> call;
};

void moved(UiWindow window);
void text_changed(UiWindow window);

// Headless windows are their records: of what a screen would show, only the canvas of a
// resized window has to follow, and how often a text was set is counted.
UiBackend headless_backend()
{
    UiBackend backend = {};
    backend.moved = moved;
    backend.text_changed = text_changed;
    return backend;
}

const UiBackend HEADLESS_BACKEND = headless_backend();

struct HeadlessUi {
    UiObjects objects{&HEADLESS_BACKEND};
    std::deque<Event> events;
    std::deque<int32_t> answers;
    std::deque<std::function<void()>> during_box;
    std::vector<HeadlessMessageBox> boxes;
    bool ran_out = false;
    UiRect desktop = {0, 0, 640, 480};
    int32_t border = 3;
    int32_t caption = 19;
    std::string command_line;
    std::vector<std::pair<int32_t, int32_t>> icons; // id, image count
    bool fail_window = false;
    bool fail_dialog = false;
};

HeadlessUi ui;

HeadlessWindow *find(UiWindow window)
{
    return static_cast<HeadlessWindow *>(uiobjects_window(&ui.objects, window));
}

bool is_top_level(const HeadlessWindow *w)
{
    return w->parent == 0;
}

void size_canvas(HeadlessWindow *w)
{
    UiRect frame = uiobjects_frame(w->style, ui.border, ui.caption);
    int32_t cw = w->rect.right - w->rect.left - frame.left - frame.right;
    int32_t ch = w->rect.bottom - w->rect.top - frame.top - frame.bottom;
    cw = cw < 0 ? 0 : cw;
    ch = ch < 0 ? 0 : ch;
    if (cw == w->client_width && ch == w->client_height && !w->canvas.empty()) return;
    w->client_width = cw;
    w->client_height = ch;
    uint32_t fill = w->is_dialog ? DIALOG_BACKGROUND : 0;
    w->canvas.assign(static_cast<size_t>(cw) * static_cast<size_t>(ch), fill);
}

UiWindow new_window(std::unique_ptr<HeadlessWindow> record)
{
    return uiobjects_add_window(&ui.objects, std::move(record));
}

void moved(UiWindow window)
{
    HeadlessWindow *w = find(window);
    if (w && is_top_level(w)) size_canvas(w);
}

void text_changed(UiWindow window)
{
    if (HeadlessWindow *w = find(window)) w->text_sets++;
}

} // namespace

// ---- test side -------------------------------------------------------------------------------

void headless_launcher_reset(int32_t desktop_width, int32_t desktop_height)
{
    ui = HeadlessUi();
    uiobjects_use(&ui.objects);
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
    return static_cast<const HeadlessWindow *>(uiobjects_record(&ui.objects, window));
}

std::vector<UiWindow> headless_dialogs(const char *template_name)
{
    std::vector<UiWindow> found;
    for (UiWindow handle = 1; const UiObjectWindow *w = uiobjects_record(&ui.objects, handle);
         handle++)
        if (w->alive && w->is_dialog && std::strcmp(w->dialog_template->name, template_name) == 0)
            found.push_back(handle);
    return found;
}

UiWindow headless_focus()
{
    return ui.objects.focus;
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
    return static_cast<int32_t>(ui.objects.timers.size());
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

UiWindow ui_create_window(const char *class_name, const char *title, uint32_t style, int32_t x,
                          int32_t y, int32_t width, int32_t height, UiWindow parent)
{
    if (ui.fail_window) {
        ui.fail_window = false;
        return 0;
    }
    const UiObjectClass *found = uiobjects_class(&ui.objects, class_name);
    if (!found) return 0;
    auto w = std::make_unique<HeadlessWindow>();
    uiobjects_init_window(w.get(), found, title, style, {x, y, x + width, y + height}, parent);
    w->class_name = class_name;
    UiWindow handle = new_window(std::move(w));
    size_canvas(find(handle));
    return handle;
}

UiWindow ui_create_dialog(const DialogTemplate *dialog, UiWindow owner, UiProc proc)
{
    if (ui.fail_dialog) {
        ui.fail_dialog = false;
        return 0;
    }
    int32_t bx, by;
    uiobjects_base_units(dialog, &bx, &by);
    UiRect frame = uiobjects_frame(dialog->style, ui.border, ui.caption);
    int32_t ox = 0, oy = 0;
    if (const HeadlessWindow *o = find(owner)) {
        UiRect owner_frame = uiobjects_frame(o->style, ui.border, ui.caption);
        ox = o->rect.left + owner_frame.left;
        oy = o->rect.top + owner_frame.top;
    }
    auto w = std::make_unique<HeadlessWindow>();
    uiobjects_init_dialog(w.get(), dialog, owner, proc);
    int32_t x = ox + dialog->x * bx / 4;
    int32_t y = oy + dialog->y * by / 8;
    w->rect = {x - frame.left, y - frame.top, x + dialog->cx * bx / 4 + frame.right,
               y + dialog->cy * by / 8 + frame.bottom};
    UiWindow handle = new_window(std::move(w));
    size_canvas(find(handle));
    for (int32_t i = 0; i < dialog->control_count; i++) {
        auto control = std::make_unique<HeadlessWindow>();
        uiobjects_init_control(control.get(), &dialog->controls[i], handle, bx, by);
        control->exstyle = dialog->controls[i].exstyle;
        new_window(std::move(control));
    }
    uiobjects_dialog_created(&ui.objects, handle);
    return handle;
}

void ui_set_arrow_cursor() {}

bool ui_desktop_rect(UiRect *rect)
{
    *rect = ui.desktop;
    return true;
}

bool ui_adjust_window_rect(UiRect *rect, uint32_t style, bool menu)
{
    uiobjects_adjust_rect(rect, style, menu, ui.border, ui.caption);
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

// ---- message loop ----------------------------------------------------------------------------

int32_t ui_get_message(UiMsg *msg)
{
    for (;;) {
        if (headless_process_ended()) {
            *msg = {0, WM_QUIT, 0, 0};
            return 0;
        }
        if (int32_t got = uiobjects_take_message(&ui.objects, msg); got >= 0) return got;
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
            ui.objects.time += 500;
            for (const UiObjectTimer &t : ui.objects.timers)
                uiobjects_timer_elapsed(&ui.objects, t.window, t.id);
            continue;
        case EVENT_CLICK: {
            UiWindow button = ui_get_dlg_item(event.window, event.value);
            if (!uiobjects_clickable(&ui.objects, find(button))) continue;
            *msg = {button, UIOBJECTS_CLICK, 0, 0};
            return 1;
        }
        case EVENT_KEY: {
            UiWindow target = ui.objects.focus;
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

bool ui_paint_bitmap(UiDc dc, UiPalette palette, UiBitmap bitmap, int32_t x, int32_t y,
                     int32_t width, int32_t height)
{
    HeadlessWindow *w = find(dc);
    if (!w) return false;
    UiObjectCanvas canvas = {w->canvas.data(), w->client_width, w->client_height,
                             static_cast<size_t>(w->client_width), 0};
    return uiobjects_paint_bitmap(&ui.objects, palette, bitmap, x, y, width, height, &canvas);
}
