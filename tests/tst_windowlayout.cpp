#include "windowfixture.h"
#include "app/appsetup.h"
#include "app/helpwindow.h"
#include "collect/liststep.h"
#include "sim/simulator.h"
#include "widgets/xpbutton2.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBrowser>

namespace {

// Where a widget is cut off by one of its parents, empty when it shows whole.
QString clipped(const QWidget *w)
{
    for (const QWidget *p = w->parentWidget(); p; p = p->parentWidget()) {
        const QRect inParent(w->mapTo(p, QPoint(0, 0)), w->size());
        if (!p->rect().contains(inParent))
            return QStringLiteral("%1 is cut off by %2").arg(w->objectName(), p->objectName());
        if (p->isWindow())
            break;
    }
    return {};
}

// What is wrong with the visible controls of a window: a button that cannot show its whole
// caption, a text box squeezed below its height, or a control cut off.
QStringList faults(const QWidget *window)
{
    QStringList bad;
    for (const XPButton2 *b : window->findChildren<XPButton2 *>()) {
        if (!b->isVisibleTo(window))
            continue;
        const QFontMetrics fm(b->font());
        const QString caption = QString(b->text()).remove(QLatin1Char('&'));
        // The caption is drawn inside (3, 3, W−3, H−3).
        if (fm.horizontalAdvance(caption) > b->width() - 6 || fm.height() > b->height() - 6)
            bad << QStringLiteral("%1 (%2×%3) cannot show \"%4\"").arg(b->objectName()).arg(b->width()).arg(b->height()).arg(caption);
        if (const QString c = clipped(b); !c.isEmpty())
            bad << c;
    }
    for (const QLineEdit *e : window->findChildren<QLineEdit *>()) {
        if (!e->isVisibleTo(window))
            continue;
        if (e->height() < e->sizeHint().height())
            bad << QStringLiteral("%1 is squeezed to %2 pixels").arg(e->objectName()).arg(e->height());
        if (const QString c = clipped(e); !c.isEmpty())
            bad << c;
    }
    return bad;
}

void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

} // namespace

// The window's size and growth, what it keeps between starts, its status line, and what
// every window shares: the captions shown whole, the icon, Qt's texts in Chinese.
class TestWindowLayout : public QObject
{
    Q_OBJECT
    IsolatedSettings settings;

private slots:
    void initTestCase() { appsetup::setup(); }

    // The list takes the room the window gains; sizes come back at the next start.
    void growsWithTheWindowAndKeepsItsSizes()
    {
        Fixture f;
        f.addRow("520000100001", 1);
        f.open();
        auto *list = f.list();
        QWidget *editor = f.get("Frame2");
        const QSize listBefore = list->size(), editorBefore = editor->size();
        const QSize grown = MainWindow::kDefaultSize + QSize(200, 120);
        f.handle()->resize(grown);
        QTRY_COMPARE(f.window->size(), grown);
        settle();
        QCOMPARE(list->size(), listBefore + QSize(200, 120));
        QCOMPARE(editor->height(), editorBefore.height());
        QCOMPARE(editor->width(), editorBefore.width() + 200);

        // The item-ID column dragged 40 pixels wider at its right edge, in the header.
        QHeaderView *header = list->header();
        const int c = ItemListModel::ItemColumn, width = header->sectionSize(c);
        const QPoint edge(header->sectionViewportPosition(c) + width - 1, header->height() / 2);
        QTest::mousePress(header->viewport(), Qt::LeftButton, {}, edge);
        QTest::mouseMove(header->viewport(), edge + QPoint(20, 0));
        QTest::mouseMove(header->viewport(), edge + QPoint(40, 0));
        QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, edge + QPoint(40, 0));
        QCOMPARE(header->sectionSize(c), width + 40);
        header->moveSection(header->visualIndex(ItemListModel::TimeColumn), 0);

        f.notes.answers = {true};
        QVERIFY(f.window->close());
        f.window.reset();
        f.open();
        QCOMPARE(f.window->size(), grown);
        QCOMPARE(f.list()->header()->sectionSize(c), width + 40);
        QCOMPARE(f.list()->header()->visualIndex(ItemListModel::TimeColumn), 0);
        QCOMPARE(f.list()->header()->sectionResizeMode(ItemListModel::TitleColumn), QHeaderView::Stretch);
    }

    // At the size of a first start, a whole 12-digit item ID and update time show, and every
    // column is in sight.
    void theDefaultSizeShowsWholeIdsAndTimes()
    {
        Fixture f;
        f.addRow("520000100001", 1);
        f.open();
        QCOMPARE(f.window->size(), MainWindow::kDefaultSize);
        settle();
        QTreeView *list = f.list();
        const QFontMetrics fm(list->font());
        for (int c : {int(ItemListModel::ItemColumn), int(ItemListModel::TimeColumn), int(ItemListModel::StateColumn)}) {
            const QModelIndex cell = f.window->model()->index(0, c);
            const QString text = cell.data().toString();
            const QRect r = list->visualRect(cell);
            QVERIFY2(fm.horizontalAdvance(text) + 6 <= r.width(), qPrintable(text));
            QVERIFY2(r.right() < list->viewport()->width(), qPrintable(text));
        }
        QVERIFY(!list->horizontalScrollBar()->isVisible());
    }

    // Both pages, the affiliate box and the mode dialog, at the first start's size and at the
    // smallest: every button shows its whole caption, no box is squeezed, nothing is cut off.
    void everyCaptionShowsWhole_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addRow("default") << MainWindow::kDefaultSize;
        QTest::addRow("minimum") << MainWindow::kMinimumSize;
    }
    void everyCaptionShowsWhole()
    {
        QFETCH(QSize, size);
        Fixture f;
        f.open();
        QCOMPARE(f.window->minimumSize(), MainWindow::kMinimumSize);
        f.handle()->resize(size);
        QTRY_COMPARE(f.window->size(), size);
        settle();
        QStringList bad = faults(f.window.get());
        f.click("XPButton28");
        settle();
        bad << faults(f.window.get());
        f.click("XPButton25");
        settle();
        QVERIFY(f.get("Frame3")->isVisible());
        bad << faults(f.window.get());
        QVERIFY2(bad.isEmpty(), qPrintable(bad.join(QStringLiteral("; "))));

        // The mode dialog, as it opens and made as small as it goes.
        f.click("XPButton25");
        f.click("Command1");
        auto *dialog = f.window->findChild<QDialog *>("Form2");
        QVERIFY(dialog);
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        bad = faults(dialog);
        QVERIFY(!dialog->minimumSize().isEmpty());
        dialog->windowHandle()->resize(dialog->minimumSize());
        settle();
        bad << faults(dialog);
        QVERIFY2(bad.isEmpty(), qPrintable(bad.join(QStringLiteral("; "))));
        dialog->close();
    }

    // A site's HTML page as a status: shown as the text it is, on one line, and the window
    // keeps its size.
    void theStatusLineIsPlainText()
    {
        Fixture f;
        f.open();
        auto *line = f.get<StatusLine>("Label1");
        const QSize window = f.window->size();
        const int height = line->height();
        const QString page = QStringLiteral("<h1 style=\"color:red\">拒绝访问</h1>\n<p>") + QString(20000, 'x')
                             + QStringLiteral("</p>");
        emit f.session.status(page);
        settle();
        QVERIFY2(line->text().startsWith(QStringLiteral("<h1 style=")), qPrintable(line->text().left(40)));
        // Drawn as those characters, not as a heading.
        QLabel plain;
        plain.setTextFormat(Qt::PlainText);
        plain.setFont(line->font());
        plain.setText(line->text());
        plain.resize(line->size());
        QCOMPARE(line->grab().toImage().convertToFormat(QImage::Format_RGB32),
                 plain.grab().toImage().convertToFormat(QImage::Format_RGB32));
        QCOMPARE(line->height(), height);
        QVERIFY(line->sizeHint().height() <= line->fontMetrics().height() + 4);
        QCOMPARE(f.window->size(), window);
        QCOMPARE(f.window->minimumSize(), MainWindow::kMinimumSize);
        QVERIFY(!f.status().contains(QLatin1Char('\n')));
        QVERIFY(f.status().size() <= StatusLine::kMaxChars);
        QVERIFY(line->toolTip().startsWith(QStringLiteral("<h1")));
    }

    void qtsOwnTextsAreChinese_data()
    {
        QTest::addColumn<QString>("system");
        QTest::addColumn<QString>("used");
        QTest::addRow("english system") << "en_US" << "zh_CN";
        QTest::addRow("no language") << "C" << "zh_CN";
        QTest::addRow("chinese") << "zh_CN" << "zh_CN";
        QTest::addRow("traditional") << "zh_TW" << "zh_TW";
    }
    void qtsOwnTextsAreChinese()
    {
        QFETCH(QString, system);
        QFETCH(QString, used);
        QCOMPARE(appsetup::uiLocale(QLocale(system)).name(), used);
        // setup() in initTestCase loaded the translations for this machine's locale.
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        const QString yes = box.button(QMessageBox::Yes)->text();
        QVERIFY2(yes != QStringLiteral("&Yes") && yes.contains(QStringLiteral("是")), qPrintable(yes));
        QLineEdit edit;
        std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        QStringList texts;
        for (QAction *a : menu->actions())
            if (!a->isSeparator())
                texts << a->text();
        QVERIFY2(texts.contains(QStringLiteral("复制(&C)")) || texts.join(' ').contains(QStringLiteral("复制")),
                 qPrintable(texts.join(' ')));
    }

    void everyWindowHasTheIcon()
    {
        Fixture f;
        f.open();
        f.window->setUrlOpener([](const QUrl &) { return false; });
        f.click("XPButton26");
        f.click("Command1");
        QList<QWidget *> windows{f.window.get(), f.window->findChild<QDialog *>("Form2"),
                                 f.window->findChild<QTextBrowser *>("helpWindow")};
        for (QWidget *w : windows) {
            QVERIFY(w && w->windowHandle());
            QVERIFY2(!w->windowHandle()->icon().isNull(), qPrintable(w->objectName()));
            QCOMPARE(w->windowIcon().cacheKey(), QApplication::windowIcon().cacheKey());
        }
        QVERIFY(appsetup::programIcon().pixmap(16).toImage().pixelColor(8, 8).alpha() > 0);
    }

    // Without a browser the help button opens the guide inside the program, once.
    void helpOpensInsideWithoutABrowser()
    {
        Fixture f;
        f.open();
        QStringList asked;
        bool browser = true;
        f.window->setUrlOpener([&](const QUrl &u) {
            asked << u.toString();
            return browser;
        });
        f.click("XPButton26");
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked[0].endsWith(QStringLiteral("/help.html")));
        QVERIFY(!f.window->findChild<QTextBrowser *>("helpWindow"));

        browser = false;
        f.click("XPButton26");
        f.click("XPButton26");
        const auto shown = f.window->findChildren<QTextBrowser *>("helpWindow");
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown[0]->isVisible() && shown[0]->isWindow());
        const QString guide = shown[0]->toPlainText();
        for (const char *part : {"状态不正常", "上传失败", "只显示需处理的宝贝", "Profile.log", "Profile-", "velorix-cli run",
                                 "0 2 * * *", ".local/share/Tarnwick/Velorix/db/Profile.db"})
            QVERIFY2(guide.contains(QString::fromUtf8(part)), part);
    }

    // The exit question says that a running step's work stops.
    void theExitQuestionSaysWhatStops()
    {
        SimOptions o;
        o.slowMs = 5000;
        Simulator sim(o);
        QVERIFY(sim.listen());
        qputenv("VELORIX_CONNECT_TO", "127.0.0.1:" + QByteArray::number(sim.port()));
        Fixture f;
        f.open();
        f.session.listStep().setIntervals(1, 1);
        f.get<QLineEdit>("guest_shop")->setText(o.shopHost);
        f.session.listStep().start(CollectMode::Resume);
        QVERIFY(f.session.listStep().running());
        f.notes.answers = {false};
        QVERIFY(!f.window->close());
        QCOMPARE(f.notes.questions,
                 QStringList({"退出|第一步（列表采集）正在运行，退出将中止正在进行的工作。\n是否确定退出？"}));
        QVERIFY(f.session.listStep().running());
        f.session.listStep().click();   // pause: the page in flight is let go
    }
};

QTEST_MAIN(TestWindowLayout)
#include "tst_windowlayout.moc"
