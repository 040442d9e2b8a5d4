#pragma once

#include <QString>
#include <QUrl>

namespace dovrane {

/// Text that came from outside (a server's reply, a service's error, an address
/// with a token in it) made fit for a log: a URL shows its scheme and host only,
/// and no control character survives to start a line of its own.
namespace OutsideText {

/// "https://hooks.example.com": the path, query and user info of an address
/// often are its secret.
[[nodiscard]] QString url(const QUrl& url);
/// url() with the path ("https://radio.example.com:8000/live"), for an address
/// whose path names what it is; still no user, password, query or fragment.
[[nodiscard]] QString urlWithPath(const QUrl& url);
/// Control characters shown as \n, \r, \t or \xNN, so the text stays one line.
[[nodiscard]] QString escaped(const QString& text);
/// escaped(), with every address in the text cut to url(); long texts are cut
/// at maxChars.
[[nodiscard]] QString redacted(const QString& text, qsizetype maxChars = 300);
/// Why an HTTP request that carries credentials failed: "HTTP 404", a redirect
/// (never followed, so the credentials stay with the host they were meant for),
/// or the network's error text through redacted().
[[nodiscard]] QString httpFailure(int status, const QString& errorString);

} // namespace OutsideText

} // namespace dovrane
