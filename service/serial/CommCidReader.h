#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace quorvel {

// Reads the modem's serial port text while the line is idle: counts RING lines, collects the
// caller-ID lines, and says when the line form must hear of the call. Pure: bytes in, steps out.
class CommCidReader {
public:
    // A caller-ID line is well under 100 bytes; anything longer without a carriage return is
    // line noise or a modem stuck in another mode.
    static constexpr int kMaxLine = 256;
    static constexpr char kEscape = 16; // DLE: the modem shields the next byte with it

    struct Step {
        enum Kind {
            Ring, // a RING line (rings = the count so far); the caller is still there
            Offer, // first ring: Comm_InComeCall
            CallerId, // second ring: Comm_CallerID(name, number)
            Takeover, // fourth ring and later: the telephony line must take the call
        };
        Kind kind;
        int rings = 0;
        QString name;
        QString number;
    };

    CommCidReader() { initVals(); }

    // Resets the per-call values (after a call, and when the port is opened).
    void initVals();
    // Feeds received bytes; returns the steps due, in order. The ring steps run after every
    // parsed line, so two RING lines in one read still give the first-ring step.
    std::vector<Step> feed(const QByteArray &bytes);

    QString name() const { return m_name; }
    QString number() const { return m_number; }
    int ringCount() const { return m_ringCount; }
    // Caller-ID values arrived but no RING yet (modems that send the caller ID before the
    // first ring). If no RING follows, they must not be taken for the next call's.
    bool callerIdWithoutRing() const;
    // Lines dropped because no carriage return came within kMaxLine bytes.
    int droppedLines() const { return m_droppedLines; }

    // The value of a caller-ID line ("NMBR = 5551234", "NMBR=5551234", "NAME:JOHN"), blanks
    // and control bytes removed. `tagLength` is the length of the tag at the line's start.
    static QString lineValue(const QByteArray &line, int tagLength);

private:
    void parseLine(const QByteArray &line, std::vector<Step> &steps);

    QByteArray m_buffer;
    bool m_skipNext = false;
    bool m_overlong = false;
    QString m_name;
    QString m_number;
    bool m_nameSeen = false;
    bool m_numberSeen = false;
    int m_ringCount = 0;
    bool m_cidReported = false;
    bool m_offerReported = false;
    int m_droppedLines = 0;
};

} // namespace quorvel
