// Measures the export of a large item list: time and peak memory of the CSV and JSON writers.
// Prints its figures; run: build/bin/bench_export [rows]
#include "store/itemexport.h"
#include "store/profiledb.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <cstdio>

namespace {

long peakKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

void fill(ProfileDb &db, int rows)
{
    QSqlDatabase d = db.database();
    d.transaction();
    QSqlQuery q(d);
    q.prepare("INSERT INTO itemlist (item, title, money, web_pic, click_url, web_url, state, itemstate, errcode, "
              "errdecription, byid) VALUES (?,?,?,?,?,?,?,?,?,?,?)");
    for (int i = 0; i < rows; ++i) {
        q.addBindValue(QString::number(10000000000LL + i));
        q.addBindValue(QStringLiteral("2026新款韩版修身, \"休闲\"女装连衣裙 第%1款 包邮").arg(i));
        q.addBindValue(QStringLiteral("%1.00").arg(50 + i % 300));
        q.addBindValue(QStringLiteral("http://img01.taobaocdn.com/bao/uploaded/i1/%1.jpg").arg(i));
        q.addBindValue(QStringLiteral("http://s.click.taobao.com/t?e=%1").arg(i));
        q.addBindValue(QStringLiteral("http://dsc.taobaocdn.com/i1/%1/desc.js").arg(i));
        q.addBindValue(i % 4);
        q.addBindValue(i % 17 == 0 ? 1 : 0);
        q.addBindValue(i % 23 == 0 ? 1 : 0);
        q.addBindValue(i % 23 == 0 ? QStringLiteral("标题含违禁词") : QString());
        q.addBindValue(i + 1);
        q.exec();
    }
    d.commit();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? atoi(argv[1]) : 1000000;
    QTemporaryDir dir;
    ProfileDb db;
    db.open(dir.filePath("db/Profile.db"));
    QElapsedTimer t;
    t.start();
    fill(db, rows);
    std::printf("rows: %d (filled in %lld ms), peak memory before the exports: %ld KiB\n", rows, t.elapsed(), peakKb());
    for (auto format : {ItemExport::Format::Csv, ItemExport::Format::Json}) {
        QFile out(dir.filePath(format == ItemExport::Format::Csv ? "items.csv" : "items.json"));
        out.open(QIODevice::WriteOnly);
        ItemExport e(db, out, format);
        t.restart();
        const bool ok = e.writeAll();
        out.close();
        std::printf("%s: %s, %lld rows in %lld ms, %.1f MB written, peak memory %ld KiB\n",
                    format == ItemExport::Format::Csv ? "csv" : "json", ok ? "ok" : qPrintable(e.error()),
                    e.written(), t.elapsed(), out.size() / 1e6, peakKb());
    }
    return 0;
}
