#include "widgets/xpbutton2.h"

#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <cmath>

namespace {

// The fixed colours of each look; a zero marks a colour that look never draws.
struct Colours {
    QRgb border, top, bottom;      // the outer gradient runs from top to bottom
    QRgb t1, t2, u1, u2;           // the two lines under the top border, the two above the bottom one
    QRgb k1, k2, k3;               // the corner pixels
};

constexpr QRgb kBlueBorder = qRgb(0, 60, 116);
constexpr QRgb kK1 = qRgb(33, 85, 132), kK2 = qRgb(123, 150, 173), kK3 = qRgb(82, 125, 165);

constexpr Colours kColours[5] = {
    {qRgb(201, 199, 186), 0, 0, 0, 0, 0, 0, qRgb(196, 177, 140), qRgb(206, 199, 189), qRgb(196, 177, 140)},
    {kBlueBorder, qRgb(252, 252, 251), qRgb(236, 235, 230), qRgb(255, 255, 255), qRgb(254, 254, 254),
     qRgb(226, 223, 214), qRgb(214, 208, 197), kK1, kK2, kK3},
    {kBlueBorder, qRgb(189, 211, 247), qRgb(140, 174, 231), qRgb(206, 231, 255), qRgb(189, 215, 247),
     qRgb(140, 174, 231), qRgb(107, 130, 239), kK1, kK2, kK3},
    {kBlueBorder, qRgb(225, 223, 156), qRgb(255, 182, 48), qRgb(255, 243, 206), qRgb(255, 219, 140),
     qRgb(255, 178, 49), qRgb(230, 150, 0), kK1, kK2, kK3},
    {kBlueBorder, 0, 0, 0, 0, 0, 0, kK1, kK2, kK3},
};

constexpr QRgb kDisabledFace = qRgb(245, 244, 234);
constexpr QRgb kPressedFace = qRgb(231, 227, 222);
constexpr QRgb kInnerTop = qRgb(252, 252, 251);
constexpr QRgb kInnerBottom = qRgb(236, 235, 230);
constexpr QRgb kDisabledText = qRgb(161, 161, 146);

void pixel(QPainter &p, int x, int y, QRgb c)
{
    p.fillRect(x, y, 1, 1, QColor(c));
}

// Lines leave out their end point and fills their right and bottom edges: the corner
// pixels and the border are laid out against exactly that.
void hline(QPainter &p, int x1, int x2, int y, QRgb c)
{
    if (x2 > x1)
        p.fillRect(x1, y, x2 - x1, 1, QColor(c));
    else if (x2 < x1)
        p.fillRect(x2 + 1, y, x1 - x2, 1, QColor(c));
}

void vline(QPainter &p, int x, int y1, int y2, QRgb c)
{
    if (y2 > y1)
        p.fillRect(x, y1, 1, y2 - y1, QColor(c));
    else if (y2 < y1)
        p.fillRect(x, y2 + 1, 1, y1 - y2, QColor(c));
}

void fill(QPainter &p, int left, int top, int right, int bottom, QRgb c)
{
    if (right > left && bottom > top)
        p.fillRect(left, top, right - left, bottom - top, QColor(c));
}

// One component i steps of n up from the bottom colour. Single precision and ties to
// even decide the shades the face is known by.
int shade(int top, int bottom, int i, int n)
{
    const float v = float(bottom) + float(top - bottom) * float(i) / float(n);
    return int(std::nearbyint(v));
}

// n + 1 lines from the bottom edge up to the top one, so both end colours are drawn.
void gradient(QPainter &p, int left, int top, int right, int bottom, QRgb from, QRgb to)
{
    const int n = bottom - top;
    for (int i = 0; i <= n; ++i) {
        const QRgb c = n == 0 ? to
                              : qRgb(shade(qRed(from), qRed(to), i, n), shade(qGreen(from), qGreen(to), i, n),
                                     shade(qBlue(from), qBlue(to), i, n));
        hline(p, left, right, bottom - i, c);
    }
}

// The window shape: 3 × 3 elliptic corners cut the outermost pixel of each corner.
QRegion shape(int w, int h)
{
    return QRegion(0, 0, w, h)
        .subtracted(QRegion(0, 0, 1, 1))
        .subtracted(QRegion(w - 1, 0, 1, 1))
        .subtracted(QRegion(0, h - 1, 1, 1))
        .subtracted(QRegion(w - 1, h - 1, 1, 1));
}

int buttonMask(Qt::MouseButtons b)
{
    return (b & Qt::LeftButton ? 1 : 0) | (b & Qt::RightButton ? 2 : 0) | (b & Qt::MiddleButton ? 4 : 0);
}

int shiftMask(Qt::KeyboardModifiers m)
{
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) | (m & Qt::AltModifier ? 4 : 0);
}

} // namespace

XPButton2::XPButton2(QWidget *parent) : XPButton2(QStringLiteral("&OK"), parent) {}

XPButton2::XPButton2(const QString &caption, QWidget *parent)
    : QAbstractButton(parent), m_state(isEnabled() ? Normal : Disabled)
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    // Like any push button: it may be made wider than its caption needs, not taller.
    setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    setMinimumSize(kMinimumSide, kMinimumSide);
    setCaption(caption);
}

void XPButton2::setKeepsCaption(bool on)
{
    m_keepsCaption = on;
    fitMinimum();
}

void XPButton2::fitMinimum()
{
    // A layout takes a widget's minimum size before its hints, so the floor of a button that
    // must show its caption follows the caption. It only grows: a step button that changes
    // between its captions keeps its width, and a minimum the window set stays.
    const QSize floor(kMinimumSide, kMinimumSide);
    setMinimumSize(m_keepsCaption ? minimumSize().expandedTo(sizeHint()).expandedTo(floor) : floor);
}

QChar XPButton2::accessKeyOf(const QString &caption)
{
    // The search gives up once fewer than three characters remain from where it looks,
    // so a caption of just "&" and one character has no key.
    qsizetype from = 0;
    while (caption.size() - from >= 3) {
        const qsizetype amp = caption.indexOf(QLatin1Char('&'), from);
        if (amp < 0 || amp + 1 >= caption.size())
            return {};
        const QChar next = caption.at(amp + 1);
        if (next != QLatin1Char('&'))
            return next.toLower();
        from = amp + 2;
    }
    return {};
}

void XPButton2::setCaption(const QString &caption)
{
    QAbstractButton::setText(caption);
    // The base class registers Qt's own mnemonic; ours differs for the short captions.
    const QChar key = accessKeyOf(caption);
    setShortcut(key.isNull() ? QKeySequence() : QKeySequence(Qt::ALT | Qt::Key(key.toUpper().unicode())));
    if (m_keepsCaption)
        fitMinimum();
    updateGeometry();
    update();
}

void XPButton2::setForeColor(const QColor &color)
{
    m_foreColor = color;
    update();
}

void XPButton2::setFocusRect(bool on)
{
    m_focusRect = on;
    if (m_hasFocus)
        update();
}

void XPButton2::setDefault(bool on)
{
    m_default = on;
    if (isEnabled() && !m_over) {
        if (on)
            draw(Focused);
        else
            drawIfNeeded(Normal);
    }
}

void XPButton2::SnapMouseTo()
{
    QCursor::setPos(mapToGlobal(QPoint(width() / 2, height() / 2)));
}

QSize XPButton2::sizeHint() const
{
    // Room for the border, the face lines and the focus rectangle around the caption;
    // never smaller than the usual 75 × 23 dialog button.
    const QSize captionSize = fontMetrics().size(Qt::TextSingleLine | Qt::TextShowMnemonic, text());
    return QSize(qMax(captionSize.width() + 16, 75), qMax(captionSize.height() + 10, 23));
}

void XPButton2::draw(int state)
{
    m_state = state;
    update();
}

void XPButton2::drawIfNeeded(int state)
{
    if (m_state != state)
        draw(state);
}

void XPButton2::trackPointer(const QPointF &pos)
{
    m_over = pos.x() >= 0 && pos.x() <= width() && pos.y() >= 0 && pos.y() <= height();
}

// The look that follows the pointer; it is frozen while the window is inactive or the
// space bar holds the button down.
void XPButton2::showHover()
{
    if (!m_windowActive || m_spaceHeld)
        return;
    if (m_over)
        drawIfNeeded(m_pressed ? Pressed : Hot);
    else
        drawIfNeeded(m_hasFocus ? Focused : Normal);
}

bool XPButton2::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::WindowActivate:
        windowActivation(true);
        break;
    case QEvent::WindowDeactivate:
        windowActivation(false);
        break;
    case QEvent::Shortcut:
        accessKeyPressed(static_cast<QShortcutEvent *>(event)->isAmbiguous());
        return true;
    default:
        break;
    }
    return QAbstractButton::event(event);
}

void XPButton2::windowActivation(bool active)
{
    if (active) {
        m_windowActive = true;
        if (isEnabled() && !m_over && (m_hasFocus || m_default))
            draw(Focused);
        else if (isEnabled() && m_over)
            drawIfNeeded(Hot);
        emit FormActivate(1);
    } else {
        m_windowActive = m_pressed = m_leftHeld = m_spaceHeld = false;
        if (isEnabled())
            drawIfNeeded(Normal);
        emit FormActivate(0);
    }
}

void XPButton2::accessKeyPressed(bool ambiguous)
{
    // A caption set through QAbstractButton::setText carries Qt's mnemonic, which may be
    // one that our rule does not give.
    if (accessKey().isNull())
        return;
    if (ambiguous) {
        setFocus(Qt::ShortcutFocusReason);
        return;
    }
    if (m_spaceHeld) {
        // The key ends the space press instead, without a click.
        m_pressed = false;
        draw(m_over ? Hot : Focused);
        return;
    }
    // The click comes after the events already waiting, as a mouse click would.
    QMetaObject::invokeMethod(this, &QAbstractButton::click, Qt::QueuedConnection);
}

void XPButton2::enterEvent(QEnterEvent *event)
{
    // A disabled button learns where the pointer is but does not show it.
    trackPointer(event->position());
    if (isEnabled())
        showHover();
    QAbstractButton::enterEvent(event);
}

void XPButton2::leaveEvent(QEvent *event)
{
    m_over = false;
    if (!m_spaceHeld && m_state != Disabled) {
        if (!m_hasFocus && !m_default)
            drawIfNeeded(Normal);
        else if (m_state != Pressed) {
            if (m_state != Focused && m_windowActive)
                draw(Focused);
        } else {
            draw(m_pressed ? Focused : Normal);
        }
    }
    QAbstractButton::leaveEvent(event);
}

void XPButton2::mouseMoveEvent(QMouseEvent *event)
{
    trackPointer(event->position());
    if (!m_windowActive || m_spaceHeld)
        return;
    showHover();
    emit MouseMove(buttonMask(event->buttons()), shiftMask(event->modifiers()), float(event->position().x()),
                   float(event->position().y()));
}

void XPButton2::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    trackPointer(event->position());
    m_hasFocus = true;
    m_pressed = m_leftHeld = true;
    drawIfNeeded(Pressed);
}

void XPButton2::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    trackPointer(event->position());
    // A press and a release inside the button are a click whether or not the window is active
    // yet: on X11 the activation of a window clicked into may arrive after the release. Leaving
    // the window during a press clears the press, so that still gives no click.
    const bool raise = m_over && m_hasFocus && m_pressed;
    if (m_windowActive) {
        if (m_over)
            drawIfNeeded(Hot);
        else if (m_hasFocus)
            draw(Focused);
    } else {
        drawIfNeeded(Normal);
    }
    m_pressed = m_leftHeld = false;
    if (raise)
        click();
}

void XPButton2::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The second press of a double click is not a press of its own: it raises DblClick,
    // not a second click.
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    draw(Pressed);
    emit DblClick();
}

void XPButton2::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        click();
        break;
    case Qt::Key_Space:
        if (!m_leftHeld) {
            m_spaceHeld = m_pressed = true;
            drawIfNeeded(Pressed);
        }
        break;
    case Qt::Key_Left:
    case Qt::Key_Up:
        focusNextPrevChild(false);
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        focusNextPrevChild(true);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void XPButton2::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Space) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    // A held key repeats its release as well as its press; only the last release counts.
    if (event->isAutoRepeat() || m_leftHeld)
        return;
    if (!m_over)
        draw(Focused);
    else
        drawIfNeeded(Hot);
    const bool raise = m_pressed;
    m_spaceHeld = m_pressed = false;
    if (raise)
        click();
}

void XPButton2::focusInEvent(QFocusEvent *event)
{
    m_hasFocus = true;
    if (m_over) {
        if (m_state != Hot && m_state != Pressed)
            draw(Hot);
    } else if (!m_pressed) {
        draw(Focused);
    }
    QAbstractButton::focusInEvent(event);
}

void XPButton2::focusOutEvent(QFocusEvent *event)
{
    m_hasFocus = m_pressed = m_spaceHeld = false;
    if (isEnabled()) {
        if (!m_windowActive)
            drawIfNeeded(Normal);
        else if (m_over)
            drawIfNeeded(Hot);
        else if (m_default)
            draw(Focused);
        else
            drawIfNeeded(Normal);
    }
    QAbstractButton::focusOutEvent(event);
}

void XPButton2::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange && m_keepsCaption)
        fitMinimum();
    if (event->type() == QEvent::EnabledChange) {
        if (!isEnabled()) {
            // A disabled button never sees the release of a press it was holding.
            m_pressed = m_leftHeld = m_spaceHeld = false;
        }
        if (isEnabled() && m_over)
            draw(Hot);
        else if (!m_default || !isEnabled())
            drawIfNeeded(isEnabled() ? Normal : Disabled);
        else
            draw(Focused);
    }
    QAbstractButton::changeEvent(event);
}

void XPButton2::resizeEvent(QResizeEvent *event)
{
    setMask(shape(width(), height()));
    QAbstractButton::resizeEvent(event);
}

void XPButton2::showEvent(QShowEvent *event)
{
    // A hidden button misses its window's activation; catch up without announcing it.
    m_windowActive = isActiveWindow();
    QAbstractButton::showEvent(event);
}

void XPButton2::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    paintFace(p);
}

void XPButton2::paintFace(QPainter &p) const
{
    const int s = m_state, w = width(), h = height();
    const Colours &c = kColours[s];

    hline(p, 3, w - 3, 0, c.border);
    vline(p, 0, 3, h - 3, c.border);
    hline(p, 3, w - 3, h - 1, c.border);
    vline(p, w - 1, 3, h - 3, c.border);

    if (s == Disabled || s == Pressed) {
        fill(p, 1, 1, w - 1, h - 1, s == Disabled ? kDisabledFace : kPressedFace);
    } else {
        gradient(p, 1, 3, w - 1, h - 2, c.top, c.bottom);
        gradient(p, 3, 3, w - 3, h - 3, kInnerTop, kInnerBottom);
        hline(p, 1, w, 1, c.t1);
        hline(p, 1, w, 2, c.t2);
        hline(p, 1, w, h - 3, c.u1);
        hline(p, 2, w - 1, h - 2, c.u2);
    }

    // The top-left corner, mirrored into the other three.
    const struct { int x, y; QRgb colour; } corner[] = {
        {0, 1, c.k2}, {0, 2, c.k1}, {1, 0, c.k2}, {1, 1, c.k3}, {2, 0, c.k1},
    };
    for (const auto &k : corner) {
        pixel(p, k.x, k.y, k.colour);
        pixel(p, w - 1 - k.x, k.y, k.colour);
        pixel(p, k.x, h - 1 - k.y, k.colour);
        pixel(p, w - 1 - k.x, h - 1 - k.y, k.colour);
    }

    const QRect captionRect(QPoint(3, 3), QPoint(w - 4, h - 4));
    p.setPen(isEnabled() ? m_foreColor : QColor(kDisabledText));
    p.setFont(font());
    p.drawText(captionRect, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic, text());

    if (m_hasFocus && m_focusRect && s >= Focused) {
        // A dotted rectangle: every other pixel of its outline.
        auto dot = [&](int x, int y) {
            if ((x + y) % 2 == 0)
                pixel(p, x, y, qRgb(0, 0, 0));
        };
        for (int x = captionRect.left(); x <= captionRect.right(); ++x) {
            dot(x, captionRect.top());
            dot(x, captionRect.bottom());
        }
        for (int y = captionRect.top() + 1; y < captionRect.bottom(); ++y) {
            dot(captionRect.left(), y);
            dot(captionRect.right(), y);
        }
    }
}
