// The picks of Steps 2 and 3 with 100,000 rows waiting, before and after each step had an index
// of its own: "before" is the schema of version 2 with the picks written as they were then,
// "after" the profile's own picks on its own indexes. Each pick is followed by the step's write,
// so that every pick finds a new first row; the figure is the pick alone.
// Run: build/bin/bench_pick [rows]
#include "store/profiledb.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>

namespace {

constexpr int kPicks = 200;

void run(ProfileDb &db, const QString &sql)
{
    QSqlQuery q(db.database());
    if (!q.exec(sql))
        std::fprintf(stderr, "failed: %s\n", qPrintable(sql));
}

void fill(ProfileDb &db, int rows)
{
    db.begin();
    QSqlQuery q(db.database());
    q.prepare("INSERT INTO itemlist (item, title, web_url, state, byid) VALUES (?,?,?,0,?)");
    for (int i = 0; i < rows; ++i) {
        q.addBindValue(QString::number(520000000000LL + i));
        q.addBindValue(QStringLiteral("2026新款韩版修身休闲女装连衣裙 第%1款").arg(i));
        q.addBindValue(QStringLiteral("http://img.example/i1/%1/desc.js").arg(i));
        q.addBindValue(i / 20 * 20 + (i * 7) % 20);   // list positions, 20 a page
        q.exec();
    }
    db.commit();
}

// Milliseconds per pick over kPicks picks; pick returns the item to write, write moves it on.
double perPick(const std::function<QString()> &pick, const std::function<void(const QString &)> &write)
{
    qint64 ns = 0;
    for (int i = 0; i < kPicks; ++i) {
        QElapsedTimer t;
        t.start();
        const QString item = pick();
        ns += t.nsecsElapsed();
        if (item.isEmpty())
            return -1;
        write(item);
    }
    return ns / 1e6 / kPicks;
}

QString firstItem(ProfileDb &db, const QString &sql)
{
    QSqlQuery q(db.database());
    return q.exec(sql) && q.next() ? q.value(0).toString() : QString();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    QTemporaryDir dir;
    ProfileDb db;
    if (db.open(dir.filePath("Profile.db")) == ProfileDb::OpenResult::Failed)
        return 1;
    fill(db, rows);

    auto collectWrite = [&](const QString &item) { run(db, QStringLiteral("UPDATE itemlist SET state=1 WHERE item='%1'").arg(item)); };
    auto uploadWrite = [&](const QString &item) { run(db, QStringLiteral("UPDATE itemlist SET state=3 WHERE item='%1'").arg(item)); };
    auto waitForStep2 = [&] { run(db, "UPDATE itemlist SET state=0"); };
    auto waitForStep3 = [&] { run(db, "UPDATE itemlist SET state=1"); };

    // After: the profile as it is made now, with its own picks.
    waitForStep2();
    const double collectAfter = perPick([&] { return db.nextUncollected().value; }, collectWrite);
    waitForStep3();
    const double uploadAfter = perPick([&] {
        const auto row = db.nextToUpload();
        return row.value ? row.value->item : QString();
    }, uploadWrite);

    // Before: the indexes of version 2, and its picks.
    run(db, "DROP INDEX itemlist_collect_pick");
    run(db, "DROP INDEX itemlist_upload_pick");
    run(db, "CREATE INDEX itemlist_uncollected ON itemlist(state, itemstate, byid DESC, id DESC)");
    run(db, "CREATE INDEX itemlist_upload ON itemlist(errcode, itemstate, state, byid, id)");
    waitForStep2();
    const double collectBefore = perPick(
        [&] { return firstItem(db, "SELECT item FROM itemlist WHERE state=0 AND itemstate=0 ORDER BY byid DESC, id DESC LIMIT 1"); },
        collectWrite);
    waitForStep3();
    const double uploadBefore = perPick(
        [&] {
            // The whole row, as the step reads it.
            return firstItem(db, "SELECT item, id, title, money, web_pic, click_url, web_title, web_key, web_doc, "
                                 "web_content, web_url, state, itemstate, byid, html, errcode, errdecription, updatetime "
                                 "FROM itemlist WHERE errcode=0 AND (state=1 OR state=2) AND itemstate=0 "
                                 "ORDER BY byid ASC, id DESC LIMIT 1");
        },
        uploadWrite);

    std::printf("picks with %d rows waiting (%d picks each, the pick alone)\n", rows, kPicks);
    std::printf("%-18s %12s %12s\n", "pick", "before ms", "after ms");
    std::printf("%-18s %12.3f %12.3f\n", "Step 2 (collect)", collectBefore, collectAfter);
    std::printf("%-18s %12.3f %12.3f\n", "Step 3 (upload)", uploadBefore, uploadAfter);
    return collectAfter >= 0 && uploadAfter >= 0 && collectBefore >= 0 && uploadBefore >= 0 ? 0 : 1;
}
