#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace quorvel {

// One contact: 1794 bytes of fixed-width text fields, written as UTF-8 cut at a character
// boundary and padded with blanks; fields a writer never touched hold zero bytes. Readers
// strip blanks and zero bytes at both ends; a field that is not UTF-8 reads as
// Windows-1252.
class ContactRecord {
public:
    static constexpr int kSize = 1794;

    enum class Field {
        Name, // shown for matched calls and journalled
        Picture, // file name inside Pics/
        CallerName, // display only
        CallerNumber, // the number, or leading part of one, that identifies the calls
        AnswerMode, // "1" default, "2" answer and drop, "3" do not answer, "4" own answer
        PickUp, // own answer: the answering machine picks up
        OptionFlag, // own answer: option flag
        Greeting, // own answer: greeting name without ".wav"
        Rings, // own answer: rings before answering
        BeepFlag, // own answer: beep and keep the line after the greeting
        Emergency, // "1" emergency contact
        EventsMode, // "1" default notifications, "2" none, "3" the own ones below
        OwnLineControl, // open the call controller
        OwnShowCall, // show the call on screen
        OwnDisplayStyle, // popup or balloon
        OwnPlaySound,
        OwnSoundName,
        OwnSay,
        OwnSayText, // announcement template
        GroupMode, // "2" clears the group switch, "3" takes the group fields
        GroupSwitch,
        GroupNumber1,
        GroupName,
        GroupFlag,
        GroupNumber2,
        GroupText,
        Notes,
    };
    static constexpr int kFieldCount = static_cast<int>(Field::Notes) + 1;

    struct Layout {
        int offset;
        int width;
    };
    static Layout layout(Field field);

    // A fresh record: every field zero bytes.
    ContactRecord();
    static ContactRecord fromBytes(const QByteArray &bytes);
    const QByteArray &bytes() const { return m_bytes; }

    QString field(Field field) const;
    void setField(Field field, const QString &value);
    // The field's raw bytes.
    QByteArray rawField(Field field) const;
    // True when any byte of the field is not zero.
    bool isWritten(Field field) const;

    QString name() const { return field(Field::Name); }
    QString picture() const { return field(Field::Picture); }
    QString callerNumber() const { return field(Field::CallerNumber); }
    QString answerMode() const { return field(Field::AnswerMode); }
    QString greeting() const { return field(Field::Greeting); }
    QString emergency() const { return field(Field::Emergency); }
    QString eventsMode() const { return field(Field::EventsMode); }

    // The text the number matching looks for, or nullopt when the record has no number at all
    // (its field was never written). An empty text matches every caller number that is not
    // empty.
    std::optional<QString> matchNumber() const;
    static std::optional<QString> matchNumberOf(const char *record);

    // The conversions the call options take a field with: "0" false and any other number
    // true; a field that is not a number (blank, zero bytes, letters) does not convert.
    static std::optional<bool> toBool(const QString &text);
    static std::optional<int> toInt(const QString &text);

    friend bool operator==(const ContactRecord &, const ContactRecord &) = default;

private:
    QByteArray m_bytes;
};

} // namespace quorvel
