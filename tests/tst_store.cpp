#include "store/itemstate.h"
#include "store/profiledb.h"
#include "store/initialsettings.h"
#include "testsupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QtTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

class TestStore : public QObject
{
    Q_OBJECT

    static QStringList columns(ProfileDb &db, const QString &table)
    {
        QStringList names;
        QSqlQuery q(db.database());
        q.exec(QStringLiteral("PRAGMA table_info(%1)").arg(table));
        while (q.next())
            names << q.value(1).toString();
        return names;
    }
    static QVariant scalar(ProfileDb &db, const QString &sql)
    {
        QSqlQuery q(db.database());
        if (!q.exec(sql) || !q.next())
            return {};
        return q.value(0);
    }

private slots:
    void createsMissingFileWithSchemaAndSettingsRow()
    {
        TempProfile t;
        ProfileDb db;
        QCOMPARE(db.open(t.path()), ProfileDb::OpenResult::Created);
        QVERIFY(QFile::exists(t.path()));

        QStringList softConfig = ProfileDb::softConfigColumns();
        QCOMPARE(columns(db, "soft_config"), softConfig);
        QStringList itemlist = {"id", "item", "title", "money", "web_pic", "click_url", "web_title",
                                "web_key", "web_doc", "web_content", "web_url", "state", "itemstate",
                                "byid", "html", "errcode", "errdecription", "updatetime", "posting"};
        QCOMPARE(columns(db, "itemlist"), itemlist);
        QCOMPARE(scalar(db, "PRAGMA user_version").toInt(), ProfileDb::kSchemaVersion);
        QCOMPARE(scalar(db, "PRAGMA journal_mode").toString(), QStringLiteral("wal"));
        QCOMPARE(scalar(db, "SELECT count(*) FROM soft_config").toInt(), 1);

        const auto c = db.loadSettings().value;
        QVERIFY(c);
        QCOMPARE(c->web_server, initial::webServer);
        QCOMPARE(c->web_user, initial::webUser);
        QCOMPARE(c->web_pass, QStringLiteral("plumo"));
        QCOMPARE(c->web_adminpath, QStringLiteral("admin"));
        QCOMPARE(c->alimama, QString());
        QCOMPARE(c->pageid, 0);
        for (const RuleGroup *g : {&c->rules.title, &c->rules.doc, &c->rules.key}) {
            QCOMPARE(g->replaceOn, false);
            QCOMPARE(g->addOn, false);
            QCOMPARE(g->addBefore, false);
        }

        // A second start opens the same file as it is.
        db.close();
        QCOMPARE(db.open(t.path()), ProfileDb::OpenResult::Opened);
        QCOMPARE(db.loadSettings().value->web_user, initial::webUser);
    }

    void insertedRowTakesDefaults()
    {
        TempProfile t;
        ProfileDb db;
        db.open(t.path());
        const QDateTime before = QDateTime::currentDateTime().addSecs(-2);
        const qint64 id = db.insertListed("1001", "标题", "http://p/1.jpg", "12.50", 3).value;
        QVERIFY(id > 0);
        const auto r = db.itemById(id).value;
        QVERIFY(r);
        QCOMPARE(r->state, 0);
        QCOMPARE(r->itemstate, 0);
        QCOMPARE(r->errcode, 0);
        QVERIFY(!r->html.has_value());
        const QDateTime stamp = QDateTime::fromString(r->updatetime, "yyyy-MM-dd HH:mm:ss");
        QVERIFY2(stamp.isValid() && stamp >= before && stamp <= QDateTime::currentDateTime().addSecs(2),
                 qPrintable(r->updatetime));
        QCOMPARE(db.nextUncollected().value, QStringLiteral("1001"));
    }

    void oneRowPerItem()
    {
        TempProfile t;
        ProfileDb db;
        db.open(t.path());
        QVERIFY(db.insertListed("77", "a", "", "", 1).value > 0);
        QVERIFY(!db.insertListed("77", "b", "", "", 2).ok());
        QCOMPARE(scalar(db, "SELECT count(*) FROM itemlist").toInt(), 1);
        QCOMPARE(db.itemByItem("77").value->title, QStringLiteral("a"));
    }

    void idsAreNeverReused()
    {
        TempProfile t;
        ProfileDb db;
        db.open(t.path());
        const qint64 first = db.insertListed("1", "", "", "", 1).value;
        const qint64 second = db.insertListed("2", "", "", "", 2).value;
        db.deleteById(second);
        QVERIFY(!db.itemById(second).value);
        QVERIFY(db.insertListed("3", "", "", "", 3).value > second);
        QVERIFY(db.itemById(first).value);
    }

    void selectionsFollowTheCodesAndOrder()
    {
        TempProfile t;
        ProfileDb db;
        db.open(t.path());
        // item, byid, state, itemstate, errcode
        const struct { const char *item; int byid, state, itemstate, errcode; } rows[] = {
            {"a", 5, 0, 0, 0}, {"b", 9, 0, 1, 0}, {"c", 9, 0, 0, 0}, {"d", 9, 0, 0, 0},
            {"e", 1, 1, 0, 0}, {"f", 1, 2, 0, 0}, {"g", 0, 2, 0, 1}, {"h", 0, 1, 1, 0}, {"i", 0, 3, 0, 0},
        };
        for (const auto &r : rows) {
            const qint64 id = db.insertListed(r.item, r.item, "", "", r.byid).value;
            QSqlQuery q(db.database());
            q.prepare("UPDATE itemlist SET state=?, itemstate=?, errcode=? WHERE id=?");
            q.addBindValue(r.state);
            q.addBindValue(r.itemstate);
            q.addBindValue(r.errcode);
            q.addBindValue(id);
            QVERIFY(q.exec());
        }
        // Step 2: highest byid, then highest id; abnormal rows never.
        QCOMPARE(db.nextUncollected().value, QStringLiteral("d"));
        // Step 3: lowest byid, then highest id; refused (g), abnormal (h) and uploaded (i) never.
        QCOMPARE(db.nextToUpload().value->item, QStringLiteral("f"));

        QStringList order;
        for (const ItemListRow &r : db.listRows().value)
            order << r.item;
        QCOMPARE(order, QStringList({"d", "c", "b", "a", "f", "e", "i", "h", "g"}));

        QVERIFY(db.markAbnormal("d"));
        QCOMPARE(db.nextUncollected().value, QStringLiteral("c"));
        QVERIFY(db.resetAllStates());
        QCOMPARE(db.nextUncollected().value, QStringLiteral("d"));
        QVERIFY(!db.nextToUpload().value);
    }

    void pageId()
    {
        TempProfile t;
        ProfileDb db;
        db.open(t.path());
        QVERIFY(db.setPageId(7));
        QCOMPARE(db.pageId().value, 7);
        QVERIFY(db.resetPageId());
        QCOMPARE(db.pageId().value, 0);
    }

    void emptySettingsTable()
    {
        TempProfile t;
        ProfileDb db;
        db.open(t.path());
        QSqlQuery(db.database()).exec("DELETE FROM soft_config");
        QVERIFY(!db.loadSettings().value);
        QCOMPARE(db.pageId().value, 0);
        db.savePublisherId("123");
        db.setPageId(4);
        QCOMPARE(scalar(db, "SELECT count(*) FROM soft_config").toInt(), 0);

        QVERIFY(db.saveSiteSettings("user1", "pass1", "site.test", ""));
        QVERIFY(db.saveSiteSettings("user2", "pass2", "site2.test", "adm"));
        QCOMPARE(scalar(db, "SELECT count(*) FROM soft_config").toInt(), 1);
        QCOMPARE(db.loadSettings().value->web_user, QStringLiteral("user2"));

        QSqlQuery(db.database()).exec("DELETE FROM soft_config");
        RuleSet rules;
        rules.title.replaceOn = true;
        rules.title.find = "x";
        QVERIFY(db.saveRules(rules));
        QCOMPARE(scalar(db, "SELECT count(*) FROM soft_config").toInt(), 1);
        QCOMPARE(db.loadSettings().value->rules.title.find, QStringLiteral("x"));
    }

    void textsAreStoredVerbatim_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("quote") << QStringLiteral("it's");
        QTest::newRow("quotes and backslash") << QStringLiteral("a'b\"c\\d''");
        QTest::newRow("injection") << QStringLiteral("x'; DROP TABLE itemlist; --");
        QTest::newRow("chinese") << QStringLiteral("测试“宝贝”，淘宝");
    }
    void textsAreStoredVerbatim()
    {
        QFETCH(QString, text);
        TempProfile t;
        ProfileDb db;
        db.open(t.path());
        const qint64 id = db.insertListed(text, text, text, text, 1).value;
        QVERIFY(id > 0);
        QCOMPARE(db.saveEdit(id, text + "1", text + "2", text + "3").value, ProfileDb::Write::Done);
        QVERIFY(db.markAbnormal(text));
        auto r = db.itemByItem(text).value;
        QVERIFY(r);
        QCOMPARE(r->item, text);
        QCOMPARE(r->title, text);
        QCOMPARE(r->web_pic, text);
        QCOMPARE(r->money, text);
        QCOMPARE(r->web_title, text + "1");
        QCOMPARE(r->web_key, text + "2");
        QCOMPARE(r->web_doc, text + "3");
        QCOMPARE(r->state, 2);
        QCOMPARE(r->itemstate, 1);

        db.savePublisherId(text);
        QVERIFY(db.saveSiteSettings(text, text, text, text));
        const RuleGroup g{true, text, text, true, text, true};
        QVERIFY(db.saveRules({g, g, g}));
        const auto c = db.loadSettings().value;
        QCOMPARE(c->alimama, text);
        QCOMPARE(c->web_user, text);
        QCOMPARE(c->web_server, text);
        QCOMPARE(c->rules.title.find, text);
        QCOMPARE(c->rules.key.addText, text);
        QCOMPARE(c->rules.doc.replacement, text);
        QVERIFY(db.deleteById(id));
        QCOMPARE(scalar(db, "SELECT count(*) FROM itemlist").toInt(), 0);
    }

    void saveEditOfVanishedRowChangesNothing()
    {
        TempProfile t;
        ProfileDb db;
        db.open(t.path());
        QCOMPARE(db.saveEdit(42, "a", "b", "c").value, ProfileDb::Write::NoRow);
        QCOMPARE(scalar(db, "SELECT count(*) FROM itemlist").toInt(), 0);
    }

    void unusableFilesAreLeftUntouched_data()
    {
        QTest::addColumn<QByteArray>("sql");
        QTest::addColumn<QByteArray>("garbage");
        QTest::newRow("not a database") << QByteArray() << QByteArray("this is not a database, just text\n");
        QTest::newRow("other schema") << QByteArray("CREATE TABLE other(x)") << QByteArray();
        QTest::newRow("missing column") << QByteArray("CREATE TABLE soft_config(web_server);"
                                                     "CREATE TABLE itemlist(id, item)") << QByteArray();
        QTest::newRow("newer version") << QByteArray("PRAGMA user_version=99") << QByteArray();
    }
    void unusableFilesAreLeftUntouched()
    {
        QFETCH(QByteArray, sql);
        QFETCH(QByteArray, garbage);
        TempProfile t;
        QDir().mkpath(QFileInfo(t.path()).path());
        if (!sql.isEmpty()) {
            QSqlDatabase raw = QSqlDatabase::addDatabase("QSQLITE", "raw");
            raw.setDatabaseName(t.path());
            QVERIFY(raw.open());
            if (sql.startsWith("PRAGMA")) {
                // our tables, but stamped by a newer program
                QSqlQuery(raw).exec("CREATE TABLE soft_config(" + ProfileDb::softConfigColumns().join(',') + ")");
                QSqlQuery(raw).exec("CREATE TABLE itemlist(" + ProfileDb::itemlistColumns().join(',') + ")");
            }
            for (const QByteArray &s : sql.split(';'))
                QVERIFY(QSqlQuery(raw).exec(QString::fromLatin1(s)));
            raw.close();
            raw = QSqlDatabase();
            QSqlDatabase::removeDatabase("raw");
        } else {
            QFile f(t.path());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(garbage);
        }
        QFile before(t.path());
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray bytes = before.readAll();
        before.close();

        ProfileDb db;
        QCOMPARE(db.open(t.path()), ProfileDb::OpenResult::Failed);
        QVERIFY(!db.lastError().isEmpty());
        QVERIFY(!db.isOpen());
        QFile after(t.path());
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), bytes);
        QVERIFY(!QFile::exists(t.path() + "-wal"));
    }

    // A row written just before the process is killed is there at the next start.
    void killedProcessLosesNothing()
    {
        TempProfile t;
        {
            ProfileDb db;
            QCOMPARE(db.open(t.path()), ProfileDb::OpenResult::Created);
        }
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            ProfileDb db;
            db.open(t.path());
            db.insertListed("killed", "写入后被杀", "", "", 1);
            db.savePublisherId("99887766");
            ::kill(::getpid(), SIGKILL);
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFSIGNALED(status));

        ProfileDb db;
        QCOMPARE(db.open(t.path()), ProfileDb::OpenResult::Opened);
        QCOMPARE(scalar(db, "PRAGMA integrity_check").toString(), QStringLiteral("ok"));
        QVERIFY(db.itemByItem("killed").value);
        QCOMPARE(db.loadSettings().value->alimama, QStringLiteral("99887766"));
    }

    // A profile of the previous version gains the new settings and keeps every row and value,
    // also when a column it gains is there already (a step that ran half-way, or by hand).
    void migratesAVersion1Profile_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::newRow("as it was") << QByteArray();
        QTest::newRow("a column already added") << QByteArray("ALTER TABLE soft_config ADD COLUMN guest_shop TEXT");
        QTest::newRow("the upload mark already added")
            << QByteArray("ALTER TABLE itemlist ADD COLUMN posting INTEGER NOT NULL DEFAULT 0");
    }
    void migratesAVersion1Profile()
    {
        QFETCH(QByteArray, before);
        TempProfile t;
        QDir().mkpath(QFileInfo(t.path()).path());
        {
            QSqlDatabase raw = QSqlDatabase::addDatabase("QSQLITE", "v1");
            raw.setDatabaseName(t.path());
            QVERIFY(raw.open());
            QSqlQuery q(raw);
            QVERIFY(q.exec("CREATE TABLE soft_config(" + ProfileDb::softConfigColumns(1).join(',') + ")"));
            QVERIFY(q.exec("CREATE TABLE itemlist(" + ProfileDb::itemlistColumns(1).join(',') + ")"));
            QVERIFY(q.exec("CREATE INDEX itemlist_upload ON itemlist(errcode, itemstate, state, byid, id)"));
            QVERIFY(q.exec("INSERT INTO soft_config(web_server, web_user, alimama, pageid, t_1, ttx_1) "
                           "VALUES ('old.site', 'olduser', '123', 4, 1, 'find')"));
            QVERIFY(q.exec("INSERT INTO itemlist(id, item, title, state, itemstate, errcode, byid) "
                           "VALUES (7, '555', '旧宝贝', 3, 0, 0, 2)"));
            if (!before.isEmpty())
                QVERIFY(q.exec(QString::fromLatin1(before)));
            QVERIFY(q.exec("PRAGMA user_version=1"));
            raw.close();
        }
        QSqlDatabase::removeDatabase("v1");

        ProfileDb db;
        QVERIFY2(db.open(t.path()) == ProfileDb::OpenResult::Opened, qPrintable(db.lastError()));
        QCOMPARE(scalar(db, "PRAGMA user_version").toInt(), ProfileDb::kSchemaVersion);
        const auto c = db.loadSettings().value;
        QVERIFY(c);
        QCOMPARE(c->web_server, QStringLiteral("old.site"));
        QCOMPARE(c->alimama, QStringLiteral("123"));
        QCOMPARE(c->pageid, 4);
        QVERIFY(c->rules.title.replaceOn);
        QCOMPARE(c->rules.title.find, QStringLiteral("find"));
        QCOMPARE(c->guest_shop, QString());
        const auto row = db.itemById(7).value;
        QVERIFY(row);
        QCOMPARE(row->title, QStringLiteral("旧宝贝"));
        QCOMPARE(row->state, 3);
        QCOMPARE(row->posting, false);
        // The picks' own indexes take the place of the earlier ones.
        QCOMPARE(scalar(db, "SELECT group_concat(name, ' ') FROM (SELECT name FROM sqlite_master WHERE type='index' "
                            "AND name LIKE 'itemlist%' ORDER BY name)").toString(),
                 QStringLiteral("itemlist_collect_pick itemlist_item itemlist_order itemlist_upload_pick"));
        QVERIFY(db.saveShopAddress("shop.test"));
        QVERIFY(db.saveShopSid("998877"));
        db.close();
        QCOMPARE(db.open(t.path()), ProfileDb::OpenResult::Opened);
        QCOMPARE(db.loadSettings().value->guest_shop, QStringLiteral("shop.test"));
        QCOMPARE(db.loadSettings().value->shopsid, QStringLiteral("998877"));
    }

    // A migration that cannot run says why, and leaves the file as it was.
    void failedMigrationKeepsItsReason()
    {
        TempProfile t;
        QDir().mkpath(QFileInfo(t.path()).path());
        {
            QSqlDatabase raw = QSqlDatabase::addDatabase("QSQLITE", "v1view");
            raw.setDatabaseName(t.path());
            QVERIFY(raw.open());
            QSqlQuery q(raw);
            QVERIFY(q.exec("CREATE TABLE settings_v1(" + ProfileDb::softConfigColumns(1).join(',') + ")"));
            QVERIFY(q.exec("CREATE VIEW soft_config AS SELECT * FROM settings_v1"));
            QVERIFY(q.exec("CREATE TABLE itemlist(" + ProfileDb::itemlistColumns().join(',') + ")"));
            QVERIFY(q.exec("PRAGMA user_version=1"));
            raw.close();
        }
        QSqlDatabase::removeDatabase("v1view");
        ProfileDb db;
        QCOMPARE(db.open(t.path()), ProfileDb::OpenResult::Failed);
        QCOMPARE(db.lastError(), QStringLiteral("无法升级数据库：数据库错误"));
        QVERIFY2(db.lastErrorDetail().contains("view"), qPrintable(db.lastErrorDetail()));
        ProfileDb again;
        QCOMPARE(again.open(t.path()), ProfileDb::OpenResult::Failed);
        QCOMPARE(again.lastError(), db.lastError());
    }

    // A row set aside leaves Step 2's selection whatever it holds; a refusal keeps its reason, and
    // collecting the row takes the set-aside reason back.
    void setAsideLeavesTheSelection()
    {
        TempProfile t;
        ProfileDb db;
        QCOMPARE(db.open(t.path()), ProfileDb::OpenResult::Created);
        QVERIFY(db.insertListed("1", "a", "", "", 1).ok());
        QVERIFY(db.insertListed("2", "b", "", "", 2).ok());
        QVERIFY(db.setRefused(db.itemByItem("2").value->id, QStringLiteral("该宝贝不允许发布")).ok());
        QCOMPARE(db.nextUncollected().value, QStringLiteral("2"));   // refused, then listed afresh: waiting
        QVERIFY(db.setAside("2", QStringLiteral("页面读取失败")).ok());
        QVERIFY(db.setAside("1", QStringLiteral("页面读取失败")).ok());
        QCOMPARE(db.nextUncollected().value, QString());
        QCOMPARE(db.itemByItem("2").value->errdecription, QStringLiteral("该宝贝不允许发布"));
        QCOMPARE(db.itemByItem("1").value->errdecription, QStringLiteral("页面读取失败"));
        QCOMPARE(db.additem("1", {}, QString()).value, ProfileDb::Write::Done);
        QCOMPARE(db.itemByItem("1").value->itemstate, 0);
        QCOMPARE(db.itemByItem("1").value->errdecription, QString());
    }

    // One rule of what needs the operator: the counts, the list's labels and its filter agree,
    // whatever codes a row holds (a refused row listed afresh, one uploaded by hand since, ...).
    void needsTheOperatorIsOneRule()
    {
        TempProfile t;
        ProfileDb db;
        QCOMPARE(db.open(t.path()), ProfileDb::OpenResult::Created);
        int n = 0;
        for (int state = 0; state <= 3; ++state)
            for (int itemstate = 0; itemstate <= 1; ++itemstate)
                for (int errcode = 0; errcode <= 1; ++errcode) {
                    const QString item = QString::number(++n);
                    QVERIFY(db.insertListed(item, "t", "", "", n).ok());
                    QSqlQuery q(db.database());
                    QVERIFY(q.exec(QStringLiteral("UPDATE itemlist SET state=%1, itemstate=%2, errcode=%3 WHERE item='%4'")
                                       .arg(state).arg(itemstate).arg(errcode).arg(item)));
                }
        const auto rows = db.listRows().value;
        qint64 refused = 0, abnormal = 0;
        for (const ItemListRow &r : rows) {
            refused += listlabel(r) == QStringLiteral("上传失败");
            abnormal += listlabel(r) == QStringLiteral("状态不正常");
            QCOMPARE(!needreason(r).isEmpty(), itemstate::refused(r.state, r.itemstate, r.errcode) || r.itemstate != 0);
        }
        QCOMPARE(refused, 3);   // states 0, 1 and 2 with errcode 1; uploaded by hand since does not count
        QCOMPARE(db.counts().value.refused, refused);
        QCOMPARE(db.counts().value.abnormal, abnormal);
    }

    void listedItemsResumeOrOverwrite()
    {
        TempProfile t;
        ProfileDb db;
        db.open(t.path());
        bool inserted = false;
        QCOMPARE(db.additemlist({"9", "列表标题", "p.jpg", "12.00", 3}, false, &inserted).value, ProfileDb::Write::Done);
        QVERIFY(inserted);
        QSqlQuery(db.database()).exec("UPDATE itemlist SET state=3, web_title='页', click_url='c'");
        // Resuming keeps a stored row as it is; a fresh run takes the new list data and state 0.
        QCOMPARE(db.additemlist({"9", "新标题", "q.jpg", "9.90", 25}, false, &inserted).value, ProfileDb::Write::Done);
        QVERIFY(!inserted);
        QCOMPARE(db.itemByItem("9").value->state, 3);
        QCOMPARE(db.itemByItem("9").value->title, QStringLiteral("列表标题"));
        QCOMPARE(db.additemlist({"9", "新标题", "q.jpg", "9.90", 25}, true, &inserted).value, ProfileDb::Write::Done);
        QVERIFY(!inserted);
        const auto r = db.itemByItem("9").value;
        QCOMPARE(r->state, 0);
        QCOMPARE(r->title, QStringLiteral("新标题"));
        QCOMPARE(r->web_pic, QStringLiteral("q.jpg"));
        QCOMPARE(r->money, QStringLiteral("9.90"));
        QCOMPARE(r->byid, 25);
        QCOMPARE(r->web_title, QStringLiteral("页"));
        QCOMPARE(db.itemCount().value, 1);
    }

    void detailsAndHandAddedItems()
    {
        TempProfile t;
        ProfileDb db;
        db.open(t.path());
        const ItemTexts texts{"标题", "描述", "关键词", "http://d/1", "<li>a</li>"};
        QCOMPARE(db.additem("404", texts, "http://c/1").value, ProfileDb::Write::NoRow);
        QCOMPARE(db.itemCount().value, 0);
        QVERIFY(db.insertListed("5", "t", "", "", 1).ok());
        QSqlQuery(db.database()).exec("UPDATE itemlist SET itemstate=1, click_url='old'");
        QCOMPARE(db.additem("5", texts, QString()).value, ProfileDb::Write::Done);
        auto r = db.itemByItem("5").value;
        QCOMPARE(r->click_url, QStringLiteral("old"));   // no new link keeps the one there
        QCOMPARE(r->state, 1);
        QCOMPARE(r->itemstate, 0);
        QCOMPARE(r->web_content, QStringLiteral("<li>a</li>"));
        QCOMPARE(db.additem("5", texts, "new").value, ProfileDb::Write::Done);
        QCOMPARE(db.itemByItem("5").value->click_url, QStringLiteral("new"));

        // By hand: an existing row is overwritten in place, a new one takes its own id as position.
        QVERIFY(db.addalimamaitemlist({"5", "手动", "pic", "128", 0}, texts, "hand").ok());
        r = db.itemByItem("5").value;
        QCOMPARE(r->byid, r->id);
        QCOMPARE(r->html, 1);
        QCOMPARE(r->title, QStringLiteral("手动"));
        QCOMPARE(r->click_url, QStringLiteral("hand"));
        QVERIFY(db.addalimamaitemlist({"6", "新", "pic", "1", 0}, texts, "x").ok());
        r = db.itemByItem("6").value;
        QCOMPARE(r->byid, r->id);
        QCOMPARE(r->state, 1);
        QCOMPARE(db.itemCount().value, 2);
    }

    // The profile holds the site password: what the program creates for it is its owner's only.
    void newProfileIsForItsOwnerOnly()
    {
        TempProfile t;
        ProfileDb db;
        QCOMPARE(db.open(t.path()), ProfileDb::OpenResult::Created);
        QVERIFY(db.insertListed("1", "t", "", "", 1).ok());
        const auto owner = QFile::ReadOwner | QFile::WriteOwner;
        for (const QString &file : {t.path(), t.path() + "-wal", t.path() + "-shm"}) {
            QVERIFY2(QFile::exists(file), qPrintable(file));
            QCOMPARE(QFile::permissions(file) & ~(QFile::ReadUser | QFile::WriteUser), owner);
        }
        const QFile::Permissions dir = QFile::permissions(QFileInfo(t.path()).path());
        QCOMPARE(dir & (QFile::ReadGroup | QFile::ReadOther | QFile::ExeOther), QFile::Permissions());
    }

    void backupsAreCopiesThatOpen()
    {
        TempProfile t;
        ProfileDb db;
        db.open(t.path());
        QVERIFY(db.insertListed("1", "留着", "", "", 1).ok());
        const QDir dir = QFileInfo(t.path()).dir();
        // Three older copies already there: after the new one, the three newest remain.
        for (const char *old : {"Profile-20250101-000000.db", "Profile-20250102-000000.db", "Profile-20250103-000000.db"})
            QFile(dir.filePath(old)).open(QIODevice::WriteOnly);
        const auto made = db.backup(QDateTime(QDate(2026, 12, 10), QTime(8, 9, 10)), 3);
        QVERIFY(made.ok());
        const QString copy = made.value;
        QCOMPARE(copy, dir.filePath("Profile-20261210-080910.db"));
        QCOMPARE(dir.entryList({"Profile-*.db"}, QDir::Files, QDir::Name),
                 QStringList({"Profile-20250102-000000.db", "Profile-20250103-000000.db", "Profile-20261210-080910.db"}));
        QCOMPARE(QFile::permissions(copy) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        // A second copy in the same second gets a name of its own.
        QCOMPARE(db.backup(QDateTime(QDate(2026, 12, 10), QTime(8, 9, 10)), 3).value, dir.filePath("Profile-20261210-080910-2.db"));
        ProfileDb opened;
        QCOMPARE(opened.open(copy), ProfileDb::OpenResult::Opened);
        QCOMPARE(opened.itemByItem("1").value->title, QStringLiteral("留着"));
    }

    void labels_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("itemstate");
        QTest::addColumn<QString>("label");
        QTest::newRow("0") << 0 << 0 << QStringLiteral("未采集");
        QTest::newRow("1") << 1 << 0 << QStringLiteral("已采集");
        QTest::newRow("2") << 2 << 0 << QStringLiteral("已修改");
        QTest::newRow("3") << 3 << 0 << QStringLiteral("已上传");
        QTest::newRow("abnormal collected") << 1 << 1 << QStringLiteral("状态不正常");
        QTest::newRow("abnormal uploaded") << 3 << 2 << QStringLiteral("状态不正常");
    }
    void labels()
    {
        QFETCH(int, state);
        QFETCH(int, itemstate);
        QFETCH(QString, label);
        QCOMPARE(statelabel(state, itemstate), label);
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
