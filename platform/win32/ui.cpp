// The menu's windows over USER32 and GDI: window classes, dialogs built in memory from the
// templates, controls, message boxes, the timer, the message loop and the palette picture.
// Windows are Unicode windows; the menu's single-byte texts are code page 1252 on the way in.
#include "platform/win32/win32.h"

#include "platform/ui.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace
{

// Class name -> the procedure of its windows; a window finds its own in its extra bytes.
std::map<std::wstring, UiProc> class_procs;
// (window, timer id) -> the timer's procedure.
std::map<std::pair<HWND, UINT_PTR>, UiTimerProc> timer_procs;
// The painting under way per window, from ui_begin_paint to ui_end_paint.
std::map<HWND, PAINTSTRUCT> paints;
// Icons registered under their resource numbers.
std::map<int32_t, HICON> icons;

HWND hwnd_of(UiWindow window)
{
    return reinterpret_cast<HWND>(window);
}

UiWindow window_of(HWND hwnd)
{
    return reinterpret_cast<UiWindow>(hwnd);
}

LRESULT CALLBACK window_thunk(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_NCCREATE) {
        auto *create = reinterpret_cast<CREATESTRUCTW *>(lparam);
        SetWindowLongPtrW(hwnd, 0, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto proc = reinterpret_cast<UiProc>(GetWindowLongPtrW(hwnd, 0));
    if (!proc) return DefWindowProcW(hwnd, message, wparam, lparam);
    return proc(window_of(hwnd), message, wparam, lparam);
}

INT_PTR CALLBACK dialog_thunk(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_INITDIALOG) SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
    auto proc = reinterpret_cast<UiProc>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!proc) return FALSE;
    return proc(window_of(hwnd), message, wparam, lparam);
}

VOID CALLBACK timer_thunk(HWND hwnd, UINT message, UINT_PTR id, DWORD time)
{
    auto found = timer_procs.find({hwnd, id});
    if (found != timer_procs.end()) found->second(window_of(hwnd), message, id, time);
}

// A dialog template in memory, as the resource compiler lays it out: the header with its font,
// then each control aligned to four bytes.
void put_word(std::vector<uint8_t> *out, uint16_t value)
{
    out->push_back(static_cast<uint8_t>(value));
    out->push_back(static_cast<uint8_t>(value >> 8));
}

void put_dword(std::vector<uint8_t> *out, uint32_t value)
{
    put_word(out, static_cast<uint16_t>(value));
    put_word(out, static_cast<uint16_t>(value >> 16));
}

void put_text(std::vector<uint8_t> *out, const char *value)
{
    for (wchar_t c : win32_wide(value ? value : ""))
        put_word(out, static_cast<uint16_t>(c));
    put_word(out, 0);
}

void put_align(std::vector<uint8_t> *out)
{
    while (out->size() % 4)
        out->push_back(0);
}

uint16_t control_class(DialogControlKind kind)
{
    switch (kind) {
    case DIALOG_BUTTON:
        return 0x0080;
    case DIALOG_EDIT:
        return 0x0081;
    default:
        return 0x0082; // static, icons included
    }
}

std::vector<uint8_t> build_template(const DialogTemplate *dialog)
{
    std::vector<uint8_t> out;
    put_dword(&out, dialog->style | DS_SETFONT);
    put_dword(&out, 0); // extended style
    put_word(&out, static_cast<uint16_t>(dialog->control_count));
    put_word(&out, static_cast<uint16_t>(dialog->x));
    put_word(&out, static_cast<uint16_t>(dialog->y));
    put_word(&out, static_cast<uint16_t>(dialog->cx));
    put_word(&out, static_cast<uint16_t>(dialog->cy));
    put_word(&out, 0); // no menu
    put_word(&out, 0); // the dialog class
    put_text(&out, dialog->caption);
    put_word(&out, static_cast<uint16_t>(dialog->point_size));
    put_text(&out, dialog->font ? dialog->font : "System");
    for (int32_t i = 0; i < dialog->control_count; i++) {
        const DialogControl &control = dialog->controls[i];
        put_align(&out);
        put_dword(&out, control.style | WS_CHILD);
        put_dword(&out, control.exstyle);
        put_word(&out, static_cast<uint16_t>(control.x));
        put_word(&out, static_cast<uint16_t>(control.y));
        put_word(&out, static_cast<uint16_t>(control.cx));
        put_word(&out, static_cast<uint16_t>(control.cy));
        put_word(&out, static_cast<uint16_t>(control.id));
        put_word(&out, 0xFFFF);
        put_word(&out, control_class(control.kind));
        if (control.kind == DIALOG_ICON) {
            // An icon control names its icon by resource number, which the dialog manager loads
            // from the program's own resources.
            put_word(&out, 0xFFFF);
            put_word(&out, static_cast<uint16_t>(std::atoi(control.text ? control.text : "0")));
        } else {
            put_text(&out, control.text);
        }
        put_word(&out, 0); // no creation data
    }
    return out;
}

} // namespace

bool ui_register_icon(int32_t id, const UiIconImage * /*images*/, int32_t /*count*/)
{
    // The icon group is in the program's resources under the same number; the images given
    // here are what the other backends draw it from.
    HICON icon = static_cast<HICON>(LoadImageW(win32_instance(), MAKEINTRESOURCEW(id), IMAGE_ICON,
                                               0, 0, LR_DEFAULTSIZE | LR_SHARED));
    if (!icon) return false;
    icons[id] = icon;
    return true;
}

bool ui_register_class(const UiWindowClass *window_class)
{
    std::wstring name = win32_wide(window_class->name);
    WNDCLASSW system = {};
    system.style = window_class->style;
    system.lpfnWndProc = window_thunk;
    system.cbWndExtra = sizeof(LONG_PTR);
    system.hInstance = win32_instance();
    auto icon = icons.find(158);
    system.hIcon = icon != icons.end() ? icon->second : nullptr;
    system.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // the arrow
    system.hbrBackground = reinterpret_cast<HBRUSH>(window_class->background);
    system.lpszClassName = name.c_str();
    if (!RegisterClassW(&system)) return false;
    class_procs[name] = window_class->proc;
    return true;
}

UiWindow ui_create_window(const char *class_name, const char *title, uint32_t style, int32_t x,
                          int32_t y, int32_t width, int32_t height, UiWindow parent)
{
    std::wstring name = win32_wide(class_name);
    auto found = class_procs.find(name);
    if (found == class_procs.end()) return 0;
    std::wstring caption = win32_wide(title);
    HWND hwnd = CreateWindowExW(0, name.c_str(), caption.c_str(), style, x, y, width, height,
                                hwnd_of(parent), nullptr, win32_instance(),
                                reinterpret_cast<void *>(found->second));
    return window_of(hwnd);
}

intptr_t ui_default_window_proc(UiWindow window, uint32_t message, uintptr_t wparam,
                                intptr_t lparam)
{
    return DefWindowProcW(hwnd_of(window), message, wparam, lparam);
}

UiWindow ui_create_dialog(const DialogTemplate *dialog, UiWindow owner, UiProc proc)
{
    std::vector<uint8_t> bytes = build_template(dialog);
    // The template is copied by the dialog manager; ours may go when this returns.
    HWND hwnd = CreateDialogIndirectParamW(
        win32_instance(), reinterpret_cast<const DLGTEMPLATE *>(bytes.data()), hwnd_of(owner),
        dialog_thunk, reinterpret_cast<LPARAM>(proc));
    if (hwnd) {
        auto icon = icons.find(158);
        if (icon != icons.end())
            SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon->second));
    }
    return window_of(hwnd);
}

bool ui_destroy_window(UiWindow window)
{
    for (auto it = timer_procs.begin(); it != timer_procs.end();)
        it = it->first.first == hwnd_of(window) ? timer_procs.erase(it) : std::next(it);
    return DestroyWindow(hwnd_of(window));
}

bool ui_is_window(UiWindow window)
{
    return window && IsWindow(hwnd_of(window));
}

bool ui_show_window(UiWindow window, int32_t command)
{
    if (!ui_is_window(window)) return false;
    ShowWindow(hwnd_of(window), command);
    return true;
}

bool ui_set_window_text(UiWindow window, const char *text)
{
    return SetWindowTextW(hwnd_of(window), win32_wide(text).c_str());
}

UiWindow ui_get_dlg_item(UiWindow dialog, int32_t id)
{
    return window_of(GetDlgItem(hwnd_of(dialog), id));
}

bool ui_set_dlg_item_text(UiWindow dialog, int32_t id, const char *text)
{
    return SetDlgItemTextW(hwnd_of(dialog), id, win32_wide(text).c_str());
}

bool ui_enable_window(UiWindow window, bool enable)
{
    if (!ui_is_window(window)) return false;
    EnableWindow(hwnd_of(window), enable);
    return true;
}

bool ui_move_window(UiWindow window, int32_t x, int32_t y, int32_t width, int32_t height,
                    bool repaint)
{
    return MoveWindow(hwnd_of(window), x, y, width, height, repaint);
}

bool ui_get_window_rect(UiWindow window, UiRect *rect)
{
    RECT system;
    HWND hwnd = hwnd_of(window);
    if (!GetWindowRect(hwnd, &system)) return false;
    if (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD)
        MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT *>(&system), 2);
    *rect = {system.left, system.top, system.right, system.bottom};
    return true;
}

UiWindow ui_set_focus(UiWindow window)
{
    return window_of(SetFocus(hwnd_of(window)));
}

intptr_t ui_send_message(UiWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    return SendMessageW(hwnd_of(window), message, wparam, lparam);
}

void ui_set_arrow_cursor()
{
    SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
}

bool ui_desktop_rect(UiRect *rect)
{
    RECT system;
    if (!GetWindowRect(GetDesktopWindow(), &system)) return false;
    *rect = {system.left, system.top, system.right, system.bottom};
    return true;
}

bool ui_adjust_window_rect(UiRect *rect, uint32_t style, bool menu)
{
    RECT system = {rect->left, rect->top, rect->right, rect->bottom};
    if (!AdjustWindowRect(&system, style, menu)) return false;
    *rect = {system.left, system.top, system.right, system.bottom};
    return true;
}

int32_t ui_message_box(UiWindow owner, const char *text, const char *caption, uint32_t type)
{
    return MessageBoxW(hwnd_of(owner), win32_wide(text).c_str(), win32_wide(caption).c_str(), type);
}

uintptr_t ui_set_timer(UiWindow window, uintptr_t id, uint32_t period_ms, UiTimerProc proc)
{
    UINT_PTR made = SetTimer(hwnd_of(window), id, period_ms, proc ? timer_thunk : nullptr);
    if (made && proc) timer_procs[{hwnd_of(window), window ? id : made}] = proc;
    return made;
}

bool ui_kill_timer(UiWindow window, uintptr_t id)
{
    timer_procs.erase({hwnd_of(window), id});
    return KillTimer(hwnd_of(window), id);
}

int32_t ui_get_message(UiMsg *msg)
{
    MSG system;
    BOOL r = GetMessageW(&system, nullptr, 0, 0);
    *msg = win32_record_of<UiMsg>(system);
    return r < 0 ? -1 : r ? 1 : 0;
}

bool ui_is_dialog_message(UiWindow dialog, UiMsg *msg)
{
    MSG system = win32_msg_of(*msg);
    return IsDialogMessageW(hwnd_of(dialog), &system);
}

void ui_translate_message(const UiMsg *msg)
{
    MSG system = win32_msg_of(*msg);
    TranslateMessage(&system);
}

intptr_t ui_dispatch_message(const UiMsg *msg)
{
    MSG system = win32_msg_of(*msg);
    return DispatchMessageW(&system);
}

void ui_post_quit_message(int32_t exit_code)
{
    PostQuitMessage(exit_code);
}

UiDc ui_begin_paint(UiWindow window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd_of(window), &paint);
    if (!dc) return 0;
    paints[hwnd_of(window)] = paint;
    return reinterpret_cast<UiDc>(dc);
}

void ui_end_paint(UiWindow window, UiDc /*dc*/)
{
    auto found = paints.find(hwnd_of(window));
    if (found == paints.end()) return;
    EndPaint(hwnd_of(window), &found->second);
    paints.erase(found);
}

uint32_t ui_set_bk_color(UiDc dc, uint32_t colour)
{
    return SetBkColor(reinterpret_cast<HDC>(dc), colour);
}

UiBrush ui_stock_black_brush()
{
    return reinterpret_cast<UiBrush>(GetStockObject(BLACK_BRUSH));
}

UiPalette ui_create_palette(const UiPaletteEntry *entries, int32_t count)
{
    if (count <= 0 || count > 256) return 0;
    std::vector<uint8_t> bytes(sizeof(LOGPALETTE) + 256 * sizeof(PALETTEENTRY));
    auto *logical = reinterpret_cast<LOGPALETTE *>(bytes.data());
    logical->palVersion = 0x300;
    logical->palNumEntries = static_cast<WORD>(count);
    for (int32_t i = 0; i < count; i++)
        logical->palPalEntry[i] = {entries[i].red, entries[i].green, entries[i].blue,
                                   entries[i].flags};
    return reinterpret_cast<UiPalette>(CreatePalette(logical));
}

bool ui_delete_palette(UiPalette palette)
{
    return palette && DeleteObject(reinterpret_cast<HGDIOBJ>(palette));
}

UiBitmap ui_create_dib_section(UiWindow window, UiPalette palette, const uint8_t *info_header,
                               uint8_t **bits)
{
    *bits = nullptr;
    BITMAPINFOHEADER header;
    std::memcpy(&header, info_header, sizeof header);
    if (header.biSize < sizeof header || header.biBitCount != 8 || header.biWidth <= 0 ||
        header.biHeight <= 0)
        return 0;
    // The colours are the palette's, in its order: the picture shows the same on a screen of
    // any depth, and on a palette screen the realized palette matches them one to one.
    std::vector<uint8_t> bytes(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    auto *info = reinterpret_cast<BITMAPINFO *>(bytes.data());
    info->bmiHeader = header;
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    PALETTEENTRY entries[256] = {};
    UINT count = GetPaletteEntries(reinterpret_cast<HPALETTE>(palette), 0, 256, entries);
    for (UINT i = 0; i < count; i++)
        info->bmiColors[i] = {entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
    info->bmiHeader.biClrUsed = count;
    HDC dc = GetDC(hwnd_of(window));
    HPALETTE old = SelectPalette(dc, reinterpret_cast<HPALETTE>(palette), FALSE);
    RealizePalette(dc);
    void *pixels = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (old) SelectPalette(dc, old, FALSE);
    ReleaseDC(hwnd_of(window), dc);
    if (!bitmap) return 0;
    *bits = static_cast<uint8_t *>(pixels);
    return reinterpret_cast<UiBitmap>(bitmap);
}

bool ui_delete_bitmap(UiBitmap bitmap)
{
    return bitmap && DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
}

bool ui_paint_bitmap(UiDc dc, UiPalette palette, UiBitmap bitmap, int32_t x, int32_t y,
                     int32_t width, int32_t height)
{
    HDC target = reinterpret_cast<HDC>(dc);
    HPALETTE old_palette = SelectPalette(target, reinterpret_cast<HPALETTE>(palette), FALSE);
    RealizePalette(target);
    HDC memory = CreateCompatibleDC(target);
    if (!memory) return false;
    HGDIOBJ old_bitmap = SelectObject(memory, reinterpret_cast<HGDIOBJ>(bitmap));
    bool done = BitBlt(target, x, y, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old_bitmap);
    DeleteDC(memory);
    if (old_palette) SelectPalette(target, old_palette, FALSE);
    return done;
}
