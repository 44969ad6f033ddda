#pragma once

#include <QString>
#include <optional>

namespace quorvel {

// The file name under which one endpoint listens in the runtime folder: "ch405_1234_7.sock"
// for number 405, process 1234, binding 7 of that process. The process id lets a peer tell its
// own endpoints from another program's and a dead program's file from a live one; the binding
// count keeps two endpoints of one process, or one endpoint bound twice, apart.
struct ChannelSocketName
{
    int number = 0;
    qint64 pid = 0;
    quint64 binding = 0;

    QString fileName() const;
    // Where the socket is made before it listens; peers never look at dot files.
    QString tempName() const;

    static std::optional<ChannelSocketName> parse(const QString &fileName);
};

} // namespace quorvel
