// What the menu's window services do the same way on every backend, kept apart from any toolkit:
// the common part of a window record and the rules over the table of them (live handles, dialog
// procedures, buttons, tab order, dialog keys), the focus, posted messages and the quit request,
// dialog units, the frame a style adds, and the palettes and 8-bit bitmaps with their painting.
// A backend keeps one UiObjects and its own window records, each a UiObjectWindow with the
// backend's additions, and answers the functions of platform/ui.h through these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/ui.h"

// A click delivered to a button, which notifies its dialog as the original's button did.
constexpr uint32_t UIOBJECTS_CLICK = 0x8001;

struct UiObjectWindow {
    bool alive;
    bool is_dialog;
    const DialogTemplate *dialog_template; // dialogs only
    UiWindow owner;                        // top-level windows
    UiWindow parent;                       // controls
    DialogControlKind kind;                // controls
    int32_t id;                            // controls
    uint32_t style;
    std::string text; // code page 1252 bytes as set
    bool enabled;
    bool visible;
    UiRect rect;   // screen for top-level windows, the dialog's client area for controls
    bool coloured; // the parent answered WM_CTLCOLOR* for this control
    uint32_t bk_colour;
    UiProc proc;
    bool needs_paint;
};

struct UiObjectPalette {
    bool alive;
    std::vector<UiPaletteEntry> entries;
};

struct UiObjectBitmap {
    bool alive;
    int32_t width, height, stride;
    std::vector<uint8_t> bits; // rows bottom-up
};

struct UiObjects {
    // The backend's window records: handle = index + 1, never reused. Answers the record of any
    // handle ever made, alive or not, and null past the last one.
    UiObjectWindow *(*window_at)(UiWindow window);
    UiWindow focus = 0;
    std::deque<UiMsg> posted{};
    bool quit = false;
    int32_t quit_code = 0;
    std::vector<UiObjectPalette> palettes{};
    std::vector<UiObjectBitmap> bitmaps{};
};

// Where a bitmap is painted: 0x00RRGGBB pixels with `alpha` added (what the backend's pixel
// format wants in the top byte), rows top to bottom, `stride` pixels apart.
struct UiObjectCanvas {
    uint32_t *pixels;
    int32_t width, height;
    size_t stride;
    uint32_t alpha;
};

// Windows: a live record or null; a window procedure's answer (a dialog that leaves WM_CLOSE
// unanswered gets IDCANCEL, as the original's dialog manager sent it).
// The state record of the backend the program is linked with; each backend defines it.
UiObjects *uiobjects_current();

UiObjectWindow *uiobjects_window(const UiObjects *objects, UiWindow window);
intptr_t uiobjects_call(const UiObjects *objects, UiWindow window, uint32_t message,
                        uintptr_t wparam, intptr_t lparam);
// A control takes clicks while it and its dialog are shown and enabled.
bool uiobjects_clickable(const UiObjects *objects, const UiObjectWindow *control);
// The button Enter presses: the focused button, else the default push button, else IDOK.
int32_t uiobjects_default_id(const UiObjects *objects, UiWindow dialog);
UiWindow uiobjects_next_tab_stop(const UiObjects *objects, UiWindow dialog, UiWindow from);
UiWindow uiobjects_dlg_item(const UiObjects *objects, UiWindow dialog, int32_t id);
bool uiobjects_window_rect(const UiObjects *objects, UiWindow window, UiRect *rect);
uint32_t uiobjects_set_bk_colour(UiObjects *objects, UiDc dc, uint32_t colour);
// The keyboard of a modeless dialog (Enter, Escape, Tab, Space); everything else of the dialog
// goes to ui_dispatch_message. False for messages of other windows.
bool uiobjects_dialog_message(UiObjects *objects, UiWindow dialog, UiMsg *msg);

// The common part of a new dialog's record and of one of its controls' (dialog base units bx,
// by); the rectangle of the dialog itself depends on the backend's frame.
void uiobjects_init_dialog(UiObjectWindow *record, const DialogTemplate *dialog, UiWindow owner,
                           UiProc proc);
void uiobjects_init_control(UiObjectWindow *record, const DialogControl *control, UiWindow dialog,
                            int32_t bx, int32_t by);

// The frame around the client area: each side's thickness in the rectangle's fields.
UiRect uiobjects_frame(uint32_t style, int32_t border, int32_t caption);
void uiobjects_adjust_rect(UiRect *rect, uint32_t style, bool menu, int32_t border,
                           int32_t caption);

// Messages: posted ones first, then the quit request. Answers 1 with a posted message, 0 with
// WM_QUIT, -1 when there is neither.
void uiobjects_post(UiObjects *objects, UiWindow window, uint32_t message, uintptr_t wparam = 0,
                    intptr_t lparam = 0);
void uiobjects_post_quit(UiObjects *objects, int32_t exit_code);
int32_t uiobjects_take_message(UiObjects *objects, UiMsg *msg);

// Palettes and bitmaps as ui.h describes them; a bitmap is made for a live window.
UiPalette uiobjects_create_palette(UiObjects *objects, const UiPaletteEntry *entries,
                                   int32_t count);
bool uiobjects_delete_palette(UiObjects *objects, UiPalette palette);
UiBitmap uiobjects_create_bitmap(UiObjects *objects, UiWindow window, UiPalette palette,
                                 const uint8_t *info_header, uint8_t **bits);
bool uiobjects_delete_bitmap(UiObjects *objects, UiBitmap bitmap);
bool uiobjects_paint_bitmap(const UiObjects *objects, UiPalette palette, UiBitmap bitmap, int32_t x,
                            int32_t y, int32_t width, int32_t height, const UiObjectCanvas *canvas);
