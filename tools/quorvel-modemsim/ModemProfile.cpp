#include "tools/quorvel-modemsim/ModemProfile.h"

#include <cstring>

namespace quorvel::modemsim {

QString VoiceMethod::listLine() const
{
    return QStringLiteral("%1,\"%2\",%3,0,(8000),(0),(0)").arg(id).arg(name).arg(bits);
}

QByteArray VoiceMethod::toPcm16(const QByteArray &bytes) const
{
    switch (coding) {
    case SampleCoding::Linear16:
        return VoiceCodec::decode(bytes, VoiceFormat::Linear16);
    case SampleCoding::Unsigned8:
        return VoiceCodec::decode(bytes, VoiceFormat::Linear8);
    case SampleCoding::Signed8: {
        QByteArray flipped = bytes;
        for (char &b : flipped)
            b = char(uint8_t(b) ^ 0x80);
        return VoiceCodec::decode(flipped, VoiceFormat::Linear8);
    }
    case SampleCoding::MuLaw:
        return VoiceCodec::decode(bytes, VoiceFormat::MuLaw);
    case SampleCoding::ALaw:
        return VoiceCodec::decode(bytes, VoiceFormat::ALaw);
    }
    return {};
}

QStringList ModemProfile::names()
{
    return { QStringLiteral("usr"), QStringLiteral("conexant") };
}

std::optional<ModemProfile> ModemProfile::byName(const QString &name)
{
    ModemProfile p;
    // Settings every modem of the kind takes: speaker, result-code form, DTR and flow control.
    p.m_basicLimits = {
        { QStringLiteral("E"), 1 },  { QStringLiteral("Q"), 1 },  { QStringLiteral("V"), 1 },
        { QStringLiteral("X"), 7 },  { QStringLiteral("L"), 3 },  { QStringLiteral("M"), 3 },
        { QStringLiteral("H"), 1 },  { QStringLiteral("Z"), 1 },  { QStringLiteral("&F"), 1 },
        { QStringLiteral("&C"), 1 }, { QStringLiteral("&D"), 3 }, { QStringLiteral("&K"), 6 },
        { QStringLiteral("&S"), 1 }, { QStringLiteral("&W"), 1 }, { QStringLiteral("&Y"), 1 },
    };
    if (name == u"usr") {
        p.m_name = name;
        p.m_identification = {
            { 0, { QStringLiteral("5601") } },
            { 1, { QStringLiteral("C5F4") } },
            { 2, { QStringLiteral("OK") } },
            { 3, { QStringLiteral("U.S. Robotics 56K FAX USB V1.2.23") } },
            { 4, { QStringLiteral("U.S. Robotics 56K FAX USB Settings...") } },
        };
        p.m_manufacturer = QStringLiteral("U.S. Robotics");
        p.m_model = QStringLiteral("USR5637");
        p.m_revision = QStringLiteral("1.2.23");
        p.m_classList = { QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("8") };
        p.m_methods = {
            { 128, QStringLiteral("8-BIT LINEAR"), 8, SampleCoding::Unsigned8 },
            { 129, QStringLiteral("16-BIT LINEAR"), 16, SampleCoding::Linear16 },
            { 130, QStringLiteral("8-BIT ALAW"), 8, SampleCoding::ALaw },
            { 131, QStringLiteral("8-BIT ULAW"), 8, SampleCoding::MuLaw },
        };
        p.m_defaultMethod = 128;
        p.m_callerIdCommand = CallerIdCommand::Vcid;
        p.m_callerIdSeparator = QStringLiteral(" = ");
        p.m_basicLimits.insert(QStringLiteral("&M"), 5);
        p.m_basicLimits.insert(QStringLiteral("&H"), 7);
        p.m_basicLimits.insert(QStringLiteral("&R"), 2);
        p.m_basicLimits.insert(QStringLiteral("&B"), 2);
        p.m_basicLimits.insert(QStringLiteral("&N"), 16);
        return p;
    }
    if (name == u"conexant") {
        p.m_name = name;
        p.m_identification = {
            { 0, { QStringLiteral("56000") } },
            { 1, { QStringLiteral("OK") } },
            { 2, { QStringLiteral("OK") } },
            { 3, { QStringLiteral("CX93001-EIS_V0.2002-V92") } },
        };
        p.m_manufacturer = QStringLiteral("CONEXANT");
        p.m_model = QStringLiteral("V.92 USB MODEM");
        p.m_revision = QStringLiteral("CX93001-EIS_V0.2002-V92");
        p.m_classList = { QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("1.0"),
                          QStringLiteral("2"), QStringLiteral("8") };
        p.m_methods = {
            { 0, QStringLiteral("SIGNED PCM"), 8, SampleCoding::Signed8 },
            { 1, QStringLiteral("UNSIGNED PCM"), 8, SampleCoding::Unsigned8 },
            { 4, QStringLiteral("ULAW"), 8, SampleCoding::MuLaw },
            { 5, QStringLiteral("ALAW"), 8, SampleCoding::ALaw },
        };
        p.m_defaultMethod = 1;
        p.m_callerIdCommand = CallerIdCommand::HashCid;
        p.m_callerIdSeparator = QStringLiteral("=");
        p.m_basicLimits.insert(QStringLiteral("\\N"), 7);
        p.m_basicLimits.insert(QStringLiteral("%C"), 3);
        p.m_basicLimits.insert(QStringLiteral("%E"), 2);
        return p;
    }
    return std::nullopt;
}

std::optional<QStringList> ModemProfile::identification(int n) const
{
    const auto it = m_identification.find(n);
    if (it == m_identification.end())
        return std::nullopt;
    return *it;
}

const VoiceMethod *ModemProfile::voiceMethod(int id) const
{
    for (const VoiceMethod &m : m_methods)
        if (m.id == id)
            return &m;
    return nullptr;
}

QString ModemProfile::callerIdLine(const QString &tag, const QString &value) const
{
    return tag + m_callerIdSeparator + value;
}

std::optional<int> ModemProfile::basicCommandLimit(const QString &name) const
{
    const auto it = m_basicLimits.find(name);
    if (it == m_basicLimits.end())
        return std::nullopt;
    return *it;
}

} // namespace quorvel::modemsim
