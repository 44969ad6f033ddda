#include "tools/quorvel-modemsim/CaptureWriter.h"

#include <QDir>
#include <QSaveFile>
#include <QtEndian>

namespace quorvel::modemsim {

namespace {
void putU32(QByteArray &out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}
void putU16(QByteArray &out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}
} // namespace

CaptureWriter::CaptureWriter(QString directory)
    : m_directory(std::move(directory))
{
}

QString CaptureWriter::fileName(int number)
{
    return QStringLiteral("call-%1.wav").arg(number, 4, 10, QChar(u'0'));
}

QByteArray CaptureWriter::wavFile(const QByteArray &pcm16, int sampleRate)
{
    const quint32 dataSize = quint32(pcm16.size() & ~qsizetype(1));
    QByteArray out;
    out.reserve(44 + dataSize);
    out.append("RIFF", 4);
    putU32(out, 36 + dataSize);
    out.append("WAVE", 4);
    out.append("fmt ", 4);
    putU32(out, 16);
    putU16(out, 1); // PCM
    putU16(out, 1); // mono
    putU32(out, quint32(sampleRate));
    putU32(out, quint32(sampleRate) * 2);
    putU16(out, 2);
    putU16(out, 16);
    out.append("data", 4);
    putU32(out, dataSize);
    // Samples arrive in native order; WAV wants little endian.
    const auto *in = reinterpret_cast<const qint16 *>(pcm16.constData());
    const qsizetype n = dataSize / 2;
    const qsizetype at = out.size();
    out.resize(at + dataSize);
    qToLittleEndian<qint16>(in, n, out.data() + at);
    return out;
}

void CaptureWriter::startCall(int number)
{
    m_number = number;
    m_pcm.clear();
}

void CaptureWriter::addAudio(const QByteArray &pcm16)
{
    if (m_number > 0)
        m_pcm.append(pcm16);
}

QString CaptureWriter::finishCall(QString *error)
{
    if (m_number <= 0) {
        *error = QStringLiteral("no call");
        return {};
    }
    const QString path = QDir(m_directory).filePath(fileName(m_number));
    m_number = 0;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        m_pcm.clear();
        return {};
    }
    file.write(wavFile(m_pcm));
    m_pcm.clear();
    if (!file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return {};
    }
    return path;
}

} // namespace quorvel::modemsim
