#include "web/charset.h"
#include "web/text.h"

#include <QStringEncoder>
#include <QtTest>

class TestText : public QObject
{
    Q_OBJECT
private slots:
    // Text with a stray control character or bad byte now and then is text; nonsense is not.
    void readableText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("text");
        QByteArray noise(3000, '\0');
        quint32 x = 7;
        for (char &c : noise) {
            x = x * 1103515245 + 12345;
            c = char(x >> 24);
        }
        QTest::newRow("a page") << QByteArray("<html><body>\xba\xec\xb6\xb9 ok</body></html>") << true;
        QTest::newRow("nothing") << QByteArray() << true;
        QTest::newRow("a vertical tab in a description") << QByteArray(200, 'a').append('\x0b') << true;
        QTest::newRow("one bad byte in a long page") << QByteArray(500, 'a').append("\xff") << true;
        QTest::newRow("noise") << noise << false;
        QTest::newRow("NULs") << QByteArray(40, '\0') << false;
        QTest::newRow("controls") << QByteArray("\x01\x02\x03\x04") << false;
    }
    void readableText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, text);
        QCOMPARE(isReadableText(::bytestostr(bytes, QStringLiteral("GBK"))), text);
    }

    void getbetween_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("result");
        QTest::newRow("plain") << "xx<b>yy</b>zz" << "<b>" << "</b>" << "yy";
        QTest::newRow("first of several") << "<b>1</b><b>2</b>" << "<b>" << "</b>" << "1";
        QTest::newRow("end inside start is skipped") << "<a>text>rest" << "<a>" << ">" << "text";
        QTest::newRow("end only before start") << "</b>xx<b>yy<zz" << "<b>" << "</b>" << "yy";
        QTest::newRow("end only before, no first char after") << "</b>xx<b>yyzz" << "<b>" << "</b>" << "yyzz";
        QTest::newRow("adjacent markers") << "a<b></b>c" << "<b>" << "</b>" << "";
        QTest::newRow("empty text") << "" << "<b>" << "</b>" << "";
        QTest::newRow("no start") << "xx yy" << "<b>" << "yy" << "";
        QTest::newRow("no end") << "xx<b>yy" << "<b>" << "</b>" << "";
        QTest::newRow("case-sensitive") << "<B>yy</B>" << "<b>" << "</b>" << "";
        QTest::newRow("chinese") << "价格：128元，包邮" << "价格：" << "元" << "128";
        QTest::newRow("empty end marker") << "abc" << "a" << "" << "";
        QTest::newRow("empty start marker") << "abc" << "" << "c" << "ab";
    }
    void getbetween()
    {
        QFETCH(QString, text);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QString, result);
        QCOMPARE(::getbetween(text, start, end), result);
    }

    // Past the start marker, with the end marker only before it, at most 3073 characters come back.
    void looseCutIsBounded()
    {
        const QString text = QStringLiteral("END<s>") + QString(5000, 'x');
        QCOMPARE(::getbetween(text, "<s>", "END").size(), 3073);
        QCOMPARE(::getbetween(QStringLiteral("END<s>") + QString(100, 'x'), "<s>", "END"), QString(100, 'x'));
    }

    void urlencode_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("encoded");
        QTest::newRow("plain set") << "A-Z_0.9@x*" << "A-Z_0.9@x*";
        QTest::newRow("space") << "a b  c" << "a+b++c";
        QTest::newRow("percent") << "50%" << "50%25";
        QTest::newRow("tilde") << "~" << "%7E";
        QTest::newRow("reserved") << "+/&=%" << "%2B%2F%26%3D%25";
        QTest::newRow("quote and controls") << "'\"\r\n\t" << "%27%22%0D%0A%09";
        QTest::newRow("chinese") << "测试" << "%B2%E2%CA%D4";
        QTest::newRow("gbk only character") << "丂" << "%81%40";
        QTest::newRow("full-width") << "“，”" << "%A1%B0%A3%AC%A1%B1";
        QTest::newRow("not in gbk") << "a😀b" << "a%3F%3Fb";
        QTest::newRow("hangul not in gbk") << "한" << "%3F";
        QTest::newRow("empty") << "" << "";
    }
    void urlencode()
    {
        QFETCH(QString, text);
        QFETCH(QString, encoded);
        QCOMPARE(::urlencode(text), encoded);
    }

    void urlencodeOfNullIsEmpty()
    {
        const QString encoded = ::urlencode(QString());
        QVERIFY(encoded.isEmpty());
    }

    void bytestostr_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("charset");
        QTest::addColumn<QString>("text");
        const QString chinese = QStringLiteral("淘宝网宝贝“正品”");
        QStringEncoder gbk("GBK");
        const QByteArray gbkBytes = gbk.encode(chinese);
        QTest::newRow("GB2312") << gbkBytes << "GB2312" << chinese;
        QTest::newRow("gb2312 lower") << gbkBytes << "gb2312" << chinese;
        // Pages that say gb2312 often hold characters only GBK has.
        QTest::newRow("gbk character in a gb2312 page") << QByteArray("\x81\x40\xd6\xd0", 4) << "gb2312" << "丂中";
        QTest::newRow("utf-8") << chinese.toUtf8() << "utf-8" << chinese;
        QTest::newRow("UTF-8 with BOM") << "\xEF\xBB\xBF" + chinese.toUtf8() << "UTF-8" << chinese;
        QTest::newRow("empty") << QByteArray() << "gb2312" << "";
    }
    void bytestostr()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, charset);
        QFETCH(QString, text);
        QCOMPARE(::bytestostr(body, charset), text);
    }

    // The reply's word, then the page's own, then the caller's; the text in what was decided.
    void pageCharset_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QString>("charset");
        QTest::addColumn<QString>("text");
        const QString word = QStringLiteral("宝贝");
        const QByteArray utf8 = word.toUtf8();
        const QByteArray gbk = QStringEncoder("GBK").encode(word);
        const QByteArray metaUtf8 = "<meta charset=\"utf-8\">";
        QTest::newRow("nothing named: the caller's") << gbk << QByteArray("text/html") << "GB2312" << word;
        QTest::newRow("header") << utf8 << QByteArray("text/html; charset=utf-8") << "UTF-8" << word;
        QTest::newRow("header quoted, other case") << utf8 << QByteArray("text/html;Charset=\"UTF-8\"") << "UTF-8" << word;
        QTest::newRow("header over meta") << metaUtf8 + gbk << QByteArray("text/html; charset=GBK") << "GBK"
                                          << QString::fromLatin1(metaUtf8) + word;
        QTest::newRow("gb2312 reads as GBK") << QByteArray("\x81\x40") << QByteArray("text/html; charset=gb2312") << "GBK"
                                             << QStringLiteral("丂");
        QTest::newRow("meta charset") << metaUtf8 + utf8 << QByteArray() << "UTF-8" << QString::fromLatin1(metaUtf8) + word;
        QTest::newRow("meta unquoted") << "<head><META CHARSET=utf-8>" + utf8 << QByteArray() << "UTF-8"
                                       << "<head><META CHARSET=utf-8>" + word;
        const QByteArray equiv = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />";
        QTest::newRow("meta http-equiv") << equiv + utf8 << QByteArray("text/html") << "UTF-8" << QString::fromLatin1(equiv) + word;
        const QByteArray described = "<meta name=\"description\" content=\"charset=utf-8\">";
        QTest::newRow("meta content without http-equiv") << described + gbk << QByteArray() << "GB2312"
                                                         << QString::fromLatin1(described) + word;
        const QByteArray commented = "<!-- <meta charset=\"utf-8\"> -->";
        QTest::newRow("meta in a comment") << commented + gbk << QByteArray() << "GB2312" << QString::fromLatin1(commented) + word;
        const QByteArray late = QByteArray(kMetaScanBytes, ' ') + metaUtf8;
        QTest::newRow("meta past the head") << late + gbk << QByteArray() << "GB2312" << QString::fromLatin1(late) + word;
        const QByteArray gb18030 = "<meta charset=\"gb18030\">";
        QTest::newRow("gb18030") << gb18030 + "\x81\x30\x81\x30" << QByteArray() << "GB18030"
                                 << QString::fromLatin1(gb18030) + QChar(0x80);
        QTest::newRow("others by name") << QByteArray("\xa4\xa4") << QByteArray("text/html; charset=big5") << "Big5"
                                        << QStringLiteral("中");
        QTest::newRow("unknown header, meta next") << metaUtf8 + utf8 << QByteArray("text/html; charset=x-nonesuch")
                                                   << "UTF-8" << QString::fromLatin1(metaUtf8) + word;
        QTest::newRow("escape-sequence charset refused") << gbk << QByteArray("text/html; charset=utf-7") << "GB2312" << word;
        const QByteArray ebcdic = "<meta charset=\"IBM037\">";
        QTest::newRow("meta naming a charset unlike ASCII") << ebcdic + gbk << QByteArray() << "GB2312"
                                                           << QString::fromLatin1(ebcdic) + word;
        // A header naming a charset unlike ASCII is no web page's either; UTF-16 and UTF-32 are.
        QTest::newRow("header naming one unlike ASCII") << QByteArray("A") << QByteArray("text/html; charset=IBM037")
                                                        << "GB2312" << "A";
        QTest::newRow("header naming UTF-16") << QByteArray("A\0", 2) << QByteArray("text/html; charset=utf-16le")
                                              << "UTF-16LE" << "A";
        // A script's text may hold a <meta> of its own: only a web page names its charset so.
        QTest::newRow("meta inside a script") << QByteArray("var desc='<meta charset=\"utf-8\">\xba\xec';")
                                              << QByteArray("application/x-javascript") << "GB2312"
                                              << QString::fromUtf8("var desc='<meta charset=\"utf-8\">红';");
        const QByteArray wide = "<meta charset=\"utf-16\">";
        QTest::newRow("meta utf-16 in ASCII") << wide + utf8 << QByteArray() << "UTF-8" << QString::fromLatin1(wide) + word;
        QTest::newRow("byte-order mark first") << "\xef\xbb\xbf" + utf8 << QByteArray("text/html; charset=gbk") << "UTF-8"
                                               << word;
        QTest::newRow("UTF-16, a lone half replaced") << QByteArray("\xff\xfe\x00\xd8\x41\x00", 6) << QByteArray() << "UTF-16LE"
                                                     << QString(QChar::ReplacementCharacter) + "A";
        QTest::newRow("tag left open") << QByteArray("<meta charset=\"utf-8") << QByteArray() << "GB2312"
                                       << "<meta charset=\"utf-8";
    }
    void pageCharset()
    {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, contentType);
        QFETCH(QString, charset);
        QFETCH(QString, text);
        QCOMPARE(::pageCharset(body, contentType, QStringLiteral("GB2312")), charset);
        QCOMPARE(decodePage(body, contentType, QStringLiteral("GB2312")), text);
    }
};

QTEST_GUILESS_MAIN(TestText)
#include "tst_text.moc"
