// The window services whose whole work is the logic every backend shares: defined once here,
// over the state record of the backend the program is linked with.
#include "platform/ui_objects.h"

intptr_t ui_default_window_proc(UiWindow window, uint32_t message, uintptr_t /*wparam*/,
                                intptr_t /*lparam*/)
{
    if (message == WM_CLOSE) ui_destroy_window(window);
    return 0;
}

UiWindow ui_get_dlg_item(UiWindow dialog, int32_t id)
{
    return uiobjects_dlg_item(uiobjects_current(), dialog, id);
}

bool ui_set_dlg_item_text(UiWindow dialog, int32_t id, const char *text)
{
    return ui_set_window_text(ui_get_dlg_item(dialog, id), text);
}

bool ui_get_window_rect(UiWindow window, UiRect *rect)
{
    return uiobjects_window_rect(uiobjects_current(), window, rect);
}

intptr_t ui_send_message(UiWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    return uiobjects_call(uiobjects_current(), window, message, wparam, lparam);
}

bool ui_is_dialog_message(UiWindow dialog, UiMsg *msg)
{
    return uiobjects_dialog_message(uiobjects_current(), dialog, msg);
}

void ui_post_quit_message(int32_t exit_code)
{
    uiobjects_post_quit(uiobjects_current(), exit_code);
}

uint32_t ui_set_bk_color(UiDc dc, uint32_t colour)
{
    return uiobjects_set_bk_colour(uiobjects_current(), dc, colour);
}

UiBrush ui_stock_black_brush()
{
    return 1;
}

UiPalette ui_create_palette(const UiPaletteEntry *entries, int32_t count)
{
    return uiobjects_create_palette(uiobjects_current(), entries, count);
}

bool ui_delete_palette(UiPalette palette)
{
    return uiobjects_delete_palette(uiobjects_current(), palette);
}

UiBitmap ui_create_dib_section(UiWindow window, UiPalette palette, const uint8_t *info_header,
                               uint8_t **bits)
{
    return uiobjects_create_bitmap(uiobjects_current(), window, palette, info_header, bits);
}

bool ui_delete_bitmap(UiBitmap bitmap)
{
    return uiobjects_delete_bitmap(uiobjects_current(), bitmap);
}
