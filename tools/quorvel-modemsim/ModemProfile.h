#pragma once

#include "shared/modem/VoiceCodec.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>

namespace quorvel::modemsim {

// How the modem expects voice samples for one AT+VSM compression method.
enum class SampleCoding {
    Linear16, // signed 16-bit little endian
    Unsigned8, // unsigned 8-bit, 0x80 silence
    Signed8, // signed 8-bit, 0x00 silence
    MuLaw,
    ALaw,
};

struct VoiceMethod {
    int id = 0;
    QString name;
    int bits = 8;
    SampleCoding coding = SampleCoding::Unsigned8;

    int bytesPerSample() const { return coding == SampleCoding::Linear16 ? 2 : 1; }
    // The line "<id>,"<name>",<bits>,0,(8000),(0),(0)" of the AT+VSM=? answer.
    QString listLine() const;
    // Converts samples of this coding to signed 16-bit (native endian); an odd trailing byte
    // of a 16-bit stream is dropped.
    QByteArray toPcm16(const QByteArray &bytes) const;
};

// What a modem family says about itself and how it spells things. Two families are modelled: a
// USB modem of the "usr" kind (+VCID, blanks around "=" in caller-ID lines, 8/16-bit linear and
// G.711 methods numbered from 128) and a "conexant" kind (#CID, no blanks, signed/unsigned 8-bit
// PCM and G.711 numbered 0..5).
class ModemProfile {
public:
    enum class CallerIdCommand { Vcid, HashCid };

    static std::optional<ModemProfile> byName(const QString &name);
    static QStringList names();

    QString name() const { return m_name; }
    // The ATI<n> answer lines; nullopt when the modem answers ERROR to ATI<n>.
    std::optional<QStringList> identification(int n) const;
    QString manufacturer() const { return m_manufacturer; }
    QString model() const { return m_model; }
    QString revision() const { return m_revision; }
    // The AT+FCLASS=? answer, and the classes it names.
    QString classList() const { return m_classList.join(u','); }
    bool supportsClass(const QString &value) const { return m_classList.contains(value); }
    const QList<VoiceMethod> &voiceMethods() const { return m_methods; }
    const VoiceMethod *voiceMethod(int id) const;
    int defaultVoiceMethod() const { return m_defaultMethod; }
    CallerIdCommand callerIdCommand() const { return m_callerIdCommand; }
    // "NMBR = 5551234" or "NMBR=5551234".
    QString callerIdLine(const QString &tag, const QString &value) const;
    // Basic commands ("E", "&D", "\\N", "%C") the modem accepts, with the highest value each takes.
    std::optional<int> basicCommandLimit(const QString &name) const;

private:
    QString m_name;
    QMap<int, QStringList> m_identification;
    QString m_manufacturer;
    QString m_model;
    QString m_revision;
    QStringList m_classList;
    QList<VoiceMethod> m_methods;
    int m_defaultMethod = 0;
    CallerIdCommand m_callerIdCommand = CallerIdCommand::Vcid;
    QString m_callerIdSeparator;
    QMap<QString, int> m_basicLimits;
};

} // namespace quorvel::modemsim
