#pragma once

#include <QAbstractButton>
#include <QColor>

// The push button of every window: a gradient face with softened corners, drawn in one of
// five looks that follow the mouse, the keyboard focus and whether its window is active.
// The windows use it like any button: clicked(), text() and setText().
class XPButton2 : public QAbstractButton
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ caption WRITE setCaption)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(QColor ForeColor READ foreColor WRITE setForeColor)
    Q_PROPERTY(bool FocusRect READ focusRect WRITE setFocusRect)
    Q_PROPERTY(QFont Font READ font WRITE setFont)

public:
    enum VisualState { Disabled = 0, Normal = 1, Focused = 2, Hot = 3, Pressed = 4 };

    // A button is never narrower or lower than 100 twips, at 15 twips a pixel.
    static constexpr int kMinimumSide = (100 + 14) / 15;

    explicit XPButton2(QWidget *parent = nullptr);
    explicit XPButton2(const QString &caption, QWidget *parent = nullptr);

    QString caption() const { return text(); }
    void setCaption(const QString &caption);
    // Hides QAbstractButton::setText so that the access key follows our own rule.
    void setText(const QString &text) { setCaption(text); }

    QColor foreColor() const { return m_foreColor; }
    void setForeColor(const QColor &color);
    bool focusRect() const { return m_focusRect; }
    void setFocusRect(bool on);

    // Shown as the default button of its window: it keeps the focused look when the
    // focus or the mouse leaves.
    bool isDefault() const { return m_default; }
    void setDefault(bool on);

    int visualState() const { return m_state; }

    // Never smaller than any caption it has shown: a button in a window that a layout squeezes
    // keeps its caption readable. Off by default: the button alone can be made as small as
    // kMinimumSide.
    void setKeepsCaption(bool on);
    bool keepsCaption() const { return m_keepsCaption; }

    // The lower-case character that clicks the button with Alt, or a null QChar.
    QChar accessKey() const { return accessKeyOf(text()); }
    static QChar accessKeyOf(const QString &caption);

    // Puts the mouse pointer on the centre of the button.
    void SnapMouseTo();

    QSize sizeHint() const override;

signals:
    void DblClick();
    // button and shift are masks: 1 left, 2 right, 4 middle; 1 Shift, 2 Ctrl, 4 Alt.
    void MouseMove(int button, int shift, float x, float y);
    void FormActivate(int active);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void draw(int state);
    void drawIfNeeded(int state);
    void trackPointer(const QPointF &pos);
    void showHover();
    void windowActivation(bool active);
    void accessKeyPressed(bool ambiguous);
    void paintFace(QPainter &p) const;
    void fitMinimum();

    int m_state;
    QColor m_foreColor = Qt::black;
    bool m_focusRect = true;
    bool m_default = false;
    bool m_over = false;
    bool m_hasFocus = false;
    bool m_pressed = false;     // a left press or a held space bar that started here
    bool m_spaceHeld = false;
    bool m_leftHeld = false;
    bool m_windowActive = false;
    bool m_keepsCaption = false;
};
