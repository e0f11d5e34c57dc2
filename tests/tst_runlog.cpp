#include "rig.h"
#include "session/runlog.h"

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>

// Profile.log: what an operator reads after a night's run.
class TestRunLog : public QObject
{
    Q_OBJECT

    static QStringList lines(const QString &path)
    {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }

private slots:
    void linesCarryTimeAndKind()
    {
        QTemporaryDir dir;
        RunLog log;
        log.setPath(dir.filePath("Profile.log"));
        log.write("状态", "正在读取第1/3页宝贝列表");
        log.write("上传失败", "1001 该宝贝不允许发布\r\n第二行");
        log.write("状态", QString(RunLog::kMaxEntryChars + 10, 'x'));
        const QStringList l = lines(log.path());
        QCOMPARE(l.size(), 3);
        static const QRegularExpression stamp("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d \\[");
        for (const QString &line : l)
            QVERIFY2(stamp.match(line).hasMatch(), qPrintable(line));
        QVERIFY(l[0].endsWith("[状态] 正在读取第1/3页宝贝列表"));
        QVERIFY(l[1].endsWith("[上传失败] 1001 该宝贝不允许发布 第二行"));   // one entry, one line
        QVERIFY(l[2].endsWith(QStringLiteral("…（共%1字）").arg(RunLog::kMaxEntryChars + 10)));
        QCOMPARE(QFile::permissions(log.path()) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        QCOMPARE(RunLog::pathFor("/x/db/Profile.db"), QStringLiteral("/x/db/Profile.log"));
    }

    void rotatesAtFiveMegabytes()
    {
        QTemporaryDir dir;
        RunLog log;
        log.setPath(dir.filePath("Profile.log"));
        const QString entry(1000, QLatin1Char('a'));
        for (int i = 0; i < 6000; ++i)   // some 6 MB
            log.write("状态", entry);
        const qint64 current = QFileInfo(log.path()).size(), older = QFileInfo(log.path() + ".1").size();
        QVERIFY(current > 0 && current < RunLog::kRotateBytes);
        QVERIFY(older > RunLog::kRotateBytes - 2000 && older <= RunLog::kRotateBytes);
        QVERIFY(!QFile::exists(log.path() + ".2"));
        QCOMPARE(lines(log.path()).size() + lines(log.path() + ".1").size(), 6000);
    }

    // A log that cannot be written says so once, and the steps go on.
    void unwritableLogNeverStopsAStep()
    {
        SimOptions o;
        o.items = 25;
        Rig r(o);
        r.session.runLog().setPath("/dev/null/Profile.log");
        r.session.setShopAddress(o.shopHost);
        QCOMPARE(r.collect(), StepOutcome::Completed);
        QCOMPARE(r.statuses.filter("运行日志无法写入").size(), 1);
        QCOMPARE(r.count(), 25);
    }

    // The window and the runner log alike: the session writes status texts, message boxes,
    // questions and refusals beside the profile.
    void sessionLogsWhatTheOperatorSaw()
    {
        Rig r;
        const QString path = RunLog::pathFor(r.profile.path());
        QCOMPARE(r.session.runLog().path(), path);
        r.session.listStep().start(CollectMode::Resume);   // no shop address: a status and a message box
        QTRY_VERIFY(r.statuses.contains("请先设置需采集的店铺地址"));
        r.notes.answers = {false};
        r.session.loadEditorRow(r.db().insertListed("1", "t", "", "", 1).value);
        r.session.recollect("1");
        const QStringList l = lines(path);
        QVERIFY(l.filter("[状态] 请先设置需采集的店铺地址").size() == 1);
        QVERIFY(l.filter("[消息] 请先设置需采集的店铺地址").size() == 1);
        QVERIFY(l.filter("[询问] 注意：是否确定重新采集ID为1的宝贝数据？ -> 否").size() == 1);
    }
};

QTEST_GUILESS_MAIN(TestRunLog)
#include "tst_runlog.moc"
