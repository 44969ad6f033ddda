#pragma once

#include <QByteArray>

namespace quorvel::test {

// Pieces of hand-made record images.
inline QByteArray zeros(int n)
{
    return QByteArray(n, '\0');
}
inline QByteArray blanks(int n)
{
    return QByteArray(n, ' ');
}
// `text` followed by blanks up to `width` bytes.
inline QByteArray padded(const QByteArray &text, int width)
{
    return text + blanks(width - int(text.size()));
}

} // namespace quorvel::test
