#include "MailFormat.h"

#include <QTimeZone>
#include <QtTest>

using namespace dovrane;

namespace {

struct Parsed
{
    QList<QPair<QString, QString>> headers; // unfolded
    QByteArray body;
};

// Splits a composed message the way a receiving mail system would.
Parsed parse(const QByteArray& message)
{
    Parsed p;
    const qsizetype end = message.indexOf("\n\n");
    const QByteArray head = message.left(end);
    p.body = message.mid(end + 2);
    for (const QByteArray& line : head.split('\n')) {
        if (!line.isEmpty() && (line.at(0) == ' ' || line.at(0) == '\t')) {
            p.headers.last().second += QString::fromUtf8(line);
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        p.headers.append({QString::fromUtf8(line.left(colon)),
                          QString::fromUtf8(line.mid(colon + 1)).trimmed()});
    }
    return p;
}

QStringList names(const Parsed& p)
{
    QStringList out;
    for (const auto& h : p.headers)
        out.append(h.first);
    return out;
}

QString header(const Parsed& p, const QString& name)
{
    for (const auto& h : p.headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return {};
}

// Decodes "=?UTF-8?B?...?=" words separated by folding whitespace.
QString decodeWords(const QString& value)
{
    static const QRegularExpression word(QStringLiteral("=\\?UTF-8\\?B\\?([^?]*)\\?="));
    QByteArray utf8;
    auto it = word.globalMatch(value);
    if (!it.hasNext())
        return value;
    while (it.hasNext())
        utf8 += QByteArray::fromBase64(it.next().captured(1).toLatin1());
    return QString::fromUtf8(utf8);
}

MailFormat::Envelope envelope()
{
    MailFormat::Envelope e;
    e.from = QStringLiteral("Dovrane <monitor@studio>");
    e.messageId = QStringLiteral("1150380207000.42.1@studio");
    e.date = QDateTime(QDate(2006, 6, 15), QTime(14, 3, 27), QTimeZone(7200));
    return e;
}

} // namespace

class TestMailFormat : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wellFormedMessage()
    {
        const QByteArray m = MailFormat::compose(
            {QStringLiteral("a@x.com"), QStringLiteral("b@y.org")}, QStringLiteral("WXYZ Alarm"),
            QStringLiteral("06-15-2006 14:03:27 Silence Alarm"), envelope());
        QVERIFY(!m.contains('\r'));
        const Parsed p = parse(m);
        QCOMPARE(names(p),
                 (QStringList{"From", "To", "Subject", "Date", "Message-ID", "MIME-Version",
                              "Content-Type", "Content-Transfer-Encoding"}));
        QCOMPARE(header(p, "From"), QStringLiteral("Dovrane <monitor@studio>"));
        QCOMPARE(header(p, "To"), QStringLiteral("a@x.com, b@y.org"));
        QCOMPARE(header(p, "Subject"), QStringLiteral("WXYZ Alarm"));
        QCOMPARE(header(p, "Date"), QStringLiteral("Thu, 15 Jun 2006 14:03:27 +0200"));
        QCOMPARE(header(p, "Message-ID"), QStringLiteral("<1150380207000.42.1@studio>"));
        QCOMPARE(header(p, "MIME-Version"), QStringLiteral("1.0"));
        QCOMPARE(header(p, "Content-Type"), QStringLiteral("text/plain; charset=UTF-8"));
        QCOMPARE(header(p, "Content-Transfer-Encoding"), QStringLiteral("8bit"));
        QCOMPARE(p.body, QByteArray("06-15-2006 14:03:27 Silence Alarm\n"));
    }

    void noFromWhenUnknown()
    {
        MailFormat::Envelope e = envelope();
        e.from.clear();
        const Parsed p = parse(MailFormat::compose({QStringLiteral("a@x.com")}, QStringLiteral("s"),
                                                   QStringLiteral("b"), e));
        QVERIFY(!names(p).contains(QStringLiteral("From")));
    }

    void nonAsciiSubjectIsEncoded_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::newRow("umlaut") << QStringLiteral("Radio Z\u00fcrich Alarm");
        QTest::newRow("euro and emoji") << QStringLiteral("\u20ac Studio \U0001F4FB Alarm");
        QTest::newRow("long") << QStringLiteral("\u00c9").repeated(60) + QStringLiteral(" Alarm");
    }
    void nonAsciiSubjectIsEncoded()
    {
        QFETCH(QString, subject);
        const QByteArray m = MailFormat::compose({QStringLiteral("a@x.com")}, subject,
                                                 QStringLiteral("b"), envelope());
        const QByteArray head = m.left(m.indexOf("\n\n"));
        for (const QByteArray& line : head.split('\n')) {
            QVERIFY2(line.size() <= 78, line.constData());
            for (const char c : line)
                QVERIFY(static_cast<unsigned char>(c) < 0x80);
        }
        QCOMPARE(decodeWords(header(parse(m), QStringLiteral("Subject"))), subject);
    }

    void lineBreaksNeverMakeHeaders_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::newRow("CRLF") << QStringLiteral("WXYZ\r\nBcc: evil@y.com Alarm");
        QTest::newRow("LF") << QStringLiteral("WXYZ\nBcc: evil@y.com Alarm");
        QTest::newRow("CR") << QStringLiteral("WXYZ\rBcc: evil@y.com Alarm");
        QTest::newRow("blank line") << QStringLiteral("WXYZ\n\nbody injected");
        QTest::newRow("non-ASCII with LF") << QStringLiteral("Z\u00fcrich\nBcc: evil@y.com");
        QTest::newRow("U+2028") << QStringLiteral("WXYZ\u2028Bcc: evil@y.com");
    }
    void lineBreaksNeverMakeHeaders()
    {
        QFETCH(QString, subject);
        const QByteArray m = MailFormat::compose({QStringLiteral("a@x.com")}, subject,
                                                 QStringLiteral("body"), envelope());
        const Parsed p = parse(m);
        QCOMPARE(names(p).count(QStringLiteral("Subject")), 1);
        QVERIFY(!names(p).contains(QStringLiteral("Bcc")));
        QCOMPARE(p.body, QByteArray("body\n"));
        QVERIFY(!m.contains('\r'));
    }

    void foldsLongAsciiSubject()
    {
        const QString subject = QStringLiteral("word ").repeated(30).trimmed();
        const QByteArray m = MailFormat::compose({QStringLiteral("a@x.com")}, subject,
                                                 QStringLiteral("b"), envelope());
        for (const QByteArray& line : m.left(m.indexOf("\n\n")).split('\n'))
            QVERIFY(line.size() <= 78);
        QCOMPARE(header(parse(m), QStringLiteral("Subject")).simplified(), subject);
    }

    void bodyLineEndsAreNormalised()
    {
        const QByteArray m =
            MailFormat::compose({QStringLiteral("a@x.com")}, QStringLiteral("s"),
                                QStringLiteral("one\r\ntwo\rthree\n.\nZ\u00fcrich"), envelope());
        const Parsed p = parse(m);
        QCOMPARE(p.body, QByteArray("one\ntwo\nthree\n.\nZ\xc3\xbc"
                                    "rich\n"));
    }

    void longBodyLineIsQuotedPrintable()
    {
        const QString body = QStringLiteral("x").repeated(1200) + QStringLiteral(" caf\u00e9 a=b");
        const QByteArray m =
            MailFormat::compose({QStringLiteral("a@x.com")}, QStringLiteral("s"), body, envelope());
        const Parsed p = parse(m);
        QCOMPARE(header(p, "Content-Transfer-Encoding"), QStringLiteral("quoted-printable"));
        for (const QByteArray& line : p.body.split('\n'))
            QVERIFY(line.size() <= 76);
        // Undo soft breaks and escapes.
        QByteArray decoded = p.body;
        decoded.replace("=\n", "");
        QByteArray out;
        for (qsizetype i = 0; i < decoded.size(); ++i) {
            if (decoded[i] == '=') {
                out += char(decoded.mid(i + 1, 2).toInt(nullptr, 16));
                i += 2;
            } else {
                out += decoded[i];
            }
        }
        QCOMPARE(QString::fromUtf8(out).trimmed(), body);
    }

    void quotedPrintableProtectsTrailingBlank()
    {
        QCOMPARE(MailFormat::quotedPrintable("a \nb\t"), QByteArray("a=20\nb=09"));
    }

    void recipients_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("safe");
        QTest::newRow("plain") << QStringLiteral("ops@studio.example")
                               << QStringLiteral("ops@studio.example");
        QTest::newRow("blanks around")
            << QStringLiteral("  ops@x.com  ") << QStringLiteral("ops@x.com");
        QTest::newRow("plus tag") << QStringLiteral("ops+alarm@x.com")
                                  << QStringLiteral("ops+alarm@x.com");
        QTest::newRow("CRLF inside") << QStringLiteral("a@x.com\r\nb@y.com") << QString();
        QTest::newRow("LF inside") << QStringLiteral("a@x.com\nBcc: b@y.com") << QString();
        QTest::newRow("option") << QStringLiteral("-oQ/tmp/x@y.com") << QString();
        QTest::newRow("option after blanks") << QStringLiteral("  -bs@x.com") << QString();
        QTest::newRow("two by comma") << QStringLiteral("a@x.com,b@y.com") << QString();
        QTest::newRow("two by blank") << QStringLiteral("a@x.com b@y.com") << QString();
        QTest::newRow("angle") << QStringLiteral("<a@x.com>") << QString();
        QTest::newRow("no at") << QStringLiteral("operator") << QString();
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("tab inside") << QStringLiteral("a@x\t.com") << QString();
    }
    void recipients()
    {
        QFETCH(QString, address);
        QFETCH(QString, safe);
        QCOMPARE(MailFormat::safeRecipient(address), safe);
    }

    void argumentsEndOptionsBeforeRecipients()
    {
        QCOMPARE(MailFormat::arguments({QStringLiteral("a@x.com"), QStringLiteral("b@y.org")}),
                 (QStringList{"-i", "--", "a@x.com", "b@y.org"}));
    }
};

QTEST_GUILESS_MAIN(TestMailFormat)
#include "tst_mailformat.moc"
