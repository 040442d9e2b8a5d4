#pragma once

#include "MailTransport.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace dovrane {

/// Turns a MailMessage into what a sendmail-compatible program takes: the
/// argument list and one RFC 5322 message for its standard input. Nothing the
/// operator typed (facility name, subject, addresses) can add a header line, a
/// recipient or a command-line option.
namespace MailFormat {

/// The address as a recipient, or an empty string when it cannot be one safely: it
/// holds a control character, a blank, a comma or angle brackets, starts with '-',
/// or has no '@' with text on both sides.
[[nodiscard]] QString safeRecipient(const QString& address);

/// "-i", "--" and the safe recipients in order.
[[nodiscard]] QStringList arguments(const QStringList& safeRecipients);

/// A header value on one line: CR, LF and other control characters become blanks.
[[nodiscard]] QString oneLine(const QString& text);

/// The Subject header field value: plain when printable ASCII, otherwise RFC 2047
/// encoded words (UTF-8, base64), folded so no line passes 78 characters.
[[nodiscard]] QByteArray encodeSubject(const QString& subject);

struct Envelope
{
    QString from;      ///< "Name <user@host>", or empty to let the mail program add it
    QString messageId; ///< without angle brackets
    QDateTime date;
};

/// The whole message with LF line ends, as local mail programs expect on stdin.
[[nodiscard]] QByteArray compose(const QStringList& safeRecipients, const QString& subject,
                                 const QString& body, const Envelope& envelope);

/// Quoted-printable (RFC 2045) of UTF-8 text whose lines are LF-separated.
[[nodiscard]] QByteArray quotedPrintable(const QByteArray& utf8);

} // namespace MailFormat

} // namespace dovrane
