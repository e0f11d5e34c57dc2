// The row conditions exist twice, as SQL for the database's counts, picks and indexes, and as
// code for the rows already read: for every combination of codes, both say the same.
#include "store/itemstate.h"
#include "store/profiledb.h"
#include "testsupport.h"

#include <QSqlQuery>
#include <QtTest>

class TestItemState : public QObject
{
    Q_OBJECT
private slots:
    void sqlAndCodeAgree()
    {
        TempProfile t;
        ProfileDb db;
        QVERIFY(db.open(t.path()) != ProfileDb::OpenResult::Failed);
        const struct { const char *sql; std::function<bool(int, int, int)> code; const char *name; } rules[] = {
            {itemstate::kRefusedSql, [](int s, int i, int e) { return itemstate::refused(s, i, e); }, "refused"},
            {itemstate::kAbnormalSql, [](int, int i, int) { return i != 0; }, "abnormal"},
            {itemstate::kWaitingForCollectionSql, [](int s, int i, int) { return itemstate::waitingForCollection(s, i); },
             "waiting for Step 2"},
            {itemstate::kWaitingForUploadSql, [](int s, int i, int e) { return itemstate::waitingForUpload(s, i, e); },
             "waiting for Step 3"},
        };
        int checked = 0;
        for (const auto &rule : rules)
            for (int state : {itemstate::NotCollected, itemstate::Collected, itemstate::Edited, itemstate::Uploaded})
                for (int item : {0, 1})
                    for (int err : {0, 1}) {
                        QSqlQuery q(db.database());
                        QVERIFY(q.exec(QStringLiteral("SELECT %1 FROM (SELECT %2 AS state, %3 AS itemstate, %4 AS errcode)")
                                           .arg(QLatin1String(rule.sql))
                                           .arg(state)
                                           .arg(item)
                                           .arg(err)));
                        QVERIFY(q.next());
                        QVERIFY2(q.value(0).toBool() == rule.code(state, item, err),
                                 qPrintable(QStringLiteral("%1: state %2 itemstate %3 errcode %4")
                                                .arg(QLatin1String(rule.name)).arg(state).arg(item).arg(err)));
                        ++checked;
                    }
        QCOMPARE(checked, 4 * 4 * 2 * 2);
    }

    // The list's "needs the operator" and the runner's counts take the same rows as refused.
    void countsAndLabelsAgree()
    {
        TempProfile t;
        ProfileDb db;
        QVERIFY(db.open(t.path()) != ProfileDb::OpenResult::Failed);
        int n = 0;
        for (int state : {0, 1, 2, 3})
            for (int item : {0, 1})
                for (int err : {0, 1}) {
                    const QString id = QString::number(++n);
                    QVERIFY(db.insertListed(id, id, {}, {}, n).ok());
                    QVERIFY(QSqlQuery(db.database())
                                .exec(QStringLiteral("UPDATE itemlist SET state=%1, itemstate=%2, errcode=%3 WHERE item='%4'")
                                          .arg(state).arg(item).arg(err).arg(id)));
                }
        const auto rows = db.listRows();
        QVERIFY(rows.ok());
        qint64 refusedLabels = 0;
        for (const ItemListRow &r : rows.value)
            refusedLabels += listlabel(r) == QStringLiteral("上传失败");
        const auto counts = db.counts();
        QVERIFY(counts.ok());
        QCOMPARE(counts.value.refused, refusedLabels);
        QCOMPARE(counts.value.refused, 3);   // collected, edited and not collected, each with an error
    }
};

QTEST_GUILESS_MAIN(TestItemState)
#include "tst_itemstate.moc"
