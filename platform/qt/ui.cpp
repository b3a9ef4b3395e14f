// The menu's windows on Qt 6 Widgets. Window records and the message queue are ours, as in the
// headless backend; Qt supplies the widgets, the event sources (clicks, keys, close boxes,
// activation, timers) and the screen. Qt events only queue messages: the window procedures are
// called from the launcher's own message loop, or synchronously where the original sent them.
#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyleFactory>
#include <QTimer>
#include <QWidget>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/cp1252.h"
#include "platform/posix/posix.h"
#include "platform/qt/qt_ui.h"
#include "platform/ui.h"
#include "platform/ui_objects.h"

namespace
{

constexpr uint32_t DIALOG_BACKGROUND = 0xC0C0C0;
constexpr int32_t FRAME_BORDER = 3;
constexpr int32_t FRAME_CAPTION = 19;

struct QtWindow : UiObjectWindow {
    QWidget *widget; // null for windows that have nothing to show (the zero-size owner)
    QImage canvas;
};

struct Timer {
    UiWindow window;
    uintptr_t id;
    QTimer *timer;
};

UiBackend qt_backend();
const UiBackend QT_BACKEND = qt_backend();

struct QtUi {
    UiObjects objects{&QT_BACKEND};
    std::vector<Timer> timers; // the Qt timer behind each of objects.timers
    // Made once the application exists (a pixmap cannot be made before it).
    QIcon *icon = nullptr;
    QPixmap *icon_pixmap = nullptr;
    UiWindow main_dialog = 0;
    int32_t modal = 0;
    std::vector<QMessageBox *> boxes; // open, innermost last
    // The program is asked to end: no box opens any more, and open ones close as dismissed.
    bool closing = false;
};

QtUi ui;

// The record of a live window or control, or null.
QtWindow *record_of(UiWindow window)
{
    return static_cast<QtWindow *>(uiobjects_window(&ui.objects, window));
}

// The record of any handle ever made, alive or not.
QtWindow *any_record(UiWindow window)
{
    return static_cast<QtWindow *>(uiobjects_record(&ui.objects, window));
}

UiWindow handle_of(const QWidget *widget)
{
    for (UiWindow window = 1; const QtWindow *w = any_record(window); window++)
        if (w->alive && w->widget == widget) return window;
    return 0;
}

UiWindow top_of(UiWindow window)
{
    const QtWindow *w = record_of(window);
    return w && w->parent ? w->parent : window;
}

void post(UiWindow window, uint32_t message, uintptr_t wparam = 0)
{
    uiobjects_post(&ui.objects, window, message, wparam);
}

QString text_of(const std::string &cp1252)
{
    QString out;
    out.reserve(static_cast<int>(cp1252.size()));
    for (char c : cp1252)
        out += QChar(static_cast<char16_t>(cp1252_to_unicode(static_cast<unsigned char>(c))));
    return out;
}

// The edit control breaks lines at CR LF only; a lone CR or LF shows as a mark of its own.
// Written into a string of the final size: a readme of tens of megabytes goes in one pass.
QString edit_text_of(const std::string &cp1252)
{
    QString out(static_cast<qsizetype>(cp1252.size()), Qt::Uninitialized);
    QChar *to = out.data();
    for (size_t i = 0; i < cp1252.size(); i++) {
        unsigned char c = static_cast<unsigned char>(cp1252[i]);
        if (c == '\r' && i + 1 < cp1252.size() && cp1252[i + 1] == '\n') {
            *to++ = QChar('\n');
            i++;
        } else if (c == '\r' || c == '\n') {
            *to++ = QChar(0x2400 + c);
        } else {
            *to++ = QChar(static_cast<char16_t>(cp1252_to_unicode(c)));
        }
    }
    out.truncate(static_cast<qsizetype>(to - out.constData()));
    return out;
}

QColor colour_of(uint32_t colourref)
{
    return QColor(colourref & 0xFF, (colourref >> 8) & 0xFF, (colourref >> 16) & 0xFF);
}

// The template's font, or the closest that is installed, sized at 96 dots an inch.
QFont font_of(const DialogTemplate *dialog)
{
    QFont font;
    QStringList families = {QString::fromLatin1(dialog->font)};
    if (std::strcmp(dialog->font, "System") == 0) {
        families << "DejaVu Sans"
                 << "Sans Serif";
        font.setBold(true);
    } else if (std::strcmp(dialog->font, "Courier New") == 0) {
        families << "DejaVu Sans Mono"
                 << "Noto Mono"
                 << "Monospace";
    } else if (std::strcmp(dialog->font, "Times New Roman") == 0) {
        families << "DejaVu Serif"
                 << "Nimbus Roman"
                 << "Serif";
    }
    font.setFamilies(families);
    font.setPixelSize((dialog->point_size * 96 + 36) / 72);
    return font;
}

void base_units(const QFont &font, int32_t *x, int32_t *y)
{
    QFontMetrics metrics(font);
    int width = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    *x = (width / 26 + 1) / 2;
    *y = metrics.height();
    if (*x <= 0) *x = 6;
    if (*y <= 0) *y = 13;
}

void show_focus(UiWindow window)
{
    QtWindow *top = record_of(top_of(window));
    if (top && top->widget && top->widget->isVisible()) {
        top->widget->activateWindow();
        top->widget->setFocus(Qt::OtherFocusReason);
    }
}

uint32_t virtual_key(const QKeyEvent *event)
{
    int key = event->key();
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return VK_F1 + static_cast<uint32_t>(key - Qt::Key_F1);
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return static_cast<uint32_t>(key);
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return static_cast<uint32_t>(key);
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return VK_RETURN;
    case Qt::Key_Escape:
        return VK_ESCAPE;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return VK_TAB;
    case Qt::Key_Space:
        return VK_SPACE;
    default:
        return 0;
    }
}

// The frame of a dialog or window: paints its client canvas, and turns the close box and
// activation into messages.
class TopWidget : public QWidget
{
  public:
    explicit TopWidget(QWidget *parent) : QWidget(parent) {}

  protected:
    void paintEvent(QPaintEvent *) override
    {
        UiWindow window = handle_of(this);
        QtWindow *w = record_of(window);
        if (!w) return;
        if (w->canvas.size() != size()) {
            w->canvas = QImage(size(), QImage::Format_RGB32);
            w->canvas.fill(colour_of(DIALOG_BACKGROUND));
            w->needs_paint = true;
        }
        QPainter painter(this);
        painter.drawImage(0, 0, w->canvas);
    }
    void closeEvent(QCloseEvent *event) override
    {
        event->ignore();
        if (UiWindow window = handle_of(this)) post(window, WM_CLOSE);
    }
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::WindowActivate)
            if (UiWindow window = handle_of(this)) post(window, UIOBJECTS_ACTIVATE);
        return QWidget::event(event);
    }
};

// Keys go to the window that has our focus, through the message loop; an edit control keeps
// the keys that only move within its text.
class KeyFilter : public QObject
{
  public:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress || !object->isWidgetType()) return false;
        QWidget *widget = static_cast<QWidget *>(object);
        UiWindow window = handle_of(widget);
        if (!window && widget->window()) window = handle_of(widget->window());
        if (!window) return false;
        auto *key = static_cast<QKeyEvent *>(event);
        uint32_t vk = virtual_key(key);
        if (qobject_cast<QPlainTextEdit *>(widget) && vk != VK_TAB && vk != VK_RETURN &&
            vk != VK_ESCAPE)
            return false;
        if (vk == 0) return true;
        UiWindow target = ui.objects.focus && top_of(ui.objects.focus) == top_of(window)
                              ? ui.objects.focus
                              : window;
        post(target, WM_KEYDOWN, vk);
        return true;
    }
};

KeyFilter *key_filter;

void coloured(UiWindow control, bool changed)
{
    QtWindow *c = record_of(control);
    if (!c || !c->widget || !c->coloured || !changed) return;
    QPalette palette = c->widget->palette();
    QColor colour = colour_of(c->bk_colour);
    // The disabled look stays the style's own, so a disabled button still reads as one.
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Button, colour);
        palette.setColor(group, QPalette::Window, colour);
        palette.setColor(group, QPalette::ButtonText, Qt::black);
    }
    palette.setColor(QPalette::Disabled, QPalette::Button, colour);
    palette.setColor(QPalette::Disabled, QPalette::Window, colour);
    c->widget->setPalette(palette);
    c->widget->setAutoFillBackground(c->kind != DIALOG_BUTTON);
}

QWidget *make_control(const DialogControl &c, QWidget *parent)
{
    switch (c.kind) {
    case DIALOG_BUTTON: {
        auto *button = new QPushButton(text_of(c.text), parent);
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoDefault(false);
        return button;
    }
    case DIALOG_EDIT: {
        auto *edit = new QPlainTextEdit(parent);
        edit->setReadOnly(c.style & ES_READONLY);
        edit->setLineWrapMode(QPlainTextEdit::NoWrap);
        edit->setVerticalScrollBarPolicy((c.style & WS_VSCROLL) ? Qt::ScrollBarAlwaysOn
                                                                : Qt::ScrollBarAsNeeded);
        edit->setFrameStyle((c.style & WS_BORDER) ? QFrame::Box | QFrame::Plain : QFrame::NoFrame);
        edit->setPlainText(edit_text_of(c.text));
        return edit;
    }
    case DIALOG_ICON: {
        auto *label = new QLabel(parent);
        if (ui.icon_pixmap) label->setPixmap(*ui.icon_pixmap);
        label->setAlignment(Qt::AlignCenter);
        if (c.exstyle & WS_EX_CLIENTEDGE) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        return label;
    }
    case DIALOG_STATIC:
    default:
        return new QLabel(text_of(c.text), parent);
    }
}

void show(UiWindow window, bool visible)
{
    QtWindow *w = record_of(window);
    if (!w || !w->widget) return;
    if (!visible) {
        w->widget->hide();
        // The caller may block next (the sound set-up runs while the menu is hidden): the
        // window must be gone from the screen before that, not at the next loop pass.
        if (w->parent == 0) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return;
    }
    w->widget->show();
    if (w->parent == 0) w->widget->raise();
}

void enable(UiWindow window, bool enable)
{
    if (QtWindow *w = record_of(window); w && w->widget) w->widget->setEnabled(enable);
}

void text_changed(UiWindow window)
{
    QtWindow *w = record_of(window);
    if (!w || !w->widget) return;
    if (w->parent == 0)
        w->widget->setWindowTitle(text_of(w->text));
    else if (auto *button = qobject_cast<QPushButton *>(w->widget))
        button->setText(text_of(w->text));
    else if (auto *edit = qobject_cast<QPlainTextEdit *>(w->widget)) {
        // Laying out a long text takes seconds, without the loop that would see a signal.
        posix_long_read_begin();
        edit->setPlainText(edit_text_of(w->text));
        posix_long_read_end();
    } else if (auto *label = qobject_cast<QLabel *>(w->widget); label && w->kind != DIALOG_ICON)
        label->setText(text_of(w->text));
}

void moved(UiWindow window)
{
    QtWindow *w = record_of(window);
    if (!w || !w->widget) return;
    const UiRect &r = w->rect;
    if (w->parent != 0) {
        w->widget->setGeometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
        return;
    }
    // The outer rectangle of the original frame: the client area lies inside it.
    int32_t cw = r.right - r.left - 2 * FRAME_BORDER;
    int32_t ch = r.bottom - r.top - 2 * FRAME_BORDER - FRAME_CAPTION;
    cw = cw > 0 ? cw : 0;
    ch = ch > 0 ? ch : 0;
    w->widget->setFixedSize(cw, ch);
    w->widget->move(r.left, r.top);
    if (w->canvas.width() != cw || w->canvas.height() != ch) {
        w->canvas = QImage(cw, ch, QImage::Format_RGB32);
        w->canvas.fill(colour_of(DIALOG_BACKGROUND));
        w->needs_paint = true;
    }
}

void destroyed(UiWindow window)
{
    QtWindow *w = any_record(window);
    QWidget *widget = w->widget;
    w->widget = nullptr;
    // The controls' widgets go with their dialog's.
    for (UiWindow control = 1; QtWindow *c = any_record(control); control++)
        if (c->parent == window) c->widget = nullptr;
    if (widget) {
        widget->hide();
        widget->deleteLater();
    }
}

void timer_stopped(UiWindow window, uintptr_t id)
{
    for (size_t i = 0; i < ui.timers.size(); i++)
        if (ui.timers[i].window == window && ui.timers[i].id == id) {
            ui.timers[i].timer->stop();
            ui.timers[i].timer->deleteLater();
            ui.timers.erase(ui.timers.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
}

void timer_started(UiWindow window, uintptr_t id, uint32_t period_ms)
{
    timer_stopped(window, id);
    auto *timer = new QTimer;
    timer->setInterval(static_cast<int>(period_ms));
    QObject::connect(timer, &QTimer::timeout, [window, id]() {
        // While a box is open its own loop runs, and with it the timers (as the original's did).
        if (ui.modal > 0) {
            UiMsg tick = {window, WM_TIMER, id, 0};
            uiobjects_dispatch(&ui.objects, &tick);
            return;
        }
        uiobjects_timer_elapsed(&ui.objects, window, id);
    });
    timer->start();
    ui.timers.push_back({window, id, timer});
}

void painted(UiWindow window)
{
    if (QtWindow *w = record_of(window); w && w->widget) w->widget->update();
}

UiBackend qt_backend()
{
    UiBackend backend = {};
    backend.show = show;
    backend.enable = enable;
    backend.text_changed = text_changed;
    backend.moved = moved;
    backend.destroyed = destroyed;
    backend.focused = show_focus;
    backend.timer_started = timer_started;
    backend.timer_stopped = timer_stopped;
    backend.coloured = coloured;
    backend.painted = painted;
    return backend;
}

} // namespace

// ---- backend set-up --------------------------------------------------------------------------

void qt_ui_init()
{
    if (QStyle *style = QStyleFactory::create(QStringLiteral("Windows")))
        QApplication::setStyle(style);
    if (!key_filter) {
        key_filter = new KeyFilter;
        qApp->installEventFilter(key_filter);
    }
    uiobjects_use(&ui.objects);
}

void qt_ui_reset()
{
    for (Timer &t : ui.timers) {
        t.timer->stop();
        delete t.timer;
    }
    for (UiWindow window = 1; const QtWindow *w = any_record(window); window++)
        if (w->alive && w->parent == 0 && w->widget) delete w->widget; // its controls go with it
    QIcon *icon = ui.icon;
    QPixmap *pixmap = ui.icon_pixmap;
    ui = QtUi();
    ui.icon = icon;
    ui.icon_pixmap = pixmap;
    uiobjects_use(&ui.objects);
}

void qt_ui_request_end()
{
    ui.closing = true;
    for (QMessageBox *box : ui.boxes)
        box->reject();
    qt_ui_request_close();
}

void qt_ui_request_close()
{
    if (record_of(ui.main_dialog))
        post(ui.main_dialog, WM_CLOSE);
    else
        ui_post_quit_message(0);
    QCoreApplication::postEvent(qApp, new QEvent(QEvent::User)); // wakes the loop
}

QWidget *qt_ui_widget(UiWindow window)
{
    const QtWindow *w = record_of(window);
    return w ? w->widget : nullptr;
}

UiWindow qt_ui_main_dialog()
{
    return ui.main_dialog;
}

// ---- icons, classes and windows --------------------------------------------------------------

bool ui_register_icon(int32_t id, const UiIconImage *images, int32_t count)
{
    if (!images || count <= 0) return false;
    QIcon icon;
    for (int32_t n = 0; n < count; n++) {
        const UiIconImage &image = images[n];
        QImage picture(image.width, image.height, QImage::Format_ARGB32);
        for (int32_t y = 0; y < image.height; y++)
            for (int32_t x = 0; x < image.width; x++) {
                size_t at = static_cast<size_t>(y) * static_cast<size_t>(image.width) +
                            static_cast<size_t>(x);
                uint8_t index = image.pixels[at];
                if (index >= image.colour_count || image.transparent[at]) {
                    picture.setPixel(x, y, qRgba(0, 0, 0, 0));
                    continue;
                }
                const uint8_t *rgb = image.palette + 3 * index;
                picture.setPixel(x, y, qRgb(rgb[0], rgb[1], rgb[2]));
            }
        icon.addPixmap(QPixmap::fromImage(picture));
        if (image.colour_count > 16 || !ui.icon_pixmap) {
            delete ui.icon_pixmap;
            ui.icon_pixmap = new QPixmap(QPixmap::fromImage(picture));
        }
    }
    (void)id;
    delete ui.icon;
    ui.icon = new QIcon(icon);
    QApplication::setWindowIcon(icon);
    return true;
}

UiWindow ui_create_window(const char *class_name, const char *title, uint32_t style, int32_t x,
                          int32_t y, int32_t width, int32_t height, UiWindow parent)
{
    const UiObjectClass *found = uiobjects_class(&ui.objects, class_name);
    if (!found) return 0;
    // Windows of a class are the menu's invisible owner: nothing to show on screen.
    auto w = std::make_unique<QtWindow>();
    uiobjects_init_window(w.get(), found, title, style, {x, y, x + width, y + height}, parent);
    return uiobjects_add_window(&ui.objects, std::move(w));
}

UiWindow ui_create_dialog(const DialogTemplate *dialog, UiWindow owner, UiProc proc)
{
    QtWindow *o = record_of(owner);
    QWidget *owner_widget = o ? o->widget : nullptr;
    auto *top = new TopWidget(owner_widget);
    top->setWindowFlags(owner_widget ? Qt::Dialog : Qt::Window);
    top->setAttribute(Qt::WA_OpaquePaintEvent);
    top->setFocusPolicy(Qt::StrongFocus);
    QFont font = font_of(dialog);
    top->setFont(font);
    top->setWindowTitle(text_of(dialog->caption));
    if (ui.icon) top->setWindowIcon(*ui.icon);
    int32_t bx, by;
    base_units(font, &bx, &by);
    int32_t cw = dialog->cx * bx / 4, ch = dialog->cy * by / 8;
    int32_t x = dialog->x * bx / 4, y = dialog->y * by / 8;
    if (o) {
        x += o->rect.left + FRAME_BORDER;
        y += o->rect.top + FRAME_BORDER + FRAME_CAPTION;
    }
    top->setFixedSize(cw, ch);
    top->move(x - FRAME_BORDER, y - FRAME_BORDER - FRAME_CAPTION);

    auto w = std::make_unique<QtWindow>();
    uiobjects_init_dialog(w.get(), dialog, owner, proc);
    w->widget = top;
    w->rect = {x - FRAME_BORDER, y - FRAME_BORDER - FRAME_CAPTION, x + cw + FRAME_BORDER,
               y + ch + FRAME_BORDER};
    w->canvas = QImage(cw, ch, QImage::Format_RGB32);
    w->canvas.fill(colour_of(DIALOG_BACKGROUND));
    UiWindow handle = uiobjects_add_window(&ui.objects, std::move(w));
    if (!ui.main_dialog) ui.main_dialog = handle;

    for (int32_t i = 0; i < dialog->control_count; i++) {
        const DialogControl &c = dialog->controls[i];
        auto control = std::make_unique<QtWindow>();
        uiobjects_init_control(control.get(), &c, handle, bx, by);
        QWidget *widget = make_control(c, top);
        const UiRect &r = control->rect;
        widget->setGeometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
        widget->setVisible(c.style & WS_VISIBLE);
        control->widget = widget;
        UiWindow control_handle = uiobjects_add_window(&ui.objects, std::move(control));
        if (auto *button = qobject_cast<QPushButton *>(widget))
            QObject::connect(button, &QPushButton::clicked,
                             [control_handle]() { post(control_handle, UIOBJECTS_CLICK); });
    }
    uiobjects_dialog_created(&ui.objects, handle);
    return handle;
}

void ui_set_arrow_cursor()
{
    QApplication::restoreOverrideCursor();
}

bool ui_desktop_rect(UiRect *rect)
{
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) return false;
    QRect g = screen->geometry();
    *rect = {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
    return true;
}

bool ui_adjust_window_rect(UiRect *rect, uint32_t style, bool menu)
{
    uiobjects_adjust_rect(rect, style, menu, FRAME_BORDER, FRAME_CAPTION);
    return true;
}

int32_t ui_message_box(UiWindow owner, const char *text, const char *caption, uint32_t type)
{
    bool yes_no = (type & 0xF) == MB_YESNO;
    // The answer of a box the user dismissed: no action is taken on it.
    int32_t dismissed = yes_no ? IDNO : IDOK;
    if (ui.closing) return dismissed;
    const QtWindow *o = record_of(owner);
    QMessageBox box(o && o->widget && o->visible ? o->widget : nullptr);
    box.setWindowTitle(text_of(caption));
    box.setText(text_of(text));
    if (ui.icon) box.setWindowIcon(*ui.icon);
    if (yes_no) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    if (type & MB_ICONQUESTION) box.setIcon(QMessageBox::Question);
    // While the box is open its own loop runs, and with it the timers (as the original's did).
    ui.modal++;
    ui.boxes.push_back(&box);
    int answer = box.exec();
    ui.boxes.pop_back();
    ui.modal--;
    if (!yes_no || ui.closing) return dismissed;
    return answer == QMessageBox::Yes ? IDYES : IDNO;
}

// ---- message loop ----------------------------------------------------------------------------

int32_t ui_get_message(UiMsg *msg)
{
    for (;;) {
        if (int32_t got = uiobjects_take_message(&ui.objects, msg); got >= 0) return got;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
    }
}

// ---- painting --------------------------------------------------------------------------------

UiDc ui_begin_paint(UiWindow window)
{
    QtWindow *w = record_of(window);
    if (!w || w->canvas.isNull()) return 0;
    w->needs_paint = false;
    w->canvas.fill(colour_of(DIALOG_BACKGROUND));
    return window;
}

void ui_end_paint(UiWindow window, UiDc /*dc*/)
{
    if (QtWindow *w = record_of(window); w && w->widget) w->widget->update();
}

bool ui_paint_bitmap(UiDc dc, UiPalette palette, UiBitmap bitmap, int32_t x, int32_t y,
                     int32_t width, int32_t height)
{
    QtWindow *w = record_of(dc);
    if (!w || w->canvas.isNull()) return false;
    // Format_RGB32 keeps 0xffRRGGBB in whole 32-bit words, each line a multiple of them.
    UiObjectCanvas canvas = {
        reinterpret_cast<uint32_t *>(w->canvas.bits()), w->canvas.width(), w->canvas.height(),
        static_cast<size_t>(w->canvas.bytesPerLine()) / sizeof(uint32_t), 0xFF000000u};
    return uiobjects_paint_bitmap(&ui.objects, palette, bitmap, x, y, width, height, &canvas);
}
