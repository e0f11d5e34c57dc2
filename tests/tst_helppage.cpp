#include "app/helpwindow.h"
#include "app/mainwindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QUrl>
#include <QtTest>

// This program is built into prefix/bin with the guide in prefix/share/velorix, the layout
// of an installed copy, so the window's look-up is tried as it runs once installed.
class TestHelpPage : public QObject
{
    Q_OBJECT

    static QString beside() { return QCoreApplication::applicationDirPath() + QStringLiteral("/help.html"); }
    static QString installed()
    {
        return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/velorix/help.html"));
    }
    static QString shown() { return QUrl(links::helpPage()).toLocalFile(); }

private slots:
    void init() { QFile::remove(beside()); }
    void cleanup() { QFile::remove(beside()); }

    void installedGuideIsFoundUnderShare()
    {
        QVERIFY2(QFile::exists(installed()), qPrintable(installed()));
        QCOMPARE(shown(), installed());
    }

    void aGuideBesideTheProgramComesFirst()
    {
        QFile f(beside());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("<html></html>");
        f.close();
        QCOMPARE(shown(), beside());
    }

    // The window that shows the guide when no browser starts: the installed guide, or what
    // is missing; a file too large to be the guide is not read.
    void theGuideWindowReadsTheGuide()
    {
        QCOMPARE(HelpWindow(installed()).documentTitle(), QStringLiteral("Velorix 使用帮助"));
        QFile f(beside());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(HelpWindow::kMaxBytes + 1, 'x'));
        f.close();
        for (const QString &file : {beside(), installed() + QStringLiteral(".missing")}) {
            const QString shown = HelpWindow(file).toPlainText();
            QCOMPARE(shown, QStringLiteral("无法打开使用帮助文件：") + file);
        }
    }

    void withNoGuideAnywhereItPointsBesideTheProgram()
    {
        const QString away = installed() + QStringLiteral(".away");
        QVERIFY(QFile::rename(installed(), away));
        const QString page = shown();
        QVERIFY(QFile::rename(away, installed()));
        QCOMPARE(page, beside());
    }
};

QTEST_MAIN(TestHelpPage)
#include "tst_helppage.moc"
