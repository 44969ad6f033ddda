#pragma once

#include <QString>
#include <optional>
#include <ostream>

// Readable failure messages for Qt strings in this folder's tests.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}
