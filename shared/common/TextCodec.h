#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace quorvel {

// Text the system writes is UTF-8; files from older installations are Windows-1252.
namespace TextCodec {

bool isValidUtf8(const QByteArray &bytes);
// UTF-8 when the bytes are valid UTF-8, else Windows-1252.
QString decode(const QByteArray &bytes);
QString decodeWindows1252(const QByteArray &bytes);

// UTF-8 of `text`, cut so that it is at most `width` bytes and never ends in half a character.
QByteArray encodeCut(const QString &text, int width);

// Splits a text file into lines; CR LF, a lone CR and a lone LF each end a line. A final line
// without an end is kept; an empty tail after the last line end is not a line.
QStringList splitLines(const QString &text);

} // namespace TextCodec
} // namespace quorvel
