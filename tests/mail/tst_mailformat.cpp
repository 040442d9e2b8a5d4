#include "MailFormat.h"

#include <QTimeZone>
#include <QtTest>

using namespace dovrane;

namespace {

MailFormat::Envelope envelope()
{
    return {QStringLiteral("Dovrane <monitor@studio>"), QStringLiteral("1150380207000.42.1@studio"),
            QDateTime(QDate(2006, 6, 15), QTime(14, 3, 27), QTimeZone(7200))};
}

QByteArray compose(const QString& subject, const QString& body = QStringLiteral("b"))
{
    return MailFormat::compose({QStringLiteral("a@x.com")}, subject, body, envelope());
}

QByteArray headOf(const QByteArray& message)
{
    return message.left(message.indexOf("\n\n"));
}
QByteArray bodyOf(const QByteArray& message)
{
    return message.mid(message.indexOf("\n\n") + 2);
}

// The Subject value with folding undone, as a receiving mail system reads it.
QString subjectOf(const QByteArray& message)
{
    const QByteArray head = "\n" + headOf(message);
    const qsizetype start = head.indexOf("\nSubject: ") + 10;
    qsizetype end = head.indexOf('\n', start);
    while (end >= 0 && end + 1 < head.size() && head.at(end + 1) == ' ')
        end = head.indexOf('\n', end + 1);
    return QString::fromUtf8(head.mid(start, end < 0 ? -1 : end - start)).remove(QLatin1Char('\n'));
}

// Decodes "=?UTF-8?B?...?=" words separated by folding whitespace.
QString decodeWords(const QString& value)
{
    static const QRegularExpression word(QStringLiteral("=\\?UTF-8\\?B\\?([^?]*)\\?="));
    QByteArray utf8;
    for (auto it = word.globalMatch(value); it.hasNext();)
        utf8 += QByteArray::fromBase64(it.next().captured(1).toLatin1());
    return QString::fromUtf8(utf8);
}

} // namespace

class TestMailFormat : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wellFormedMessage()
    {
        QCOMPARE(MailFormat::compose({QStringLiteral("a@x.com"), QStringLiteral("b@y.org")},
                                     QStringLiteral("WXYZ Alarm"),
                                     QStringLiteral("06-15-2006 14:03:27 Silence Alarm"),
                                     envelope()),
                 QByteArray("From: Dovrane <monitor@studio>\n"
                            "To: a@x.com,\n b@y.org\n"
                            "Subject: WXYZ Alarm\n"
                            "Date: Thu, 15 Jun 2006 14:03:27 +0200\n"
                            "Message-ID: <1150380207000.42.1@studio>\n"
                            "MIME-Version: 1.0\n"
                            "Content-Type: text/plain; charset=UTF-8\n"
                            "Content-Transfer-Encoding: 8bit\n"
                            "\n"
                            "06-15-2006 14:03:27 Silence Alarm\n"));
        MailFormat::Envelope noFrom = envelope();
        noFrom.from.clear();
        QVERIFY(MailFormat::compose({QStringLiteral("a@x.com")}, QStringLiteral("s"),
                                    QStringLiteral("b"), noFrom)
                    .startsWith("To: a@x.com\n"));
    }

    void longSubjectIsFolded_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<bool>("encoded");
        QTest::newRow("ASCII") << QStringLiteral("word ").repeated(30).trimmed() << false;
        QTest::newRow("umlaut") << QStringLiteral("Radio Z\u00fcrich Alarm") << true;
        QTest::newRow("euro and emoji") << QStringLiteral("\u20ac Studio \U0001F4FB Alarm") << true;
        QTest::newRow("long") << QStringLiteral("\u00c9").repeated(60) + QStringLiteral(" Alarm")
                              << true;
    }
    void longSubjectIsFolded()
    {
        QFETCH(QString, subject);
        QFETCH(bool, encoded);
        const QByteArray m = compose(subject);
        for (const QByteArray& line : headOf(m).split('\n')) {
            QVERIFY2(line.size() <= 78, line.constData());
            for (const char c : line)
                QVERIFY(static_cast<unsigned char>(c) < 0x80);
        }
        if (encoded)
            QCOMPARE(decodeWords(subjectOf(m)), subject);
        else
            QCOMPARE(subjectOf(m).simplified(), subject);
    }

    void lineBreaksNeverMakeHeaders_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::newRow("LF") << QStringLiteral("WXYZ\nBcc: evil@y.com Alarm");
        QTest::newRow("CR") << QStringLiteral("WXYZ\rBcc: evil@y.com Alarm");
        QTest::newRow("blank line") << QStringLiteral("WXYZ\r\n\r\nbody injected");
        QTest::newRow("non-ASCII with LF") << QStringLiteral("Z\u00fcrich\nBcc: evil@y.com");
    }
    void lineBreaksNeverMakeHeaders()
    {
        QFETCH(QString, subject);
        const QByteArray m = compose(subject, QStringLiteral("body"));
        const QByteArray head = "\n" + headOf(m);
        QCOMPARE(head.count("\nSubject:"), 1);
        QVERIFY(!head.contains("\nBcc:"));
        QCOMPARE(bodyOf(m), QByteArray("body\n"));
        QVERIFY(!m.contains('\r'));
    }

    void bodyLineEndsAreNormalised()
    {
        QCOMPARE(bodyOf(compose(QStringLiteral("s"),
                                QStringLiteral("one\r\ntwo\rthree\n.\nZ\u00fcrich"))),
                 QByteArray("one\ntwo\nthree\n.\nZ\xc3\xbc"
                            "rich\n"));
    }

    void longBodyLineIsQuotedPrintable()
    {
        const QString body = QStringLiteral("x").repeated(1200) + QStringLiteral(" caf\u00e9 a=b");
        const QByteArray m = compose(QStringLiteral("s"), body);
        QVERIFY(headOf(m).endsWith("\nContent-Transfer-Encoding: quoted-printable"));
        const QByteArray encoded = bodyOf(m);
        QByteArray decoded;
        for (const QByteArray& line : encoded.split('\n')) {
            QVERIFY(line.size() <= 76);
            decoded += line.endsWith('=') ? line.chopped(1) : line + '\n';
        }
        QCOMPARE(QString::fromUtf8(QByteArray::fromPercentEncoding(decoded, '=')).trimmed(), body);
        QCOMPARE(MailFormat::quotedPrintable("a \nb\t"), QByteArray("a=20\nb=09"));
    }

    void recipients_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("safe");
        QTest::newRow("plain") << QStringLiteral("ops+alarm@studio.example")
                               << QStringLiteral("ops+alarm@studio.example");
        QTest::newRow("blanks around")
            << QStringLiteral("  ops@x.com  ") << QStringLiteral("ops@x.com");
        QTest::newRow("CRLF inside") << QStringLiteral("a@x.com\r\nb@y.com") << QString();
        QTest::newRow("LF inside") << QStringLiteral("a@x.com\nBcc: b@y.com") << QString();
        QTest::newRow("option") << QStringLiteral("-oQ/tmp/x@y.com") << QString();
        QTest::newRow("option after blanks") << QStringLiteral("  -bs@x.com") << QString();
        QTest::newRow("two by comma") << QStringLiteral("a@x.com,b@y.com") << QString();
        QTest::newRow("two by blank") << QStringLiteral("a@x.com b@y.com") << QString();
        QTest::newRow("tab inside") << QStringLiteral("a@x\t.com") << QString();
        QTest::newRow("angle") << QStringLiteral("<a@x.com>") << QString();
        QTest::newRow("no at") << QStringLiteral("operator") << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void recipients()
    {
        QFETCH(QString, address);
        QFETCH(QString, safe);
        QCOMPARE(MailFormat::safeRecipient(address), safe);
    }
};

QTEST_GUILESS_MAIN(TestMailFormat)
#include "tst_mailformat.moc"
