// The backend-neutral part of the menu's window services.
#include "platform/ui_objects.h"

#include <cstring>

namespace
{

// No picture of the menu comes near this; a larger header is broken, not a picture to show.
constexpr size_t BITMAP_LIMIT = 256u << 20;

// The height of a menu bar that ui_adjust_window_rect adds.
constexpr int32_t MENU_HEIGHT = 19;

// The live palette or bitmap of a handle (index + 1), or null.
template <typename Object> const Object *live(const std::vector<Object> &table, uintptr_t handle)
{
    return handle == 0 || handle > table.size() || !table[handle - 1].alive ? nullptr
                                                                            : &table[handle - 1];
}

// A deleted palette or bitmap keeps its handle, dead and without its memory.
template <typename Object> bool release(std::vector<Object> *table, uintptr_t handle)
{
    if (!live(*table, handle)) return false;
    (*table)[handle - 1] = Object{};
    return true;
}

bool in_dialog(const UiObjects *objects, UiWindow dialog, UiWindow window)
{
    const UiObjectWindow *w = uiobjects_window(objects, window);
    return w && (window == dialog || w->parent == dialog);
}

UiObjects *current_objects = nullptr;

// The top-level window of a window or control; 0 for no window.
UiWindow top_of(const UiObjects *objects, UiWindow window)
{
    const UiObjectWindow *w = uiobjects_window(objects, window);
    return w && w->parent ? w->parent : window;
}

// The focus is in the window: on it or on one of its controls.
bool holds_focus(const UiObjects *objects, UiWindow window)
{
    const UiObjectWindow *f = uiobjects_window(objects, objects->focus);
    return f && (objects->focus == window || f->parent == window);
}

void stop_timers(UiObjects *objects, UiWindow window)
{
    for (size_t i = objects->timers.size(); i-- > 0;) {
        UiObjectTimer t = objects->timers[i];
        if (t.window != window) continue;
        objects->timers.erase(objects->timers.begin() + static_cast<std::ptrdiff_t>(i));
        if (objects->backend->timer_stopped) objects->backend->timer_stopped(t.window, t.id);
    }
}

// Asks each shown control of the dialog for its colours, as the original's controls did when
// they painted.
void colour_controls(UiObjects *objects, UiWindow dialog)
{
    for (UiWindow control = 1; const UiObjectWindow *c = uiobjects_record(objects, control);
         control++) {
        if (!c->alive || c->parent != dialog || !c->visible) continue;
        uint32_t message = c->kind == DIALOG_BUTTON ? WM_CTLCOLORBTN : WM_CTLCOLORSTATIC;
        uint32_t before = c->bk_colour;
        bool was = c->coloured;
        intptr_t brush =
            uiobjects_call(objects, dialog, message, control, static_cast<intptr_t>(control));
        UiObjectWindow *again = uiobjects_window(objects, control);
        if (!again) continue;
        again->brush = static_cast<UiBrush>(brush);
        again->coloured = brush != 0;
        if (objects->backend->coloured)
            objects->backend->coloured(control, !was || before != again->bk_colour);
    }
}

} // namespace

void uiobjects_use(UiObjects *objects)
{
    current_objects = objects;
}

UiObjects *uiobjects_current()
{
    return current_objects;
}

UiWindow uiobjects_add_window(UiObjects *objects, std::unique_ptr<UiObjectWindow> record)
{
    objects->windows.push_back(std::move(record));
    return objects->windows.size();
}

UiObjectWindow *uiobjects_record(const UiObjects *objects, UiWindow window)
{
    return window == 0 || window > objects->windows.size() ? nullptr
                                                           : objects->windows[window - 1].get();
}

UiObjectWindow *uiobjects_window(const UiObjects *objects, UiWindow window)
{
    UiObjectWindow *w = uiobjects_record(objects, window);
    return w && w->alive ? w : nullptr;
}

intptr_t uiobjects_call(const UiObjects *objects, UiWindow window, uint32_t message,
                        uintptr_t wparam, intptr_t lparam)
{
    const UiObjectWindow *w = uiobjects_window(objects, window);
    if (!w || !w->proc) return 0;
    UiProc proc = w->proc;
    bool dialog = w->is_dialog;
    intptr_t result = proc(window, message, wparam, lparam);
    if (dialog && result == 0 && message == WM_CLOSE && uiobjects_window(objects, window))
        result = proc(window, WM_COMMAND, IDCANCEL, 0);
    return result;
}

bool uiobjects_clickable(const UiObjects *objects, const UiObjectWindow *control)
{
    if (!control || !control->visible || !control->enabled) return false;
    const UiObjectWindow *parent = uiobjects_window(objects, control->parent);
    return parent && parent->visible && parent->enabled;
}

int32_t uiobjects_default_id(const UiObjects *objects, UiWindow dialog)
{
    const UiObjectWindow *focus = uiobjects_window(objects, objects->focus);
    if (focus && focus->parent == dialog && focus->kind == DIALOG_BUTTON) return focus->id;
    for (UiWindow handle = 1; const UiObjectWindow *c = uiobjects_record(objects, handle); handle++)
        if (c->alive && c->parent == dialog && c->kind == DIALOG_BUTTON &&
            (c->style & 0xF) == BS_DEFPUSHBUTTON)
            return c->id;
    return IDOK;
}

UiWindow uiobjects_next_tab_stop(const UiObjects *objects, UiWindow dialog, UiWindow from)
{
    std::vector<UiWindow> stops;
    for (UiWindow handle = 1; const UiObjectWindow *c = uiobjects_record(objects, handle); handle++)
        if (c->alive && c->parent == dialog && c->visible && c->enabled && (c->style & WS_TABSTOP))
            stops.push_back(handle);
    if (stops.empty()) return 0;
    for (size_t i = 0; i < stops.size(); i++)
        if (stops[i] == from) return stops[(i + 1) % stops.size()];
    return stops[0];
}

UiWindow uiobjects_dlg_item(const UiObjects *objects, UiWindow dialog, int32_t id)
{
    if (dialog == 0) return 0;
    for (UiWindow handle = 1; const UiObjectWindow *c = uiobjects_record(objects, handle); handle++)
        if (c->alive && c->parent == dialog && c->id == id) return handle;
    return 0;
}

bool uiobjects_window_rect(const UiObjects *objects, UiWindow window, UiRect *rect)
{
    const UiObjectWindow *w = uiobjects_window(objects, window);
    if (!w) return false;
    *rect = w->rect;
    return true;
}

uint32_t uiobjects_set_bk_colour(UiObjects *objects, UiDc dc, uint32_t colour)
{
    UiObjectWindow *w = uiobjects_window(objects, dc);
    if (!w) return 0xFFFFFFFFu;
    uint32_t old = w->bk_colour;
    w->bk_colour = colour;
    return old;
}

bool uiobjects_dialog_message(UiObjects *objects, UiWindow dialog, UiMsg *msg)
{
    if (!uiobjects_window(objects, dialog) || !in_dialog(objects, dialog, msg->window))
        return false;
    if (msg->message == WM_KEYDOWN) {
        switch (msg->wparam) {
        case VK_RETURN:
            uiobjects_call(objects, dialog, WM_COMMAND,
                           static_cast<uintptr_t>(uiobjects_default_id(objects, dialog)), 0);
            return true;
        case VK_ESCAPE:
            uiobjects_call(objects, dialog, WM_COMMAND, IDCANCEL, 0);
            return true;
        case VK_TAB:
            uiobjects_set_focus(objects, uiobjects_next_tab_stop(objects, dialog, objects->focus));
            return true;
        case VK_SPACE: {
            const UiObjectWindow *focus = uiobjects_window(objects, objects->focus);
            if (focus && focus->parent == dialog && focus->kind == DIALOG_BUTTON) {
                UiMsg click = {objects->focus, UIOBJECTS_CLICK, 0, 0};
                uiobjects_dispatch(objects, &click);
                return true;
            }
            break;
        }
        default:
            break;
        }
    }
    uiobjects_dispatch(objects, msg);
    return true;
}

bool uiobjects_destroy(UiObjects *objects, UiWindow window)
{
    const UiObjectWindow *w = uiobjects_window(objects, window);
    if (!w) return false;
    if (w->parent == 0)
        for (UiWindow owned = 1; const UiObjectWindow *o = uiobjects_record(objects, owned);
             owned++)
            if (o->alive && o->parent == 0 && o->owner == window) uiobjects_destroy(objects, owned);
    w = uiobjects_window(objects, window);
    if (!w) return true;
    bool had_focus = holds_focus(objects, window);
    UiWindow owner = w->owner;
    uiobjects_call(objects, window, WM_DESTROY, 0, 0);
    // The procedure may have destroyed it itself.
    if (!uiobjects_window(objects, window)) return true;
    for (UiWindow control = 1; UiObjectWindow *c = uiobjects_record(objects, control); control++)
        if (c->alive && c->parent == window) {
            c->alive = false;
            stop_timers(objects, control);
        }
    uiobjects_record(objects, window)->alive = false;
    stop_timers(objects, window);
    if (objects->backend->destroyed) objects->backend->destroyed(window);
    if (had_focus) {
        objects->focus = 0;
        const UiObjectWindow *o = uiobjects_window(objects, owner);
        if (o && o->visible) uiobjects_set_focus(objects, owner);
    }
    return true;
}

bool uiobjects_show(UiObjects *objects, UiWindow window, int32_t command)
{
    UiObjectWindow *w = uiobjects_window(objects, window);
    if (!w) return false;
    bool was_visible = w->visible;
    bool top_level = w->parent == 0;
    w->visible = command != SW_HIDE;
    if (w->visible) w->needs_paint = true;
    if (objects->backend->show) objects->backend->show(window, command != SW_HIDE);
    if (command == SW_HIDE) {
        if (holds_focus(objects, window)) objects->focus = 0;
    } else if (top_level) {
        uiobjects_set_focus(objects, window);
    }
    return was_visible;
}

bool uiobjects_enable(UiObjects *objects, UiWindow window, bool enable)
{
    UiObjectWindow *w = uiobjects_window(objects, window);
    if (!w) return false;
    bool was_disabled = !w->enabled;
    w->enabled = enable;
    if (objects->backend->enable) objects->backend->enable(window, enable);
    if (!enable && holds_focus(objects, window)) objects->focus = 0;
    return was_disabled;
}

bool uiobjects_set_text(UiObjects *objects, UiWindow window, const char *text)
{
    UiObjectWindow *w = uiobjects_window(objects, window);
    if (!w) return false;
    w->text = text ? text : "";
    if (objects->backend->text_changed) objects->backend->text_changed(window);
    return true;
}

bool uiobjects_move(UiObjects *objects, UiWindow window, const UiRect &rect, bool repaint)
{
    UiObjectWindow *w = uiobjects_window(objects, window);
    if (!w) return false;
    w->rect = rect;
    if (repaint) w->needs_paint = true;
    if (objects->backend->moved) objects->backend->moved(window);
    return true;
}

UiWindow uiobjects_set_focus(UiObjects *objects, UiWindow window)
{
    UiWindow old = objects->focus;
    if (window == old || (window && !uiobjects_window(objects, window))) return old;
    objects->focus = window;
    if (window) {
        if (objects->backend->focused) objects->backend->focused(window);
        uiobjects_call(objects, window, WM_SETFOCUS, old, 0);
    }
    return old;
}

uintptr_t uiobjects_set_timer(UiObjects *objects, UiWindow window, uintptr_t id, uint32_t period_ms,
                              UiTimerProc proc)
{
    if (!uiobjects_window(objects, window) || period_ms == 0) return 0;
    bool found = false;
    for (UiObjectTimer &t : objects->timers)
        if (t.window == window && t.id == id) {
            t.period_ms = period_ms;
            t.proc = proc;
            found = true;
        }
    if (!found) objects->timers.push_back({window, id, period_ms, proc});
    if (objects->backend->timer_started) objects->backend->timer_started(window, id, period_ms);
    return id;
}

bool uiobjects_kill_timer(UiObjects *objects, UiWindow window, uintptr_t id)
{
    for (size_t i = 0; i < objects->timers.size(); i++)
        if (objects->timers[i].window == window && objects->timers[i].id == id) {
            objects->timers.erase(objects->timers.begin() + static_cast<std::ptrdiff_t>(i));
            if (objects->backend->timer_stopped) objects->backend->timer_stopped(window, id);
            return true;
        }
    return false;
}

void uiobjects_timer_elapsed(UiObjects *objects, UiWindow window, uintptr_t id)
{
    for (const UiMsg &m : objects->posted)
        if (m.window == window && m.message == WM_TIMER && m.wparam == id) return;
    uiobjects_post(objects, window, WM_TIMER, id);
}

intptr_t uiobjects_dispatch(UiObjects *objects, const UiMsg *msg)
{
    const UiObjectWindow *w = uiobjects_window(objects, msg->window);
    if (!w) return 0;
    switch (msg->message) {
    case WM_TIMER:
        for (const UiObjectTimer &t : objects->timers)
            if (t.window == msg->window && t.id == msg->wparam && t.proc) {
                UiTimerProc proc = t.proc;
                proc(msg->window, WM_TIMER, msg->wparam, objects->time);
                return 0;
            }
        break;
    case UIOBJECTS_CLICK: {
        if (!uiobjects_clickable(objects, w)) return 0;
        uiobjects_set_focus(objects, msg->window);
        w = uiobjects_window(objects, msg->window);
        if (!w) return 0;
        return uiobjects_call(objects, w->parent, WM_COMMAND,
                              static_cast<uintptr_t>(static_cast<uint16_t>(w->id)),
                              static_cast<intptr_t>(msg->window));
    }
    case WM_KEYDOWN: {
        // Enter that reaches a dialog outside the dialog manager (only the menu goes through
        // it) goes where Windows puts the focus of a dialog, its first tab stop: an edit control
        // there that does not take Enter itself hands it to the dialog's default button.
        if (msg->wparam != VK_RETURN) break;
        UiWindow dialog = w->is_dialog ? msg->window : w->parent;
        const UiObjectWindow *d = uiobjects_window(objects, dialog);
        const UiObjectWindow *c = uiobjects_window(
            objects, w->is_dialog ? uiobjects_next_tab_stop(objects, dialog, 0) : msg->window);
        if (!d || !d->is_dialog || !c || c->kind != DIALOG_EDIT || (c->style & ES_WANTRETURN))
            break;
        return uiobjects_call(objects, dialog, WM_COMMAND,
                              static_cast<uintptr_t>(uiobjects_default_id(objects, dialog)), 0);
    }
    case UIOBJECTS_ACTIVATE:
        if (top_of(objects, objects->focus) != msg->window)
            uiobjects_set_focus(objects, msg->window);
        return 0;
    case WM_PAINT: {
        intptr_t result = uiobjects_call(objects, msg->window, WM_PAINT, 0, 0);
        if (UiObjectWindow *again = uiobjects_window(objects, msg->window)) {
            again->needs_paint = false;
            if (again->is_dialog) colour_controls(objects, msg->window);
            if (objects->backend->painted && uiobjects_window(objects, msg->window))
                objects->backend->painted(msg->window);
        }
        return result;
    }
    default:
        break;
    }
    return uiobjects_call(objects, msg->window, msg->message, msg->wparam, msg->lparam);
}

bool uiobjects_register_class(UiObjects *objects, const UiWindowClass *window_class)
{
    if (!window_class || !window_class->name || uiobjects_class(objects, window_class->name))
        return false;
    objects->classes.push_back({window_class->name, window_class->proc});
    return true;
}

const UiObjectClass *uiobjects_class(const UiObjects *objects, const char *name)
{
    if (!name) return nullptr;
    for (const UiObjectClass &c : objects->classes)
        if (c.name == name) return &c;
    return nullptr;
}

void uiobjects_init_window(UiObjectWindow *record, const UiObjectClass *window_class,
                           const char *title, uint32_t style, const UiRect &rect, UiWindow owner)
{
    record->alive = true;
    record->owner = owner;
    record->style = style;
    record->text = title ? title : "";
    record->enabled = true;
    record->rect = rect;
    record->proc = window_class->proc;
}

void uiobjects_init_dialog(UiObjectWindow *record, const DialogTemplate *dialog, UiWindow owner,
                           UiProc proc)
{
    record->alive = true;
    record->is_dialog = true;
    record->dialog_template = dialog;
    record->owner = owner;
    record->style = dialog->style;
    record->text = dialog->caption;
    record->enabled = true;
    record->proc = proc;
}

void uiobjects_init_control(UiObjectWindow *record, const DialogControl *control, UiWindow dialog,
                            int32_t bx, int32_t by)
{
    record->alive = true;
    record->parent = dialog;
    record->kind = control->kind;
    record->id = control->id;
    record->style = control->style;
    record->text = control->text;
    record->enabled = true;
    record->visible = (control->style & WS_VISIBLE) != 0;
    int32_t left = control->x * bx / 4, top = control->y * by / 8;
    record->rect = {left, top, left + control->cx * bx / 4, top + control->cy * by / 8};
}

void uiobjects_dialog_created(UiObjects *objects, UiWindow dialog)
{
    const UiObjectWindow *w = uiobjects_window(objects, dialog);
    if (!w) return;
    const DialogTemplate *dialog_template = w->dialog_template;
    uiobjects_call(objects, dialog, WM_INITDIALOG, 0, 0);
    if (uiobjects_window(objects, dialog) && (dialog_template->style & WS_VISIBLE))
        uiobjects_show(objects, dialog, SW_SHOWNORMAL);
}

UiRect uiobjects_frame(uint32_t style, int32_t border, int32_t caption)
{
    if ((style & WS_CAPTION) == WS_CAPTION) return {border, border + caption, border, border};
    if (style & WS_BORDER) return {1, 1, 1, 1};
    return {0, 0, 0, 0};
}

void uiobjects_adjust_rect(UiRect *rect, uint32_t style, bool menu, int32_t border, int32_t caption)
{
    UiRect frame = uiobjects_frame(style, border, caption);
    rect->left -= frame.left;
    rect->top -= frame.top + (menu ? MENU_HEIGHT : 0);
    rect->right += frame.right;
    rect->bottom += frame.bottom;
}

void uiobjects_post(UiObjects *objects, UiWindow window, uint32_t message, uintptr_t wparam,
                    intptr_t lparam)
{
    objects->posted.push_back({window, message, wparam, lparam});
}

void uiobjects_post_quit(UiObjects *objects, int32_t exit_code)
{
    objects->quit = true;
    objects->quit_code = exit_code;
}

int32_t uiobjects_take_message(UiObjects *objects, UiMsg *msg)
{
    if (!objects->posted.empty()) {
        *msg = objects->posted.front();
        objects->posted.pop_front();
        return 1;
    }
    if (objects->quit) {
        objects->quit = false;
        *msg = {0, WM_QUIT, static_cast<uintptr_t>(objects->quit_code), 0};
        return 0;
    }
    for (UiWindow window = 1; const UiObjectWindow *w = uiobjects_record(objects, window); window++)
        if (w->alive && w->visible && w->needs_paint && w->parent == 0 &&
            w->rect.right > w->rect.left && w->rect.bottom > w->rect.top) {
            *msg = {window, WM_PAINT, 0, 0};
            return 1;
        }
    return -1;
}

UiPalette uiobjects_create_palette(UiObjects *objects, const UiPaletteEntry *entries, int32_t count)
{
    if (count <= 0 || count > 256) return 0;
    UiObjectPalette p{true, std::vector<UiPaletteEntry>(entries, entries + count)};
    objects->palettes.push_back(std::move(p));
    return objects->palettes.size();
}

bool uiobjects_delete_palette(UiObjects *objects, UiPalette palette)
{
    return release(&objects->palettes, palette);
}

UiBitmap uiobjects_create_bitmap(UiObjects *objects, UiWindow window, UiPalette palette,
                                 const uint8_t *info_header, uint8_t **bits)
{
    *bits = nullptr;
    if (!uiobjects_window(objects, window) || palette == 0 || palette > objects->palettes.size())
        return 0;
    int32_t width, height;
    std::memcpy(&width, info_header + 4, 4);
    std::memcpy(&height, info_header + 8, 4);
    if (width <= 0 || height <= 0) return 0;
    size_t stride = (static_cast<size_t>(width) + 3) & ~size_t{3};
    if (stride > BITMAP_LIMIT / static_cast<size_t>(height)) return 0;
    UiObjectBitmap b{true, width, height, static_cast<int32_t>(stride),
                     std::vector<uint8_t>(stride * static_cast<size_t>(height))};
    objects->bitmaps.push_back(std::move(b));
    *bits = objects->bitmaps.back().bits.data();
    return objects->bitmaps.size();
}

bool uiobjects_delete_bitmap(UiObjects *objects, UiBitmap bitmap)
{
    return release(&objects->bitmaps, bitmap);
}

bool uiobjects_paint_bitmap(const UiObjects *objects, UiPalette palette, UiBitmap bitmap, int32_t x,
                            int32_t y, int32_t width, int32_t height, const UiObjectCanvas *canvas)
{
    const UiObjectPalette *live_palette = live(objects->palettes, palette);
    const UiObjectBitmap *live_bitmap = live(objects->bitmaps, bitmap);
    if (!live_palette || !live_bitmap) return false;
    const UiObjectPalette &p = *live_palette;
    const UiObjectBitmap &b = *live_bitmap;
    int32_t rows = height < b.height ? height : b.height;
    int32_t cols = width < b.width ? width : b.width;
    for (int32_t row = 0; row < rows; row++) {
        int32_t ty = y + row;
        if (ty < 0 || ty >= canvas->height) continue;
        const uint8_t *src =
            b.bits.data() + static_cast<size_t>(b.height - 1 - row) * static_cast<size_t>(b.stride);
        uint32_t *line = canvas->pixels + static_cast<size_t>(ty) * canvas->stride;
        for (int32_t col = 0; col < cols; col++) {
            int32_t tx = x + col;
            if (tx < 0 || tx >= canvas->width) continue;
            uint32_t colour = 0;
            if (src[col] < p.entries.size()) {
                const UiPaletteEntry &e = p.entries[src[col]];
                colour = static_cast<uint32_t>(e.red) << 16 | static_cast<uint32_t>(e.green) << 8 |
                         e.blue;
            }
            line[tx] = canvas->alpha | colour;
        }
    }
    return true;
}

void uiobjects_base_units(const DialogTemplate *dialog, int32_t *x, int32_t *y)
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
