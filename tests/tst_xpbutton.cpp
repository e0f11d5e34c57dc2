// Mouse events go through the window system's path: to the QWindow, then to the widget under the pointer.
#define QTEST_QPA_MOUSE_HANDLING
#include "widgets/xpbutton2.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QtTest>
#include <memory>

namespace {

// Low enough that the outer gradient runs in quarters and the inner one in thirds, so
// that several shades land exactly on a half.
constexpr int W = 40, H = 9;
const QRgb kBackdrop = qRgb(255, 0, 255);

struct Probe {
    QPoint at;
    QRgb colour;
};
using Probes = QList<Probe>;

QString describe(QRgb c)
{
    return QStringLiteral("(%1,%2,%3)").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c));
}

QImage renderButton(XPButton2 *b)
{
    QImage img(b->size(), QImage::Format_ARGB32);
    img.fill(kBackdrop);
    b->render(&img);
    return img;
}

QString mismatches(const QImage &img, const Probes &probes)
{
    QStringList bad;
    for (const Probe &p : probes) {
        const QRgb got = img.pixel(p.at);
        if (got != p.colour)
            bad << QStringLiteral("(%1,%2) is %3, expected %4")
                       .arg(p.at.x()).arg(p.at.y()).arg(describe(got), describe(p.colour));
    }
    return bad.join(QStringLiteral("; "));
}

// The border lines, the corner pixels and the four pixels the window shape cuts away.
Probes frame(QRgb border, QRgb k1, QRgb k2, QRgb k3)
{
    Probes p = {{{3, 0}, border},     {{W - 4, 0}, border},     {{0, 3}, border},     {{0, H - 4}, border},
                {{3, H - 1}, border}, {{W - 4, H - 1}, border}, {{W - 1, 3}, border}, {{W - 1, H - 4}, border}};
    const Probe topLeft[] = {{{0, 1}, k2}, {{0, 2}, k1}, {{1, 0}, k2}, {{1, 1}, k3}, {{2, 0}, k1}, {{0, 0}, kBackdrop}};
    for (const Probe &k : topLeft) {
        p << k << Probe{{W - 1 - k.at.x(), k.at.y()}, k.colour} << Probe{{k.at.x(), H - 1 - k.at.y()}, k.colour}
          << Probe{{W - 1 - k.at.x(), H - 1 - k.at.y()}, k.colour};
    }
    return p;
}

Probes flatFace(QRgb c)
{
    return {{{1, 2}, c}, {{5, 1}, c}, {{W / 2, H / 2}, c}, {{W - 2, H - 3}, c}, {{5, H - 2}, c}};
}

// outerStep is the outer gradient two steps up from its bottom line (y = 5).
Probes shadedFace(QRgb outerTop, QRgb outerStep, QRgb t1, QRgb t2, QRgb u1, QRgb u2)
{
    return {
        {{5, 1}, t1},          {{5, 2}, t2},          {{W - 2, 2}, t2},         {{5, H - 3}, u1},
        {{W - 2, H - 3}, u1},  {{5, H - 2}, u2},      {{W - 3, H - 2}, u2},     {{1, 3}, outerTop},
        {{W - 2, 3}, outerTop}, {{1, 5}, outerStep},  {{W - 3, 5}, outerStep},
        // The inner gradient is the same in every shaded look: its top line, then 236 + 16·2/3,
        // 235 + 17·2/3, 230 + 21·2/3, then one third.
        {{4, 3}, qRgb(252, 252, 251)}, {{4, 4}, qRgb(247, 246, 244)}, {{W - 5, 5}, qRgb(241, 241, 237)},
    };
}

} // namespace

Q_DECLARE_METATYPE(Probes)

class TestXPButton : public QObject
{
    Q_OBJECT

    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<QWidget> m_other;   // another window, to take the activation away
    QLineEdit *m_before = nullptr;
    XPButton2 *m_button = nullptr;
    QLineEdit *m_after = nullptr;
    QPoint m_pointer;                   // where the test last put the mouse, in button coordinates

    void pointTo(const QPoint &pos)
    {
        m_pointer = pos;
        QTest::mouseMove(m_button, pos);
    }
    QPoint inside() const { return QPoint(m_button->width() / 2, m_button->height() / 2); }
    QPoint outside() const { return QPoint(m_button->width() + 30, m_button->height() / 2); }
    bool activate(QWidget *w)
    {
        w->show();
        w->activateWindow();
        return QTest::qWaitForWindowActive(w);
    }

private slots:
    // A window with a text box, the button and another text box, in that tab order; the
    // first box has the focus and the mouse is off the button.
    void init()
    {
        m_window = std::make_unique<QWidget>();
        m_window->resize(240, 120);
        m_before = new QLineEdit(m_window.get());
        m_before->setGeometry(5, 80, 60, 24);
        m_button = new XPButton2(QStringLiteral("&OK"), m_window.get());
        m_button->setGeometry(20, 20, 80, 25);
        m_after = new QLineEdit(m_window.get());
        m_after->setGeometry(120, 80, 60, 24);
        m_other = std::make_unique<QWidget>();
        m_other->setGeometry(400, 300, 50, 50);
        QVERIFY(activate(m_window.get()));
        m_before->setFocus();
        pointTo(outside());
        QCOMPARE(m_button->visualState(), int(XPButton2::Normal));
    }
    void cleanup()
    {
        // Take the pointer off the button: the next window opens in the same place.
        QTest::mouseMove(m_window.get(), QPoint(235, 115));
        m_other.reset();
        m_window.reset();
    }

    void drawsEachLook_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("state");
        QTest::addColumn<Probes>("probes");

        const QRgb blue = qRgb(0, 60, 116), k1 = qRgb(33, 85, 132), k2 = qRgb(123, 150, 173),
                   k3 = qRgb(82, 125, 165);
        // Outer shades: bottom + (top - bottom)·2/4, ties to even: 243.5 → 244, 240.5 → 240,
        // 164.5 → 164, 192.5 → 192, 202.5 → 202.
        QTest::addRow("disabled") << "disable" << 0
                                  << frame(qRgb(201, 199, 186), qRgb(196, 177, 140), qRgb(206, 199, 189),
                                           qRgb(196, 177, 140)) + flatFace(qRgb(245, 244, 234));
        QTest::addRow("normal") << "" << 1
                                << frame(blue, k1, k2, k3)
                                       + shadedFace(qRgb(252, 252, 251), qRgb(244, 244, 240), qRgb(255, 255, 255),
                                                    qRgb(254, 254, 254), qRgb(226, 223, 214), qRgb(214, 208, 197));
        QTest::addRow("focused") << "focus" << 2
                                 << frame(blue, k1, k2, k3)
                                        + shadedFace(qRgb(189, 211, 247), qRgb(164, 192, 239), qRgb(206, 231, 255),
                                                     qRgb(189, 215, 247), qRgb(140, 174, 231), qRgb(107, 130, 239));
        QTest::addRow("hot") << "hover" << 3
                             << frame(blue, k1, k2, k3)
                                    + shadedFace(qRgb(225, 223, 156), qRgb(240, 202, 102), qRgb(255, 243, 206),
                                                 qRgb(255, 219, 140), qRgb(255, 178, 49), qRgb(230, 150, 0));
        QTest::addRow("pressed") << "press" << 4 << frame(blue, k1, k2, k3) + flatFace(qRgb(231, 227, 222));
    }
    void drawsEachLook()
    {
        QFETCH(QString, setup);
        QFETCH(int, state);
        QFETCH(Probes, probes);
        m_button->setCaption(QString());
        m_button->setFocusRect(false);
        m_button->resize(W, H);
        if (setup == "disable")
            m_button->setEnabled(false);
        else if (setup == "focus")
            m_button->setFocus();
        else if (setup == "hover")
            pointTo(inside());
        else if (setup == "press")
            QTest::mousePress(m_button, Qt::LeftButton, {}, inside());
        QCOMPARE(m_button->visualState(), state);
        const QString bad = mismatches(renderButton(m_button), probes);
        QVERIFY2(bad.isEmpty(), qPrintable(bad));
        if (setup == "press")
            QTest::mouseRelease(m_button, Qt::LeftButton, {}, inside());
    }

    void captionColour_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QColor>("shown");
        QTest::addColumn<QColor>("absent");
        QTest::addRow("enabled") << true << QColor(200, 0, 0) << QColor(161, 161, 146);
        QTest::addRow("disabled") << false << QColor(161, 161, 146) << QColor(200, 0, 0);
    }
    void captionColour()
    {
        QFETCH(bool, enabled);
        QFETCH(QColor, shown);
        QFETCH(QColor, absent);
        QFont font = m_button->font();
        font.setStyleStrategy(QFont::NoAntialias);   // every text pixel in the one colour
        m_button->setFont(font);
        m_button->setCaption(QStringLiteral("第二步：宝贝采集"));
        m_button->resize(m_button->sizeHint());
        m_button->setForeColor(QColor(200, 0, 0));
        m_button->setEnabled(enabled);
        const QImage img = renderButton(m_button);
        const QRect captionArea(QPoint(3, 3), QPoint(m_button->width() - 4, m_button->height() - 4));
        int shownCount = 0, absentCount = 0;
        for (int y = 0; y < img.height(); ++y) {
            for (int x = 0; x < img.width(); ++x) {
                const QRgb c = img.pixel(x, y);
                if (c == shown.rgb()) {
                    QVERIFY2(captionArea.contains(x, y), qPrintable(QStringLiteral("text at %1,%2").arg(x).arg(y)));
                    ++shownCount;
                }
                absentCount += c == absent.rgb();
            }
        }
        QVERIFY(shownCount > 20);
        QCOMPARE(absentCount, 0);
    }

    void focusRectangle_data()
    {
        QTest::addColumn<bool>("focus");
        QTest::addColumn<bool>("focusRect");
        QTest::addColumn<bool>("dotted");
        QTest::addRow("focused") << true << true << true;
        QTest::addRow("switched off") << true << false << false;
        QTest::addRow("default button without the focus") << false << true << false;
    }
    void focusRectangle()
    {
        QFETCH(bool, focus);
        QFETCH(bool, focusRect);
        QFETCH(bool, dotted);
        m_button->setCaption(QString());
        m_button->resize(W, H);
        m_button->setFocusRect(focusRect);
        if (focus)
            m_button->setFocus();
        else
            m_button->setDefault(true);
        QCOMPARE(m_button->visualState(), int(XPButton2::Focused));
        // Every other pixel of the outline (3, 3)–(W−4, H−4), over the inner gradient.
        const struct { QPoint at; QRgb face; bool onDot; } outline[] = {
            {{3, 3}, qRgb(252, 252, 251), true},  {{4, 3}, qRgb(252, 252, 251), false},
            {{5, 3}, qRgb(252, 252, 251), true},  {{3, 4}, qRgb(247, 246, 244), false},
            {{3, 5}, qRgb(241, 241, 237), true},  {{W - 5, 5}, qRgb(241, 241, 237), true},
            {{W - 4, 4}, qRgb(247, 246, 244), true},
        };
        Probes probes;
        for (const auto &o : outline)
            probes << Probe{o.at, dotted && o.onDot ? qRgb(0, 0, 0) : o.face};
        const QString bad = mismatches(renderButton(m_button), probes);
        QVERIFY2(bad.isEmpty(), qPrintable(bad));
    }

    // Each step is followed by the look it leaves and the number of clicks raised so far.
    void interaction_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QList<int>>("states");
        QTest::addColumn<QList<int>>("clicks");
        auto row = [](const char *name, const char *steps, QList<int> states, QList<int> clicks) {
            QTest::addRow("%s", name) << QString::fromLatin1(steps).split(' ') << states << clicks;
        };
        row("mouse click", "in press release", {3, 4, 3}, {0, 0, 1});
        row("release outside", "in press out release", {3, 4, 2, 2}, {0, 0, 0, 0});
        row("back inside before the release", "in press out in release", {3, 4, 2, 4, 3}, {0, 0, 0, 0, 1});
        row("right button", "in right-press right-release", {3, 3, 3}, {0, 0, 0});
        row("hover and leave", "in out", {3, 1}, {0, 0});
        row("space", "focus space space-up", {2, 4, 2}, {0, 0, 1});
        row("space held", "focus space repeat repeat space-up", {2, 4, 4, 4, 2}, {0, 0, 0, 0, 1});
        row("space under the mouse", "in focus space space-up", {3, 3, 4, 3}, {0, 0, 0, 1});
        row("space during a mouse press", "in press space space-up release", {3, 4, 4, 4, 3}, {0, 0, 0, 0, 1});
        row("enter", "focus enter", {2, 2}, {0, 1});
        row("access key", "alt-o", {1}, {1});
        row("access key ends a space press", "focus space alt-o space-up", {2, 4, 2, 2}, {0, 0, 0, 0});
        row("disabled ignores the mouse", "disable in press release enable", {0, 0, 0, 0, 3}, {0, 0, 0, 0, 0});
        row("window left during a press", "in press deactivate release activate", {3, 4, 1, 1, 3},
            {0, 0, 0, 0, 0});
        // The first click into a window that is not active yet, and one whose activation
        // arrives between the press and the release.
        row("click into an inactive window", "deactivate in press release", {1, 1, 4, 1}, {0, 0, 0, 1});
        row("activated during the press", "deactivate in press activate release", {1, 1, 4, 3, 3},
            {0, 0, 0, 0, 1});
        row("inactive, released outside", "deactivate in press out release", {1, 1, 4, 4, 1}, {0, 0, 0, 0, 0});
    }
    void interaction()
    {
        QFETCH(QStringList, steps);
        QFETCH(QList<int>, states);
        QFETCH(QList<int>, clicks);
        QList<int> statesAtClick;
        connect(m_button, &QAbstractButton::clicked, this, [&] { statesAtClick << m_button->visualState(); });
        auto sendSpace = [this](QEvent::Type type) {
            QKeyEvent e(type, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), true);
            QApplication::sendEvent(m_button, &e);
        };
        for (int i = 0; i < steps.size(); ++i) {
            const QString &s = steps[i];
            if (s == "in")
                pointTo(inside());
            else if (s == "out")
                pointTo(outside());
            else if (s == "press")
                QTest::mousePress(m_button, Qt::LeftButton, {}, m_pointer);
            else if (s == "release")
                QTest::mouseRelease(m_button, Qt::LeftButton, {}, m_pointer);
            else if (s == "right-press")
                QTest::mousePress(m_button, Qt::RightButton, {}, m_pointer);
            else if (s == "right-release")
                QTest::mouseRelease(m_button, Qt::RightButton, {}, m_pointer);
            else if (s == "focus")
                m_button->setFocus();
            else if (s == "space")
                QTest::keyPress(m_button, Qt::Key_Space);
            else if (s == "repeat") {   // a held key repeats release and press
                sendSpace(QEvent::KeyRelease);
                sendSpace(QEvent::KeyPress);
            } else if (s == "space-up")
                QTest::keyRelease(m_button, Qt::Key_Space);
            else if (s == "enter")
                QTest::keyClick(m_button, Qt::Key_Return);
            else if (s == "alt-o")
                QTest::keyClick(m_window.get(), Qt::Key_O, Qt::AltModifier);
            else if (s == "disable")
                m_button->setEnabled(false);
            else if (s == "enable")
                m_button->setEnabled(true);
            else if (s == "deactivate")
                QVERIFY(activate(m_other.get()));
            else if (s == "activate")
                QVERIFY(activate(m_window.get()));
            else
                QFAIL(qPrintable("unknown step " + s));
            QCoreApplication::processEvents();
            QVERIFY2(m_button->visualState() == states[i],
                     qPrintable(QStringLiteral("after %1: state %2").arg(s).arg(m_button->visualState())));
            QVERIFY2(statesAtClick.size() == clicks[i],
                     qPrintable(QStringLiteral("after %1: %2 clicks").arg(s).arg(statesAtClick.size())));
        }
        // A click never comes with the pressed look: it is raised after the button is drawn up.
        QVERIFY(!statesAtClick.contains(int(XPButton2::Pressed)));
    }

    void doubleClick()
    {
        QSignalSpy clicked(m_button, &QAbstractButton::clicked);
        QList<int> statesAtDblClick;
        connect(m_button, &XPButton2::DblClick, this, [&] { statesAtDblClick << m_button->visualState(); });
        pointTo(inside());
        // Press, release, the second press, its release.
        QTest::mouseDClick(m_button, Qt::LeftButton, {}, inside());
        QCOMPARE(statesAtDblClick, QList<int>({int(XPButton2::Pressed)}));
        QCOMPARE(m_button->visualState(), int(XPButton2::Hot));
        QCOMPARE(clicked.count(), 1);
    }

    void mouseMoveSignal()
    {
        QSignalSpy moves(m_button, &XPButton2::MouseMove);
        pointTo(QPoint(10, 5));
        QVERIFY(!moves.isEmpty());
        QCOMPARE(moves.last(), (QVariantList{0, 0, 10.0f, 5.0f}));
        QTest::mousePress(m_button, Qt::LeftButton, {}, QPoint(10, 5));
        pointTo(QPoint(12, 6));
        QCOMPARE(moves.last(), (QVariantList{1, 0, 12.0f, 6.0f}));
        QTest::mouseRelease(m_button, Qt::LeftButton, {}, QPoint(12, 6));

        // Not while the space bar holds the button down.
        QTest::keyPress(m_button, Qt::Key_Space);
        moves.clear();
        pointTo(QPoint(20, 7));
        QCOMPARE(moves.count(), 0);
        QTest::keyRelease(m_button, Qt::Key_Space);
    }

    void windowActivation()
    {
        QSignalSpy activations(m_button, &XPButton2::FormActivate), moves(m_button, &XPButton2::MouseMove);
        m_button->setFocus();
        QCOMPARE(m_button->visualState(), int(XPButton2::Focused));

        QVERIFY(activate(m_other.get()));
        QCOMPARE(activations, (QList<QVariantList>{{0}}));
        QCOMPARE(m_button->visualState(), int(XPButton2::Normal));
        // The pointer passing over an inactive window changes nothing and reports nothing.
        pointTo(inside());
        QCOMPARE(m_button->visualState(), int(XPButton2::Normal));
        QCOMPARE(moves.count(), 0);
        pointTo(outside());

        QVERIFY(activate(m_window.get()));
        QCOMPARE(activations, (QList<QVariantList>{{0}, {1}}));
        QCOMPARE(m_button->visualState(), int(XPButton2::Focused));
    }

    // A button that was hidden when its window became active (the affiliate box's) still
    // knows the window is active once shown.
    void shownInAnActiveWindow()
    {
        QVERIFY(activate(m_other.get()));
        m_button->hide();
        QVERIFY(activate(m_window.get()));
        m_button->show();
        pointTo(inside());
        QCOMPARE(m_button->visualState(), int(XPButton2::Hot));
    }

    void arrowKeysMoveTheFocus_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("forward");
        QTest::addRow("left") << int(Qt::Key_Left) << false;
        QTest::addRow("up") << int(Qt::Key_Up) << false;
        QTest::addRow("right") << int(Qt::Key_Right) << true;
        QTest::addRow("down") << int(Qt::Key_Down) << true;
    }
    void arrowKeysMoveTheFocus()
    {
        QFETCH(int, key);
        QFETCH(bool, forward);
        m_button->setFocus();
        QTest::keyClick(m_button, Qt::Key(key));
        QCOMPARE(QApplication::focusWidget(), forward ? m_after : m_before);
        QCOMPARE(m_button->visualState(), int(XPButton2::Normal));
    }

    void minimumSize_data()
    {
        QTest::addColumn<QSize>("requested");
        QTest::addColumn<QSize>("expected");
        QTest::addRow("narrow") << QSize(3, 30) << QSize(7, 30);
        QTest::addRow("low") << QSize(30, 2) << QSize(30, 7);
        QTest::addRow("nothing") << QSize(0, 0) << QSize(7, 7);
        QTest::addRow("smallest") << QSize(7, 7) << QSize(7, 7);
        QTest::addRow("just above") << QSize(8, 9) << QSize(8, 9);
    }
    void minimumSize()
    {
        QFETCH(QSize, requested);
        QFETCH(QSize, expected);
        m_button->resize(requested);
        QCOMPARE(m_button->size(), expected);
        // The shape follows the new size.
        const QRegion shape = m_button->mask();
        const int w = expected.width(), h = expected.height();
        QVERIFY(!shape.contains(QPoint(w - 1, h - 1)));
        QVERIFY(shape.contains(QPoint(w - 2, h - 1)));
        QVERIFY(shape.contains(QPoint(w - 1, h - 2)));
    }

    void accessKey_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("tried");   // the key to press with Alt, 0 for none
        QTest::addRow("no ampersand") << "第二步：宝贝采集" << "" << 0;
        QTest::addRow("doubled") << "&&Save" << "" << int(Qt::Key_S);
        QTest::addRow("first letter") << "&OK" << "o" << int(Qt::Key_O);
        QTest::addRow("ampersand and one letter") << "&x" << "" << int(Qt::Key_X);
        QTest::addRow("trailing ampersand") << "Save&" << "" << 0;
        QTest::addRow("after a doubled one") << "a&&b&C" << "c" << int(Qt::Key_C);
        QTest::addRow("in brackets") << "保存(&S)" << "s" << int(Qt::Key_S);
        QTest::addRow("doubled, then too short") << "&&&x" << "" << int(Qt::Key_X);
    }
    void accessKey()
    {
        QFETCH(QString, caption);
        QFETCH(QString, key);
        QFETCH(int, tried);
        QSignalSpy clicked(m_button, &QAbstractButton::clicked);
        // Through our own setter and through the base class, as a window holding a
        // QAbstractButton pointer would set it.
        for (bool throughBase : {false, true}) {
            m_button->setCaption(QString());
            if (throughBase)
                static_cast<QAbstractButton *>(m_button)->setText(caption);
            else
                m_button->setCaption(caption);
            const QChar k = m_button->accessKey();
            QCOMPARE(k.isNull() ? QString() : QString(k), key);
            if (tried) {
                clicked.clear();
                QTest::keyClick(m_window.get(), Qt::Key(tried), Qt::AltModifier);
                QCoreApplication::processEvents();
                QCOMPARE(clicked.count(), key.isEmpty() ? 0 : 1);
            }
        }
    }

    void properties()
    {
        QCOMPARE(XPButton2().caption(), QStringLiteral("&OK"));
        QCOMPARE(m_button->property("ForeColor").value<QColor>(), QColor(Qt::black));
        QCOMPARE(m_button->property("FocusRect").toBool(), true);
        QVERIFY(m_button->setProperty("Caption", QStringLiteral("第一步：列表采集")));
        QCOMPARE(m_button->text(), QStringLiteral("第一步：列表采集"));
        QVERIFY(m_button->setProperty("Enabled", false));
        QCOMPARE(m_button->visualState(), int(XPButton2::Disabled));
        QFont f = m_button->font();
        f.setPointSize(f.pointSize() + 4);
        QVERIFY(m_button->setProperty("Font", f));
        QCOMPARE(m_button->font().pointSize(), f.pointSize());
    }

    void snapMouseTo()
    {
        QCursor::setPos(0, 0);
        m_button->SnapMouseTo();
        QCOMPARE(QCursor::pos(), m_button->mapToGlobal(QPoint(40, 12)));
    }

    // In a row a layout squeezes, a button that keeps its caption stays as large as its
    // captions want, the longest one it has had included; one that does not is squeezed.
    void keepsItsCaptionInASqueezedLayout_data()
    {
        QTest::addColumn<bool>("keeps");
        QTest::addRow("keeps its caption") << true;
        QTest::addRow("does not") << false;
    }
    void keepsItsCaptionInASqueezedLayout()
    {
        QFETCH(bool, keeps);
        QWidget row;
        auto *layout = new QHBoxLayout(&row);
        auto *b = new XPButton2(QStringLiteral("保存"), &row);
        b->setKeepsCaption(keeps);
        layout->addWidget(b);
        layout->addWidget(new QLineEdit(&row));
        row.setFixedSize(60, 12);
        row.show();
        QVERIFY(QTest::qWaitForWindowExposed(&row));
        const QSize shortCaption = b->sizeHint();
        QCOMPARE(b->width() >= shortCaption.width() && b->height() >= shortCaption.height(), keeps);
        b->setCaption(QStringLiteral("第三步：继续上传"));
        const QSize longCaption = b->sizeHint();
        QCoreApplication::processEvents();
        QCOMPARE(b->width() >= longCaption.width(), keeps);
        b->setCaption(QStringLiteral("暂停"));
        QCoreApplication::processEvents();
        QCOMPARE(b->width() >= longCaption.width(), keeps);
    }

    void sizeHintFitsTheCaption_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addRow("short") << "&OK";
        QTest::addRow("long") << "第一步：列表采集 第二步：宝贝采集";
    }
    void sizeHintFitsTheCaption()
    {
        QFETCH(QString, caption);
        m_button->setCaption(caption);
        const QSize hint = m_button->sizeHint();
        const QFontMetrics fm(m_button->font());
        // The caption is drawn inside (3, 3, W−3, H−3).
        QVERIFY(hint.width() - 6 >= fm.horizontalAdvance(QString(caption).remove('&')));
        QVERIFY(hint.height() - 6 >= fm.height());
        QVERIFY(hint.width() >= 75 && hint.height() >= 23);
    }
};

QTEST_MAIN(TestXPButton)
#include "tst_xpbutton.moc"
