#pragma once

#include "controls/modem/Telephony.h"

#include <QMap>
#include <QString>

namespace quorvel {

// Remembered modem names by port path. Both programs list the modems; the one that does not
// hold the port at that moment cannot ask the modem, and must still show the same name so the
// stored device choice keeps matching. A small text file, one modem a line:
// path TAB name TAB voice(0/1) TAB digits(0/1).
class ModemIdentityCache {
public:
    explicit ModemIdentityCache(QString filePath);

    bool contains(const QString &path) const;
    LineDeviceCaps lookup(const QString &path) const;
    // Stores and writes the file (best effort: a read-only data home only loses the memory).
    void remember(const QString &path, const LineDeviceCaps &caps);

private:
    void load();

    QString m_filePath;
    QMap<QString, LineDeviceCaps> m_entries;
};

} // namespace quorvel
