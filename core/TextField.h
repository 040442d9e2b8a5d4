#pragma once

#include <QByteArray>
#include <QString>

namespace dovrane {

/// Fixed-width text fields of the data files: one byte per character in the
/// Windows-1252 code page, left-aligned, blank-padded and cut to the field width.
namespace TextField {

/// Encodes text as Windows-1252; characters the code page cannot hold become '?'.
[[nodiscard]] QByteArray encode(const QString& text);
[[nodiscard]] QString decode(const QByteArray& bytes);

/// text encoded, cut to width bytes and padded with blanks (0x20).
[[nodiscard]] QByteArray fixed(const QString& text, int width);
/// Pads or cuts a text to width characters (the in-memory form of a field).
[[nodiscard]] QString padded(const QString& text, int width);

} // namespace TextField

/// Little-endian signed 32-bit values inside records.
[[nodiscard]] qint32 readInt32LE(const QByteArray& bytes, int offset);
void writeInt32LE(QByteArray& bytes, int offset, qint32 value);

} // namespace dovrane
