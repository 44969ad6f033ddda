#pragma once

#include <QByteArray>
#include <QString>

namespace quorvel {

// One call of the calls journal: 467 bytes of twelve fixed-width text fields. Text is UTF-8,
// cut so that a field never ends in half a character and padded with blanks; a field that was
// never given a value holds zero bytes. Readers strip blanks and zero bytes at both ends and
// read a field that is not UTF-8 as Windows-1252 (files written by older installations).
class CallRecord {
public:
    static constexpr int kSize = 467;

    enum class Field {
        MessageMark, // "1": a voice message file belongs to the record
        UserFlag, // "1" flagged by the user, "0" not
        CallKind, // "0" incoming; the desktop's filters also know "2", "3", "4"
        CallerName,
        CallerNumber,
        Date, // the user's short date text
        Time, // the user's long time text
        Duration,
        Line, // the line device index, decimal
        Reserved,
        Result, // how the call was handled
        Notes,
    };

    struct Layout {
        int offset;
        int width;
    };
    static Layout layout(Field field);

    // A fresh record: every field zero bytes.
    CallRecord();
    // Bytes as stored; cut or zero-filled to 467.
    static CallRecord fromBytes(const QByteArray &bytes);
    const QByteArray &bytes() const { return m_bytes; }

    QString field(Field field) const;
    // UTF-8 of `value`, cut at a character boundary to the field's width, padded with blanks.
    void setField(Field field, const QString &value);
    // True when any byte of the field is not zero.
    bool isWritten(Field field) const;

    QString messageMark() const { return field(Field::MessageMark); }
    QString userFlag() const { return field(Field::UserFlag); }
    QString callKind() const { return field(Field::CallKind); }
    QString callerName() const { return field(Field::CallerName); }
    QString callerNumber() const { return field(Field::CallerNumber); }
    QString date() const { return field(Field::Date); }
    QString time() const { return field(Field::Time); }
    QString duration() const { return field(Field::Duration); }
    QString line() const { return field(Field::Line); }
    QString reserved() const { return field(Field::Reserved); }
    QString result() const { return field(Field::Result); }
    QString notes() const { return field(Field::Notes); }

    void setMessageMark(const QString &v) { setField(Field::MessageMark, v); }
    void setUserFlag(const QString &v) { setField(Field::UserFlag, v); }
    void setCallKind(const QString &v) { setField(Field::CallKind, v); }
    void setCallerName(const QString &v) { setField(Field::CallerName, v); }
    void setCallerNumber(const QString &v) { setField(Field::CallerNumber, v); }
    void setDate(const QString &v) { setField(Field::Date, v); }
    void setTime(const QString &v) { setField(Field::Time, v); }
    void setDuration(const QString &v) { setField(Field::Duration, v); }
    void setLine(const QString &v) { setField(Field::Line, v); }
    void setReserved(const QString &v) { setField(Field::Reserved, v); }
    void setResult(const QString &v) { setField(Field::Result, v); }
    void setNotes(const QString &v) { setField(Field::Notes, v); }

    // Name of the voice message file that belongs to this record, inside the record's folder:
    // name_number_date_time.wav, with "/" and ":" of the date and ":" of the time as "-".
    QString messageFileName() const;

    // A field's text as readers see it: blanks and zero bytes stripped at both ends, decoded.
    static QString readField(const char *data, int width);
    // A field's bytes as writers store them.
    static QByteArray encodeField(const QString &value, int width);

    friend bool operator==(const CallRecord &, const CallRecord &) = default;

private:
    QByteArray m_bytes;
};

} // namespace quorvel
