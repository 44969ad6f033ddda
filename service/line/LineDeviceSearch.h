#pragma once

#include "controls/modem/Telephony.h"

#include <QString>
#include <QStringList>

namespace quorvel {

// Which line device the stored modem name stands for. Device names carry the modem's port, so
// two identical modems still differ; if two devices do share the name, the later one wins,
// and every match is described in the journal so the user can see why.
class LineDeviceSearch {
public:
    struct Choice {
        int index = 0;
        QStringList details; // one "Device Details -" journal text per matching device
    };

    // Walks every device (selecting each on `tapi` in turn). An empty name, or a name no
    // device carries, gives device 0.
    static Choice find(Telephony &tapi, const QString &storedName);

    static QString detailText(int index, const LineDeviceCaps &caps);
};

} // namespace quorvel
