// What the window says when it opens, and its export of the list.
#include "windowfixture.h"
#include "widgets/xpbutton2.h"
#include "store/secretstore.h"

#include <QLabel>
#include <QLineEdit>

#include <QFile>

class TestWindowStart : public QObject
{
    Q_OBJECT
    IsolatedSettings settings;

    static RunRecord record(int status, bool unattended, qint64 uploadedNow)
    {
        RunRecord r;
        r.command = "run";
        r.started = QDateTime(QDate(2026, 12, 9), QTime(3, 30));
        r.ended = QDateTime(QDate(2026, 12, 9), QTime(3, 41));
        r.status = status;
        r.unattended = unattended;
        r.waiting = 2;
        r.refused = 1;
        r.uploadedNow = uploadedNow;
        return r;
    }

private slots:
    void firstStartGuides_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("shop");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("settingsDefault");
        QTest::newRow("neither") << "" << "" << "第一次使用：请先点“综合设置”，填写店铺地址和网站信息并保存，然后点“第一步”读取店铺宝贝" << true;
        QTest::newRow("no site") << "" << "shop.test" << "第一次使用：请先点“综合设置”，填写网站信息并保存，然后点“第一步”读取店铺宝贝" << true;
        QTest::newRow("both") << "mirror.velorix.test" << "shop.test" << "欢迎使用Tarnwick软件，软件已准备就绪" << false;
    }
    void firstStartGuides()
    {
        QFETCH(QString, server);
        QFETCH(QString, shop);
        QFETCH(QString, status);
        QFETCH(bool, settingsDefault);
        Fixture f;
        f.prepare();
        f.exec(QStringLiteral("UPDATE soft_config SET web_server='%1', guest_shop='%2'").arg(server, shop));
        f.open();
        QCOMPARE(f.status(), status);
        auto *settingsButton = f.get<XPButton2>("XPButton25");
        QCOMPARE(settingsButton->isDefault(), settingsDefault);
        if (settingsDefault) {
            // Enter, with the focus where the window put it, opens the settings page.
            QTRY_VERIFY(settingsButton->hasFocus());
            QTest::keyClick(f.handle(), Qt::Key_Return);
            QTRY_VERIFY(f.get("Frame3")->isVisible());
            f.window->grab().save(QDir::temp().filePath("velorix-window-firststart.png"));
        }
    }

    // The last unattended run, not a later one at the terminal, is what the status line shows.
    void lastUnattendedRunAtStart()
    {
        Fixture f;
        f.exec("UPDATE soft_config SET guest_shop='shop.test'");
        QVERIFY(f.prepare().addRunRecord(record(13, true, 5)));
        QVERIFY(f.prepare().addRunRecord(record(0, false, 0)));
        f.open();
        QCOMPARE(f.status(), QStringLiteral("上次定时运行 2026-12-09 03:41 结束：第3步出错停止（退出状态 13），本次上传 5 件，"
                                            "待上传 2 件，上传失败 1 件，状态不正常 0 件"));
        f.window->grab().save(QDir::temp().filePath("velorix-window-lastrun.png"));
    }

    // The menu's export writes the whole list, as the runner's export does, and says where.
    void menuExportsTheList()
    {
        Fixture f;
        f.exec("UPDATE soft_config SET guest_shop='shop.test'");
        f.addRow("1001", 1);
        f.addRow("1002", 3, 0, 2);
        f.exec("UPDATE itemlist SET title='逗号,\"引号\"' WHERE item='1002'");
        QTemporaryDir out;
        const QString path = out.filePath("list.csv");
        f.open();
        f.window->setExportPathChooser([&] { return path; });
        f.menuOnRow(0, "exportcsv");
        QTRY_COMPARE(f.status(), QStringLiteral("已导出 2 件宝贝到 ") + QDir::toNativeSeparators(path));
        QFile csv(path);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = csv.readAll().split('\n');
        QVERIFY(lines[0].startsWith("\xEF\xBB\xBF序列,宝贝标题"));
        QVERIFY2(lines[1].startsWith("2,\"逗号,\"\"引号\"\"\",9.90,1002,已上传,"), lines[1].constData());
        QVERIFY(lines[2].startsWith("1,标题1001,9.90,1001,已采集,"));
    }

    // The settings page says where the password is, and shows the keyring's once it answers;
    // a save where no keyring answers says that it stays in the profile.
    void settingsPageSaysWhereThePasswordIs()
    {
        MemorySecretStore keyring;
        Fixture f;
        f.session.password().setStore(&keyring);
        f.exec("UPDATE soft_config SET guest_shop='shop.test'");
        QVERIFY(f.prepare().setPassInKeyring());
        keyring.entries.insert(SecretStore::keyFor(f.profile.path(), "demoadmin"), "fromkeyring");
        f.open();
        f.click("XPButton25");
        auto *place = f.get<QLabel>("passplace");
        QCOMPARE(place->text(), QStringLiteral("密码保存在系统密钥环中"));
        QTRY_COMPARE(f.get<QLineEdit>("web_pass")->text(), QStringLiteral("fromkeyring"));
        f.window->grab().save(QDir::temp().filePath("velorix-window-passplace.png"));
        // Nothing was typed: leaving the page asks nothing.
        f.click("XPButton25");
        QVERIFY(f.notes.questions.isEmpty());
        QVERIFY(f.get("Frame1")->isVisible());

        keyring.reachable = false;
        f.click("XPButton25");
        f.get<QLineEdit>("web_pass")->setText("typednew");
        f.click("XPButton21");
        QTRY_COMPARE(place->text(), QStringLiteral("密码保存在配置文件中（无法连接到系统密钥环）"));
        QCOMPARE(f.session.db().loadSettings().value->web_pass, QStringLiteral("typednew"));
    }

    // A file that cannot be made: the status line says why, nothing is left behind.
    void exportIntoAMissingFolderSaysWhy()
    {
        Fixture f;
        f.exec("UPDATE soft_config SET guest_shop='shop.test'");
        f.addRow("1001", 1);
        QTemporaryDir out;
        const QString path = out.filePath("gone/list.csv");
        f.open();
        f.window->setExportPathChooser([&] { return path; });
        f.menuOnRow(0, "exportcsv");
        QTRY_VERIFY2(f.status().startsWith(QStringLiteral("导出失败：无法创建文件 ")), qPrintable(f.status()));
        QVERIFY(QDir(out.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    }
};

QTEST_MAIN(TestWindowStart)
#include "tst_windowstart.moc"
