#include "controls/modem/VoiceModemConfig.h"

#include "shared/settings/RegistryRoutines.h"

#include <QFileInfo>

namespace quorvel {

VoiceModemConfig VoiceModemConfig::fromSettings(RegistryRoutines settings)
{
    VoiceModemConfig config;
    settings.setSubkey(QStringLiteral("Properties\\TabDevices"));
    const QString ports = settings.getRegistryValue(QStringLiteral("ModemPorts"), QString());
    for (const QString &p : ports.split(';', Qt::SkipEmptyParts)) {
        const QString path = p.trimmed();
        if (!path.isEmpty() && !config.ports.contains(path))
            config.ports.append(path);
    }
    bool ok = false;
    const int seconds
        = settingToInt(settings.getRegistryValue(QStringLiteral("ModemRingTimeout")), &ok);
    // A cadence shorter than 3 s or longer than a minute is a typing error, not a line.
    if (ok && seconds >= 3 && seconds <= 60)
        config.ringTimeoutMs = seconds * 1000;
    config.identityCacheFile
        = QFileInfo(settings.filePath()).absolutePath() + QStringLiteral("/ModemIdentities.txt");
    return config;
}

} // namespace quorvel
