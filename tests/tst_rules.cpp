#include "base/checks.h"
#include "rules/rules.h"

#include <QtTest>

class TestRules : public QObject
{
    Q_OBJECT
private slots:
    void applyrules_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("replaceOn");
        QTest::addColumn<QString>("find");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<bool>("addOn");
        QTest::addColumn<QString>("add");
        QTest::addColumn<bool>("before");
        QTest::addColumn<QString>("result");

        QTest::newRow("banana") << "banana" << true << "an" << "AN" << false << "" << false << "bANANa";
        QTest::newRow("case-sensitive") << "BANANA" << true << "an" << "AN" << false << "" << false << "BANANA";
        QTest::newRow("no overlap") << "aaa" << true << "aa" << "b" << false << "" << false << "ba";
        QTest::newRow("no regrowth") << "a" << true << "a" << "aa" << false << "" << false << "aa";
        QTest::newRow("empty find") << "abc" << true << "" << "X" << false << "" << false << "abc";
        QTest::newRow("empty replacement deletes") << "a-b-c" << true << "-" << "" << false << "" << false << "abc";
        QTest::newRow("switch off") << "abc" << false << "b" << "X" << false << "[X]" << true << "abc";
        QTest::newRow("add before") << "Shoe" << false << "" << "" << true << "[X]" << true << "[X]Shoe";
        QTest::newRow("add after") << "Shoe" << false << "" << "" << true << "[X]" << false << "Shoe[X]";
        QTest::newRow("replace then add") << "Shoe Shoe" << true << "Shoe" << "Boot" << true << "New " << true
                                          << "New Boot Boot";
        QTest::newRow("add not replaced") << "a" << true << "a" << "b" << true << "a" << false << "ba";
        QTest::newRow("empty text, add") << "" << true << "x" << "y" << true << "只有添加" << true << "只有添加";
        QTest::newRow("chinese") << "正品“鞋”" << true << "鞋" << "靴" << true << "【新】" << true << "【新】正品“靴”";
    }
    void applyrules()
    {
        QFETCH(QString, text);
        QFETCH(bool, replaceOn);
        QFETCH(QString, find);
        QFETCH(QString, replacement);
        QFETCH(bool, addOn);
        QFETCH(QString, add);
        QFETCH(bool, before);
        QFETCH(QString, result);
        RuleGroup g{replaceOn, find, replacement, addOn, add, before};
        QCOMPARE(::applyrules(text, g), result);
    }

    // The work boxes hold 250 characters; what the rules write is cut to that.
    void resultIsCutToTheWorkTextLimit()
    {
        RuleGroup grow{true, "a", "aa", false, {}, false};
        QCOMPARE(::applyrules(QString(200, 'a'), grow), QString(250, 'a'));
        RuleGroup add{false, {}, {}, true, "END", false};
        QCOMPARE(::applyrules(QString(249, 'x'), add), QString(249, 'x') + "E");
        RuleGroup front{false, {}, {}, true, "前", true};
        QCOMPARE(::applyrules(QString(250, 'x'), front), "前" + QString(249, 'x'));
        // A character of two UTF-16 units counts once and is never cut in half.
        const QString emoji = QStringLiteral("\U0001F600");
        QCOMPARE(::applyrules(QString(249, 'x') + emoji + "y", {}), QString(249, 'x') + emoji);
        QCOMPARE(::applyrules(QString(249, 'x') + "y", add), QString(249, 'x') + "y");
        RuleGroup smile{false, {}, {}, true, emoji + emoji, false};
        QCOMPARE(::applyrules(QString(249, 'x'), smile), QString(249, 'x') + emoji);
        QCOMPARE(::applyrules(emoji.repeated(260), {}), emoji.repeated(250));
    }

    void checkrules_data()
    {
        QTest::addColumn<int>("ticked");      // bits: t1 t2 k1 k2 d1 d2
        QTest::addColumn<int>("filled");      // same bits: the matching box holds text
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::newRow("nothing ticked") << 0 << 0 << "" << "";
        QTest::newRow("title find") << 0b000001 << 0 << "标题中要查找的替换字符串不能为空" << "ttx_1";
        QTest::newRow("title first of two") << 0b001001 << 0 << "标题中要查找的替换字符串不能为空" << "ttx_1";
        QTest::newRow("title add") << 0b000010 << 0 << "标题中添加的字符串不能为空" << "ttx_3";
        QTest::newRow("keyword find") << 0b000100 << 0 << "关键词中要查找的替换字符串不能为空" << "ktx_1";
        QTest::newRow("keyword add") << 0b001000 << 0 << "关键词中添加的字符串不能为空" << "ktx_3";
        QTest::newRow("doc find") << 0b010000 << 0 << "页面描述中要查找的替换字符串不能为空" << "dtx_1";
        QTest::newRow("doc add") << 0b100000 << 0 << "页面描述中添加的字符串不能为空" << "dtx_3";
        QTest::newRow("keyword before doc") << 0b110100 << 0 << "关键词中要查找的替换字符串不能为空" << "ktx_1";
        QTest::newRow("all filled") << 0b111111 << 0b111111 << "" << "";
        QTest::newRow("blanks pass") << 0b111111 << -1 << "" << "";
    }
    void checkrules()
    {
        QFETCH(int, ticked);
        QFETCH(int, filled);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        auto text = [&](int bit) { return filled == -1 ? QString(" ") : (filled >> bit & 1) ? "x" : ""; };
        RuleSet r;
        r.title = {bool(ticked & 1), text(0), "", bool(ticked & 2), text(1), false};
        r.key = {bool(ticked & 4), text(2), "", bool(ticked & 8), text(3), false};
        r.doc = {bool(ticked & 16), text(4), "", bool(ticked & 32), text(5), false};
        const FieldCheck c = ::checkrules(r);
        QCOMPARE(c.message, message);
        QCOMPARE(c.focus, focus);
    }
};

QTEST_GUILESS_MAIN(TestRules)
#include "tst_rules.moc"
