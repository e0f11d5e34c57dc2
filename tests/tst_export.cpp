// The item list exported for spreadsheets and scripts, read back by readers of their own.
#include "store/itemexport.h"
#include "store/profiledb.h"
#include "testsupport.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QtTest>

class TestExport : public QObject
{
    Q_OBJECT
    TempProfile t;
    ProfileDb db;

    // The rows: id, title, state, itemstate, errcode, reason, click URL, description address.
    struct Row {
        const char *item, *title;
        int state, itemstate, errcode;
        const char *reason, *click, *desc;
    };
    const QList<Row> rows = {
        {"1001", "连衣裙, 包邮", 3, 0, 0, "", "http://s.click.taobao.com/t?e=1,2", "http://dsc.taobaocdn.com/i1/1001/desc.js"},
        {"1002", "他说\"好\"\n第二行\r\n第三行", 1, 0, 1, "标题含\"违禁\",词", "", "http://dsc.taobaocdn.com/i1/1002/desc.js"},
        {"1003", "夏装 🌸👗 新款", 0, 0, 0, "", "", ""},
        {"1004", "=HYPERLINK(\"http://x\")", 1, 1, 0, "页面已删除", "", "http://dsc.taobaocdn.com/i1/1004/"},
    };

    QByteArray exported(ItemExport::Format format, const QStringList &states = {})
    {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        ItemExport e(db, out, format, states);
        if (!e.writeAll())
            qWarning("export failed: %s", qPrintable(e.error()));
        return out.data();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(db.open(t.path()) != ProfileDb::OpenResult::Failed);
        qint64 byid = 10;
        for (const Row &r : rows) {
            const auto id = db.insertListed(QString::fromUtf8(r.item), QString::fromUtf8(r.title), "p.jpg", "9.90", byid--);
            QVERIFY(id.ok());
            QSqlQuery q(db.database());
            QVERIFY(q.prepare("UPDATE itemlist SET state=?, itemstate=?, errcode=?, errdecription=?, click_url=?, web_url=? WHERE id=?"));
            for (const QVariant &v : QVariantList{r.state, r.itemstate, r.errcode, QString::fromUtf8(r.reason),
                                                  QString::fromUtf8(r.click), QString::fromUtf8(r.desc), id.value})
                q.addBindValue(v);
            QVERIFY(q.exec());
        }
    }

    // RFC 4180 as Python's csv module reads it: every field comes back as it was, the header
    // first, in the list's order, the byte-order mark in front.
    void csvReadsBackWithACsvReader()
    {
        const QString python = QStandardPaths::findExecutable("python3");
        if (python.isEmpty())
            QSKIP("python3 is not installed (scripts/setup installs it)");
        const QByteArray csv = exported(ItemExport::Format::Csv);
        QVERIFY(csv.startsWith("\xEF\xBB\xBF序列,宝贝标题,价格,宝贝ID,状态,更新时间,推广链接,描述地址,原因\r\n"));
        QProcess p;
        p.start(python, {"-c", "import csv,io,json,sys\n"
                               "t=sys.stdin.buffer.read().decode('utf-8-sig')\n"
                               "print(json.dumps(list(csv.reader(io.StringIO(t, newline='')))))"});
        p.write(csv);
        p.closeWriteChannel();
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        const QJsonArray table = QJsonDocument::fromJson(p.readAllStandardOutput()).array();
        QCOMPARE(table.size(), rows.size() + 1);
        QCOMPARE(table[0].toArray().size(), 9);
        for (int i = 0; i < rows.size(); ++i) {
            const QJsonArray f = table[i + 1].toArray();
            QCOMPARE(f.size(), 9);
            QCOMPARE(f[3].toString(), QString::fromUtf8(rows[i].item));
            const QString title = QString::fromUtf8(rows[i].title);
            // A formula is kept from running by a leading apostrophe; every other text is as stored.
            QCOMPARE(f[1].toString(), title.startsWith('=') ? "'" + title : title);
            QCOMPARE(f[6].toString(), QString::fromUtf8(rows[i].click));
            QCOMPARE(f[7].toString(), QString::fromUtf8(rows[i].desc));
        }
        QCOMPARE(table[1].toArray()[4].toString(), QStringLiteral("已上传"));
        QCOMPARE(table[2].toArray()[4].toString(), QStringLiteral("上传失败"));
        QCOMPARE(table[2].toArray()[8].toString(), QStringLiteral("标题含\"违禁\",词"));
        QCOMPARE(table[4].toArray()[4].toString(), QStringLiteral("状态不正常"));
        QCOMPARE(table[4].toArray()[8].toString(), QStringLiteral("页面已删除"));
    }

    void csvField_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("field");
        QTest::newRow("plain") << "abc" << "abc";
        QTest::newRow("comma") << "a,b" << "\"a,b\"";
        QTest::newRow("quote") << "a\"b" << "\"a\"\"b\"";
        QTest::newRow("line break") << "a\nb" << "\"a\nb\"";
        QTest::newRow("formula") << "=1+1" << "'=1+1";
        QTest::newRow("at") << "@SUM(A1)" << "'@SUM(A1)";
        QTest::newRow("negative number") << "-5.5" << "-5.5";
        QTest::newRow("emoji") << "🌸" << "🌸";
    }
    void csvField()
    {
        QFETCH(QString, value);
        QFETCH(QString, field);
        QCOMPARE(ItemExport::csvField(value), field);
    }

    void jsonReadsBack()
    {
        QJsonParseError error;
        const QJsonArray items = QJsonDocument::fromJson(exported(ItemExport::Format::Json), &error).array();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(items.size(), rows.size());
        for (int i = 0; i < rows.size(); ++i) {
            const QJsonObject o = items[i].toObject();
            QCOMPARE(o.value("item").toString(), QString::fromUtf8(rows[i].item));
            QCOMPARE(o.value("title").toString(), QString::fromUtf8(rows[i].title));
            QCOMPARE(o.value("click_url").toString(), QString::fromUtf8(rows[i].click));
            QCOMPARE(o.value("description_url").toString(), QString::fromUtf8(rows[i].desc));
            QVERIFY(o.value("id").toInteger() > 0);
        }
        QCOMPARE(items[1].toObject().value("reason").toString(), QString::fromUtf8(rows[1].reason));
    }

    void statesLimitTheRows_data()
    {
        QTest::addColumn<QString>("states");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("uploaded") << "uploaded" << QStringList{"1001"};
        QTest::newRow("by label") << "上传失败" << QStringList{"1002"};
        QTest::newRow("two") << "uncollected,abnormal" << QStringList{"1003", "1004"};
        QTest::newRow("none there") << "edited" << QStringList{};
    }
    void statesLimitTheRows()
    {
        QFETCH(QString, states);
        QFETCH(QStringList, items);
        QStringList where;
        QString error;
        QVERIFY(ItemExport::parseStates(states, &where, &error));
        QStringList got;
        for (const QJsonValue &v : QJsonDocument::fromJson(exported(ItemExport::Format::Json, where)).array())
            got << v.toObject().value("item").toString();
        QCOMPARE(got, items);
    }

    void unknownStateIsNamed()
    {
        QStringList where;
        QString error;
        QVERIFY(!ItemExport::parseStates("uploaded,gone", &where, &error));
        QVERIFY2(error.contains("gone") && error.contains("abnormal"), qPrintable(error));
    }

    // A device that takes nothing: the export stops with why, it does not claim rows written.
    void failedWriteSaysWhy()
    {
        QBuffer out;   // opened to be read only: every write fails
        out.open(QIODevice::ReadOnly);
        ItemExport e(db, out, ItemExport::Format::Csv);
        QVERIFY(!e.writeAll());
        QVERIFY2(e.error().startsWith(QStringLiteral("导出失败：无法写入")), qPrintable(e.error()));
    }
};

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
