// The window services whose whole work is the logic every backend shares: defined once here,
// over the state record that the running backend handed over.
#include "platform/ui_objects.h"

namespace
{

// Before a backend has handed its record over there are no windows: every call fails.
UiObjects *objects()
{
    return uiobjects_current();
}

} // namespace

intptr_t ui_default_window_proc(UiWindow window, uint32_t message, uintptr_t /*wparam*/,
                                intptr_t /*lparam*/)
{
    if (message == WM_CLOSE) ui_destroy_window(window);
    return 0;
}

bool ui_register_class(const UiWindowClass *window_class)
{
    return objects() && uiobjects_register_class(objects(), window_class);
}

bool ui_destroy_window(UiWindow window)
{
    return objects() && uiobjects_destroy(objects(), window);
}

bool ui_is_window(UiWindow window)
{
    return objects() && uiobjects_window(objects(), window) != nullptr;
}

bool ui_show_window(UiWindow window, int32_t command)
{
    return objects() && uiobjects_show(objects(), window, command);
}

bool ui_set_window_text(UiWindow window, const char *text)
{
    return objects() && uiobjects_set_text(objects(), window, text);
}

UiWindow ui_get_dlg_item(UiWindow dialog, int32_t id)
{
    return objects() ? uiobjects_dlg_item(objects(), dialog, id) : 0;
}

bool ui_set_dlg_item_text(UiWindow dialog, int32_t id, const char *text)
{
    return ui_set_window_text(ui_get_dlg_item(dialog, id), text);
}

bool ui_enable_window(UiWindow window, bool enable)
{
    return objects() && uiobjects_enable(objects(), window, enable);
}

bool ui_move_window(UiWindow window, int32_t x, int32_t y, int32_t width, int32_t height,
                    bool repaint)
{
    return objects() && uiobjects_move(objects(), window, {x, y, x + width, y + height}, repaint);
}

bool ui_get_window_rect(UiWindow window, UiRect *rect)
{
    return objects() && uiobjects_window_rect(objects(), window, rect);
}

UiWindow ui_set_focus(UiWindow window)
{
    return objects() ? uiobjects_set_focus(objects(), window) : 0;
}

intptr_t ui_send_message(UiWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    return objects() ? uiobjects_call(objects(), window, message, wparam, lparam) : 0;
}

uintptr_t ui_set_timer(UiWindow window, uintptr_t id, uint32_t period_ms, UiTimerProc proc)
{
    return objects() ? uiobjects_set_timer(objects(), window, id, period_ms, proc) : 0;
}

bool ui_kill_timer(UiWindow window, uintptr_t id)
{
    return objects() && uiobjects_kill_timer(objects(), window, id);
}

bool ui_is_dialog_message(UiWindow dialog, UiMsg *msg)
{
    return objects() && uiobjects_dialog_message(objects(), dialog, msg);
}

void ui_translate_message(const UiMsg * /*msg*/) {}

intptr_t ui_dispatch_message(const UiMsg *msg)
{
    return objects() ? uiobjects_dispatch(objects(), msg) : 0;
}

void ui_post_quit_message(int32_t exit_code)
{
    if (objects()) uiobjects_post_quit(objects(), exit_code);
}

uint32_t ui_set_bk_color(UiDc dc, uint32_t colour)
{
    return objects() ? uiobjects_set_bk_colour(objects(), dc, colour) : 0xFFFFFFFFu;
}

UiBrush ui_stock_black_brush()
{
    return 1;
}

UiPalette ui_create_palette(const UiPaletteEntry *entries, int32_t count)
{
    return objects() ? uiobjects_create_palette(objects(), entries, count) : 0;
}

bool ui_delete_palette(UiPalette palette)
{
    return objects() && uiobjects_delete_palette(objects(), palette);
}

UiBitmap ui_create_dib_section(UiWindow window, UiPalette palette, const uint8_t *info_header,
                               uint8_t **bits)
{
    if (!objects()) {
        *bits = nullptr;
        return 0;
    }
    return uiobjects_create_bitmap(objects(), window, palette, info_header, bits);
}

bool ui_delete_bitmap(UiBitmap bitmap)
{
    return objects() && uiobjects_delete_bitmap(objects(), bitmap);
}
