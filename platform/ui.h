// Windows, dialogs, controls, message boxes, the timer, the message loop and palette pictures,
// as the menu program expects them of its operating system. Messages, styles and results keep
// the numbers and shapes of the original platform, so window procedures read like their tables.
// Every text is single-byte code page 1252; a backend converts for display.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/messages.h"

// Handles are plain numbers; 0 is the null handle of each kind.
typedef uintptr_t UiWindow;
typedef uintptr_t UiDc;
typedef uintptr_t UiPalette;
typedef uintptr_t UiBitmap;
typedef uintptr_t UiBrush;

typedef intptr_t (*UiProc)(UiWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam);
typedef void (*UiTimerProc)(UiWindow window, uint32_t message, uintptr_t id, uint32_t time);

struct UiRect {
    int32_t left, top, right, bottom;
};

struct UiMsg {
    UiWindow window;
    uint32_t message;
    uintptr_t wparam;
    intptr_t lparam;
};

struct UiWindowClass {
    const char *name;
    uint32_t style;
    UiProc proc;
    UiBrush background;
};

// A control of a dialog template. Positions and sizes are in dialog units of the template's font.
enum DialogControlKind : int32_t {
    DIALOG_BUTTON,
    DIALOG_STATIC,
    DIALOG_EDIT,
    DIALOG_ICON,
};

struct DialogControl {
    DialogControlKind kind;
    int32_t id;
    const char *text;
    uint32_t style;
    uint32_t exstyle;
    int32_t x, y, cx, cy;
};

struct DialogTemplate {
    const char *name;
    uint32_t style;
    int32_t x, y, cx, cy;
    const char *caption;
    const char *font;
    int32_t point_size;
    const DialogControl *controls;
    int32_t control_count;
};

// One image of an icon: colour_count RGB triples, width x height colour indices (rows top to
// bottom) and as many transparency bytes (1 = transparent).
struct UiIconImage {
    int32_t width, height, colour_count;
    const uint8_t *palette;
    const uint8_t *pixels;
    const uint8_t *transparent;
};

struct UiPaletteEntry {
    uint8_t red, green, blue, flags;
};

constexpr uint32_t WS_POPUP = 0x80000000u;
constexpr uint32_t WS_VISIBLE = 0x10000000u;
constexpr uint32_t WS_CAPTION = 0x00C00000u;
constexpr uint32_t WS_BORDER = 0x00800000u;
constexpr uint32_t WS_VSCROLL = 0x00200000u;
constexpr uint32_t WS_SYSMENU = 0x00080000u;
constexpr uint32_t WS_TABSTOP = 0x00010000u;
constexpr uint32_t WS_EX_CLIENTEDGE = 0x00000200u;
constexpr uint32_t DS_MODALFRAME = 0x80u;
constexpr uint32_t BS_PUSHBUTTON = 0x0u;
constexpr uint32_t BS_DEFPUSHBUTTON = 0x1u;
constexpr uint32_t ES_MULTILINE = 0x4u;
constexpr uint32_t ES_READONLY = 0x800u;
constexpr uint32_t ES_WANTRETURN = 0x1000u;
constexpr uint32_t SS_ICON = 0x3u;
constexpr uint32_t CS_VREDRAW = 0x1u;
constexpr uint32_t CS_HREDRAW = 0x2u;
constexpr uint32_t CS_OWNDC = 0x20u;

constexpr int32_t SW_HIDE = 0;
constexpr int32_t SW_SHOWNORMAL = 1;
constexpr int32_t SW_SHOW = 5;

constexpr uint32_t VK_TAB = 0x09;
constexpr uint32_t VK_RETURN = 0x0D;
constexpr uint32_t VK_ESCAPE = 0x1B;
constexpr uint32_t VK_SPACE = 0x20;
constexpr uint32_t VK_F1 = 0x70;

// Windows colour reference: 0x00BBGGRR.
constexpr uint32_t ui_rgb(uint32_t r, uint32_t g, uint32_t b)
{
    return r | (g << 8) | (b << 16);
}

// Icons: registered under their resource number, named by icon controls ("158") and used as the
// windows' icon.
bool ui_register_icon(int32_t id, const UiIconImage *images, int32_t count);

// Classes and windows
bool ui_register_class(const UiWindowClass *window_class);
UiWindow ui_create_window(const char *class_name, const char *title, uint32_t style, int32_t x,
                          int32_t y, int32_t width, int32_t height, UiWindow parent);
intptr_t ui_default_window_proc(UiWindow window, uint32_t message, uintptr_t wparam,
                                intptr_t lparam);
// A modeless dialog: a dialog procedure answers nonzero for what it handled.
UiWindow ui_create_dialog(const DialogTemplate *dialog, UiWindow owner, UiProc proc);
bool ui_destroy_window(UiWindow window);
bool ui_is_window(UiWindow window);
bool ui_show_window(UiWindow window, int32_t command);
bool ui_set_window_text(UiWindow window, const char *text);
UiWindow ui_get_dlg_item(UiWindow dialog, int32_t id);
bool ui_set_dlg_item_text(UiWindow dialog, int32_t id, const char *text);
bool ui_enable_window(UiWindow window, bool enable);
bool ui_move_window(UiWindow window, int32_t x, int32_t y, int32_t width, int32_t height,
                    bool repaint);
// Top-level windows: screen coordinates; controls: their dialog's client coordinates.
bool ui_get_window_rect(UiWindow window, UiRect *rect);
UiWindow ui_set_focus(UiWindow window);
intptr_t ui_send_message(UiWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam);
void ui_set_arrow_cursor();

// The desktop and the frame a window style adds around its client area.
bool ui_desktop_rect(UiRect *rect);
bool ui_adjust_window_rect(UiRect *rect, uint32_t style, bool menu);

// Message boxes answer IDOK, IDYES or IDNO; owner may be 0.
int32_t ui_message_box(UiWindow owner, const char *text, const char *caption, uint32_t type);

// Timer: proc is called from the message loop (and from a message box's loop) every period.
uintptr_t ui_set_timer(UiWindow window, uintptr_t id, uint32_t period_ms, UiTimerProc proc);
bool ui_kill_timer(UiWindow window, uintptr_t id);

// Message loop. ui_get_message answers 0 for WM_QUIT (its wparam in msg->wparam).
int32_t ui_get_message(UiMsg *msg);
bool ui_is_dialog_message(UiWindow dialog, UiMsg *msg);
void ui_translate_message(const UiMsg *msg);
intptr_t ui_dispatch_message(const UiMsg *msg);
void ui_post_quit_message(int32_t exit_code);

// Painting
UiDc ui_begin_paint(UiWindow window);
void ui_end_paint(UiWindow window, UiDc dc);
uint32_t ui_set_bk_color(UiDc dc, uint32_t colour);
UiBrush ui_stock_black_brush();

// A logical palette, a bitmap of 8-bit palette indices made with a window's device context and
// the palette, and its transfer to a point of a device context (unscaled, palette selected and
// realized for the transfer). The bitmap info header is the 40-byte BMP one; its width and
// height give the size, rows bottom-up, each padded to a multiple of 4 bytes. *bits receives
// the bitmap's pixel memory, (width + 3 & ~3) * height bytes, for the caller to fill.
UiPalette ui_create_palette(const UiPaletteEntry *entries, int32_t count);
bool ui_delete_palette(UiPalette palette);
UiBitmap ui_create_dib_section(UiWindow window, UiPalette palette, const uint8_t *info_header,
                               uint8_t **bits);
bool ui_delete_bitmap(UiBitmap bitmap);
bool ui_paint_bitmap(UiDc dc, UiPalette palette, UiBitmap bitmap, int32_t x, int32_t y,
                     int32_t width, int32_t height);
