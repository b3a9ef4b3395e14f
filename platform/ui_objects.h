// What the menu's window services do the same way on every backend, kept apart from any toolkit:
// the window records and the rules over them (live handles, destroying, showing, enabling, the
// focus, dialog procedures, buttons, tab order, dialog keys), classes, timers, posted messages
// and the quit request, dispatching, dialog units, the frame a style adds, and the palettes and
// 8-bit bitmaps with their painting. A backend keeps one UiObjects and its own window records,
// each a UiObjectWindow with the backend's additions, hands the UiObjects over with
// uiobjects_use, and is told of each change through its UiBackend table; the functions of
// platform/ui.h that are only this logic are defined once, over the UiObjects handed over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui.h"

// A click delivered to a button, which notifies its dialog as the original's button did.
constexpr uint32_t UIOBJECTS_CLICK = 0x8001;
// The window system made this top-level window the active one: it takes the focus unless the
// focus is in it already, as an activated window did on the original.
constexpr uint32_t UIOBJECTS_ACTIVATE = 0x8002;

struct UiObjectWindow {
    // A backend's record adds its own fields; the table below owns the records.
    virtual ~UiObjectWindow() = default;
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
    UiBrush brush; // the parent's answer to WM_CTLCOLOR*
    UiProc proc;
    bool needs_paint;
};

struct UiObjectClass {
    std::string name;
    UiProc proc;
};

struct UiObjectTimer {
    UiWindow window;
    uintptr_t id;
    uint32_t period_ms;
    UiTimerProc proc;
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

// What a backend does on its own window system when the shared logic has changed a record; an
// entry left null means the backend has nothing to do then.
struct UiBackend {
    // The record's visible, enabled, text or rect changed.
    void (*show)(UiWindow window, bool visible);
    void (*enable)(UiWindow window, bool enable);
    void (*text_changed)(UiWindow window);
    void (*moved)(UiWindow window);
    // The window and its controls are dead (their records say so): release what the backend
    // made for them.
    void (*destroyed)(UiWindow window);
    // The focus moved to this window: its top-level window comes forward.
    void (*focused)(UiWindow window);
    // A timer starts, or starts again with a new period; a timer stops. The backend posts
    // through uiobjects_timer_elapsed, or dispatches WM_TIMER itself while a box has the loop.
    void (*timer_started)(UiWindow window, uintptr_t id, uint32_t period_ms);
    void (*timer_stopped)(UiWindow window, uintptr_t id);
    // The dialog answered WM_CTLCOLOR* for the control (the record has brush and colour);
    // changed when its colour differs from the last answer's.
    void (*coloured)(UiWindow control, bool changed);
    // The window has handled WM_PAINT: the backend shows what was painted.
    void (*painted)(UiWindow window);
};

struct UiObjects {
    const UiBackend *backend;
    // Every window record ever made, alive or not, each the backend's own kind of record:
    // handle = index + 1, never reused.
    std::vector<std::unique_ptr<UiObjectWindow>> windows{};
    UiWindow focus = 0;
    std::deque<UiMsg> posted{};
    bool quit = false;
    int32_t quit_code = 0;
    // What a timer procedure receives as the time, in milliseconds.
    uint32_t time = 0;
    std::vector<UiObjectClass> classes{};
    std::vector<UiObjectTimer> timers{};
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

// The state record that the window services of platform/ui.h work on: a backend hands over
// its own at start-up (and again after it reset it). Null before that.
void uiobjects_use(UiObjects *objects);
UiObjects *uiobjects_current();

// A new record joins the table; its handle.
UiWindow uiobjects_add_window(UiObjects *objects, std::unique_ptr<UiObjectWindow> record);
// The record of any handle ever made, alive or not; null past the last one.
UiObjectWindow *uiobjects_record(const UiObjects *objects, UiWindow window);

// Windows: a live record or null; a window procedure's answer (a dialog that leaves WM_CLOSE
// unanswered gets IDCANCEL, as the original's dialog manager sent it).
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
// is dispatched. False for messages of other windows.
bool uiobjects_dialog_message(UiObjects *objects, UiWindow dialog, UiMsg *msg);

// Window services as platform/ui.h describes them, over the records and the backend's table.
// Destroying a top-level window destroys the windows it owns first; the focus, when it was in
// the window, goes back to its owner if that is shown. Hiding a window, or disabling it, takes
// the focus from it and its controls, and gives it to no other window: a disabled control
// loses the keyboard focus as on the original, where the dialog manager did not move it on
// (the program has to do that itself) and the focus came back when the window was activated.
bool uiobjects_destroy(UiObjects *objects, UiWindow window);
bool uiobjects_show(UiObjects *objects, UiWindow window, int32_t command);
bool uiobjects_enable(UiObjects *objects, UiWindow window, bool enable);
bool uiobjects_set_text(UiObjects *objects, UiWindow window, const char *text);
bool uiobjects_move(UiObjects *objects, UiWindow window, const UiRect &rect, bool repaint);
UiWindow uiobjects_set_focus(UiObjects *objects, UiWindow window);
// Timers: procedures are called when their WM_TIMER is dispatched, with objects->time.
uintptr_t uiobjects_set_timer(UiObjects *objects, UiWindow window, uintptr_t id, uint32_t period_ms,
                              UiTimerProc proc);
bool uiobjects_kill_timer(UiObjects *objects, UiWindow window, uintptr_t id);
// A timer's period has passed: WM_TIMER is posted unless one waits already, as the original's
// timer message was made once for any number of periods.
void uiobjects_timer_elapsed(UiObjects *objects, UiWindow window, uintptr_t id);
// A message to its window: timers, clicks, activation and painting as the original's window
// system did them, everything else to the window procedure.
intptr_t uiobjects_dispatch(UiObjects *objects, const UiMsg *msg);

// Window classes by name; null for a name never registered.
bool uiobjects_register_class(UiObjects *objects, const UiWindowClass *window_class);
const UiObjectClass *uiobjects_class(const UiObjects *objects, const char *name);

// The common part of a new record: a window made from a class, a dialog, one of its controls
// (dialog base units bx, by). The rectangle of a dialog depends on the backend's frame.
void uiobjects_init_window(UiObjectWindow *record, const UiObjectClass *window_class,
                           const char *title, uint32_t style, const UiRect &rect, UiWindow owner);
void uiobjects_init_dialog(UiObjectWindow *record, const DialogTemplate *dialog, UiWindow owner,
                           UiProc proc);
void uiobjects_init_control(UiObjectWindow *record, const DialogControl *control, UiWindow dialog,
                            int32_t bx, int32_t by);

// A new dialog and its controls have their records: WM_INITDIALOG, then shown when the template
// says so.
void uiobjects_dialog_created(UiObjects *objects, UiWindow dialog);

// Dialog base units per template font, as the menu's fonts measured on the original desktop: the
// backends that draw their own dialogs lay them out so, whatever fonts the machine has.
void uiobjects_base_units(const DialogTemplate *dialog, int32_t *x, int32_t *y);
// The frame of a captioned window on the original desktop: border and caption height.
constexpr int32_t UIOBJECTS_FRAME_BORDER = 3;
constexpr int32_t UIOBJECTS_FRAME_CAPTION = 19;

// The frame around the client area: each side's thickness in the rectangle's fields.
UiRect uiobjects_frame(uint32_t style, int32_t border, int32_t caption);
void uiobjects_adjust_rect(UiRect *rect, uint32_t style, bool menu, int32_t border,
                           int32_t caption);

// Messages: posted ones first, then the quit request, then WM_PAINT for a shown top-level window
// that needs painting (one with an empty rectangle has nothing to paint). Answers 1 with a
// message, 0 with WM_QUIT, -1 when there is none: the backend waits for input then.
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
