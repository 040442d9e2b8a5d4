#include "TextField.h"

#include <QtEndian>

#include <array>

namespace dovrane {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F; 0 marks the five unused bytes.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char encodeChar(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    // The five bytes the code page leaves undefined are read as the C1 controls of
    // the same value; writing them back gives the same bytes, so nothing read from
    // a file is changed by writing it again.
    if (c >= 0x80 && c <= 0x9F && kHighControls[c - 0x80] == 0)
        return static_cast<char>(c);
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] != 0 && kHighControls[i] == c)
            return static_cast<char>(0x80 + i);
    }
    return '?';
}

} // namespace

namespace TextField {

QByteArray encode(const QString& text)
{
    QByteArray out;
    out.reserve(text.size());
    for (const QChar c : text)
        out.append(encodeChar(c.unicode()));
    return out;
}

QString decode(const QByteArray& bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (const char b : bytes) {
        const auto u = static_cast<unsigned char>(b);
        if (u >= 0x80 && u <= 0x9F && kHighControls[u - 0x80] != 0)
            out.append(QChar(kHighControls[u - 0x80]));
        else
            out.append(QChar(u));
    }
    return out;
}

QByteArray fixed(const QString& text, int width)
{
    QByteArray bytes = encode(text).left(width);
    if (bytes.size() < width)
        bytes.append(QByteArray(width - bytes.size(), ' '));
    return bytes;
}

QString padded(const QString& text, int width)
{
    return text.left(width).leftJustified(width, QLatin1Char(' '));
}

} // namespace TextField

qint32 readInt32LE(const QByteArray& bytes, int offset)
{
    if (offset < 0 || offset + 4 > bytes.size())
        return 0;
    return qFromLittleEndian<qint32>(bytes.constData() + offset);
}

void writeInt32LE(QByteArray& bytes, int offset, qint32 value)
{
    if (offset + 4 > bytes.size())
        bytes.append(QByteArray(offset + 4 - bytes.size(), '\0'));
    qToLittleEndian<qint32>(value, bytes.data() + offset);
}

} // namespace dovrane
