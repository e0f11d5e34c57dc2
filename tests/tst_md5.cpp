#include "web/md5.h"

#include <QCryptographicHash>
#include <QtTest>

class TestMd5 : public QObject
{
    Q_OBJECT
private slots:
    void rfc1321_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("digest");
        QTest::newRow("empty") << "" << "d41d8cd98f00b204e9800998ecf8427e";
        QTest::newRow("a") << "a" << "0cc175b9c0f1b6a831c399e269772661";
        QTest::newRow("abc") << "abc" << "900150983cd24fb0d6963f7d28e17f72";
        QTest::newRow("message digest") << "message digest" << "f96b697d7cb7938d525a2f31aaf161d0";
        QTest::newRow("alphabet") << "abcdefghijklmnopqrstuvwxyz" << "c3fcd3d76192e4007dfb496cca67e13b";
        QTest::newRow("alphanumeric") << "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"
                                      << "d174ab98d277d9f5a5611c2c9f419d9f";
        QTest::newRow("digits") << "12345678901234567890123456789012345678901234567890123456789012345678901234567890"
                                << "57edf4a22be3c955ac49da2e2107b67a";
    }
    void rfc1321()
    {
        QFETCH(QString, text);
        QFETCH(QString, digest);
        QCOMPARE(::md5(text), digest);
    }

    // Lengths around the padding boundary agree with a reference MD5 over the ASCII bytes.
    void asciiMatchesStandardMd5()
    {
        for (int n = 50; n <= 130; ++n) {
            QString text;
            for (int i = 0; i < n; ++i)
                text += QChar('!' + (i * 7 + n) % 90);
            const QString expected =
                QString::fromLatin1(QCryptographicHash::hash(text.toLatin1(), QCryptographicHash::Md5).toHex());
            QCOMPARE(::md5(text), expected);
        }
    }

    void splitmd5_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("digest");
        auto m = [](const QString &s) { return ::md5(s); };
        QTest::newRow("empty") << "" << "";
        QTest::newRow("abc") << "abc" << "b84e58b08584a23d25b5773254f81348";
        // one character: the left part is empty, the right part the character
        QTest::newRow("one") << "x" << m(m("") + m("x"));
        // odd: reversed "edcba" splits "ed" | "cba"; even: "dcba" splits "dc" | "ba"
        QTest::newRow("odd") << "abcde" << m(m("ed") + m("cba"));
        QTest::newRow("even") << "abcd" << m(m("dc") + m("ba"));
        QTest::newRow("password") << "plumo" << m(m("om") + m("ulp"));
    }
    void splitmd5()
    {
        QFETCH(QString, text);
        QFETCH(QString, digest);
        const QString d = ::splitmd5(text);
        QCOMPARE(d, digest);
        QCOMPARE(d, d.toLower());
    }

    // Chinese text follows the per-character rule (a two-byte GBK code is one signed 16-bit
    // message unit), not MD5 over the GBK bytes. Digests from an independent implementation.
    void chinesePerCharacterRule_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("digest");
        QTest::addColumn<QString>("split");
        QTest::addColumn<QString>("overGbkBytes");
        QTest::newRow("测试") << "测试" << "c0c07081ccd12f3fbd7b180b6c18b14e" << "724a38954e7b720cd3deeee5c9e855a2"
                            << "ff13f7f55f7154f6984d9a26d8a317f9";
        QTest::newRow("管理员a") << "管理员a" << "f1460630fbed880449a67bb4fa5660f8"
                              << "d0fbf9174d65c76d4a5da28f74e5fc64" << "a0f18d1a7438b55161ca0e9c54da3552";
        QTest::newRow("mixed") << "a测试b中文密码" << "b588ed8402a0f1b86e78d2e93069d966"
                               << "2667760332c6f9e2f5fdeaedd092d2fe" << "c3383b9f4e3ef94ffa5984f3fa4ff19a";
    }
    void chinesePerCharacterRule()
    {
        QFETCH(QString, text);
        QFETCH(QString, digest);
        QFETCH(QString, split);
        QFETCH(QString, overGbkBytes);
        QCOMPARE(::md5(text), digest);
        QCOMPARE(::splitmd5(text), split);
        QVERIFY(::md5(text) != overGbkBytes);
    }
};

QTEST_GUILESS_MAIN(TestMd5)
#include "tst_md5.moc"
