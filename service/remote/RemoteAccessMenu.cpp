#include "service/remote/RemoteAccessMenu.h"

#include "controls/speech/SpeechEngine.h"
#include "shared/common/Clock.h"
#include "shared/records/CallRecordFile.h"

#include <QDir>

namespace quorvel {

namespace {
const QString kDefaultWelcome = QStringLiteral(
    "Welcome. Press <FIRST> for the first call of today, <NEXT> for the next call, "
    "<PREV> for the previous call, <EXIT> to hang up.");
const QString kTag = QStringLiteral("RemoteAccess");

bool isUnknown(const QString &text)
{
    return text.isEmpty() || text == QStringLiteral("UNKNOWN");
}

// An empty key in the settings would leave the command out of reach from the phone; give it a
// free key instead, never one the owner set for another command.
RemoteAccessKeys withDefaults(RemoteAccessKeys keys)
{
    for (QString *k :
         { &keys.play, &keys.prev, &keys.exit, &keys.next, &keys.first, &keys.del, &keys.mark })
        *k = k->trimmed();
    const QStringList used = { keys.play, keys.prev, keys.exit, keys.next, keys.first };
    auto fill = [&used](QString &key, const char *fallback) {
        const QString f = QString::fromLatin1(fallback);
        if (key.isEmpty() && !used.contains(f))
            key = f;
    };
    fill(keys.first, "1");
    fill(keys.prev, "4");
    fill(keys.play, "5");
    fill(keys.next, "6");
    fill(keys.exit, "9");
    return keys;
}
} // namespace

RemoteAccessMenu::RemoteAccessMenu(RemoteAccessOptions options, SpeechEngine *speech, DataHome home,
                                   const Clock &clock, Hooks hooks, QLocale locale, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_keys(withDefaults(m_options.keys))
    , m_speech(speech)
    , m_home(std::move(home))
    , m_clock(clock)
    , m_hooks(std::move(hooks))
    , m_locale(locale)
    , m_localeText(locale)
    , m_expander(m_keys, locale)
{
    m_waitTimer.setSingleShot(true);
    connect(&m_waitTimer, &QTimer::timeout, this, &RemoteAccessMenu::waitExpired);
}

bool RemoteAccessMenu::codeAccessEnabled() const
{
    return m_options.allowRemoteAccess && !m_options.digitsToEnter.trimmed().isEmpty();
}

void RemoteAccessMenu::callStarted(bool remoteCallerKnown)
{
    reset();
    m_inCall = true;
    m_remoteKnown = remoteCallerKnown;
    m_authenticated = remoteCallerKnown;
}

void RemoteAccessMenu::reset()
{
    m_waitTimer.stop();
    m_inCall = false;
    m_remoteKnown = false;
    m_authenticated = false;
    m_tookOver = false;
    m_playing = false;
    m_cutting = false;
    m_hungUp = false;
    m_entered.clear();
    m_wrongAttempts = 0;
    m_calls.clear();
    m_index = -1;
}

void RemoteAccessMenu::onDigit(QChar digit)
{
    if (m_hooks.sendEvent) {
        const int line = m_hooks.lineIndex ? m_hooks.lineIndex() : 0;
        m_hooks.sendEvent(
            { QStringLiteral("Tapi_MonitorDigit"), QString::number(line), QString(digit) });
    }
    if (!m_inCall || m_hungUp)
        return;
    if (!m_authenticated) {
        if (codeAccessEnabled())
            codeDigit(digit);
        return;
    }
    if (!m_tookOver) {
        // The owner, known by caller ID, keys in while the greeting still plays: a command
        // key acts at once, any other key skips to the welcome.
        const bool command = isKey(m_keys.exit, digit) || isKey(m_keys.first, digit)
            || isKey(m_keys.next, digit) || isKey(m_keys.prev, digit) || isKey(m_keys.play, digit);
        takeOver();
        loadCalls();
        if (!command) {
            say(expand(m_options.welcomeText.trimmed().isEmpty() ? kDefaultWelcome
                                                                 : m_options.welcomeText,
                       CallInfo()));
            return;
        }
    }
    menuDigit(digit);
}

void RemoteAccessMenu::codeDigit(QChar digit)
{
    const QString code = m_options.digitsToEnter.trimmed();
    const QString confirm = m_options.confirmDigit.trimmed();
    if (m_playing)
        cutPlayback();
    if (!confirm.isEmpty() && isKey(confirm, digit)) {
        if (m_entered == code) {
            codeAccepted();
            return;
        }
        // The confirm key may also be one of the code's own digits.
        const QString longer = m_entered + digit;
        if (!code.startsWith(longer)) {
            wrongCode();
            return;
        }
    }
    m_entered += digit;
    if (confirm.isEmpty()) {
        if (m_entered == code) {
            codeAccepted();
            return;
        }
        if (m_entered.size() >= code.size()) {
            wrongCode();
            return;
        }
    } else if (m_entered.size() > kMaxCodeLength) {
        wrongCode();
        return;
    }
    if (m_tookOver)
        armWait();
}

void RemoteAccessMenu::codeAccepted()
{
    m_entered.clear();
    m_authenticated = true;
    journal(QStringLiteral("Remote access granted by keypad code"), kTag);
    takeOver();
    loadCalls();
    const QString welcome
        = m_options.welcomeText.trimmed().isEmpty() ? kDefaultWelcome : m_options.welcomeText;
    QString count;
    if (m_calls.isEmpty())
        count = kNoCallsText;
    else if (m_calls.size() == 1)
        count = QStringLiteral("You have one call today.");
    else
        count = QStringLiteral("You have %1 calls today.").arg(m_calls.size());
    say(expand(welcome, CallInfo()).trimmed() + ' ' + count);
}

void RemoteAccessMenu::wrongCode()
{
    m_entered.clear();
    ++m_wrongAttempts;
    journal(QStringLiteral("Wrong remote access code (attempt %1 of %2)")
                .arg(m_wrongAttempts)
                .arg(kMaxAttempts),
            kTag);
    if (m_wrongAttempts >= kMaxAttempts) {
        hangUp(QStringLiteral("Remote access refused after %1 wrong codes").arg(kMaxAttempts));
        return;
    }
    // During the greeting the caller hears nothing new: the greeting goes on.
    if (m_tookOver)
        say(kWrongCodeText);
}

void RemoteAccessMenu::menuDigit(QChar digit)
{
    if (isKey(m_keys.exit, digit)) {
        hangUp(QStringLiteral("Remote access closed by the caller"));
        return;
    }
    if (isKey(m_keys.first, digit)) {
        // Calls that ended since the welcome are counted too.
        loadCalls();
        if (m_calls.isEmpty()) {
            say(kNoCallsText);
            return;
        }
        m_index = 0;
        speakCall();
        return;
    }
    if (isKey(m_keys.next, digit)) {
        if (m_calls.isEmpty()) {
            say(kNoCallsText);
        } else if (m_index + 1 >= m_calls.size()) {
            say(kNoMoreText);
        } else {
            ++m_index;
            speakCall();
        }
        return;
    }
    if (isKey(m_keys.prev, digit)) {
        if (m_calls.isEmpty()) {
            say(kNoCallsText);
        } else if (m_index <= 0) {
            m_index = 0;
            say(kNoEarlierText);
        } else {
            --m_index;
            speakCall();
        }
        return;
    }
    if (isKey(m_keys.play, digit)) {
        if (m_calls.isEmpty()) {
            say(kNoCallsText);
            return;
        }
        if (m_index < 0)
            m_index = 0;
        speakCall();
        return;
    }
    // Not a key of the menu: the text that plays goes on; the caller is still there.
    if (!m_playing)
        armWait();
}

bool RemoteAccessMenu::onGreetingDone()
{
    if (!m_inCall)
        return false;
    if (m_hungUp || m_tookOver)
        return true;
    if (m_authenticated) {
        takeOver();
        loadCalls();
        say(expand(m_options.welcomeText.trimmed().isEmpty() ? kDefaultWelcome
                                                             : m_options.welcomeText,
                   CallInfo()));
        return true;
    }
    if (codeAccessEnabled() && !m_entered.isEmpty()) {
        // The caller is still typing the code when the greeting ends: wait for the rest
        // instead of letting the machine hang up on the owner.
        takeOver();
        armWait();
        return true;
    }
    return false;
}

bool RemoteAccessMenu::onPlayDone()
{
    if (m_cutting)
        return true;
    if (!m_tookOver)
        return false;
    m_playing = false;
    if (!m_hungUp)
        armWait();
    return true;
}

void RemoteAccessMenu::takeOver()
{
    if (m_tookOver)
        return;
    m_tookOver = true;
    // The greeting may still be playing.
    m_cutting = true;
    if (m_hooks.stopLine)
        m_hooks.stopLine();
    m_cutting = false;
    m_playing = false;
}

void RemoteAccessMenu::loadCalls()
{
    const QDate today = m_clock.now().date();
    m_calls = CallRecordFile::forDay(m_home, today).readAll();
    if (m_index >= m_calls.size())
        m_index = m_calls.size() - 1;
}

void RemoteAccessMenu::speakCall()
{
    if (m_index < 0 || m_index >= m_calls.size())
        return;
    const CallRecord &record = m_calls.at(m_index);
    const CallInfo info = callInfoFromRecord(record);
    QStringList parts;
    for (const QString &part : { expand(m_options.beforeText, info).trimmed(),
                                 callSentence(record, m_index + 1, m_calls.size()),
                                 expand(m_options.afterText, info).trimmed() }) {
        if (!part.isEmpty())
            parts << part;
    }
    say(parts.join(' '));
}

QString RemoteAccessMenu::callSentence(const CallRecord &record, int position, int count) const
{
    QString text = QStringLiteral("Call %1 of %2").arg(position).arg(count);
    const QString name = record.callerName();
    const QString number = record.callerNumber();
    const bool outgoing = record.callKind() == QStringLiteral("1");
    text += outgoing ? QStringLiteral(", to ") : QStringLiteral(", from ");
    if (!isUnknown(name))
        text += name;
    else if (!isUnknown(number))
        text += QStringLiteral("number ") + ServiceTemplateExpander::spacedNumber(number).trimmed();
    else
        text += QStringLiteral("an unknown caller");
    const QString timeText = record.time();
    if (!timeText.isEmpty()) {
        const QTime t = m_localeText.parseTime(timeText);
        text += QStringLiteral(", at ")
            + (t.isValid() ? m_locale.toString(t, QLocale::ShortFormat) : timeText);
    }
    return text + '.';
}

CallInfo RemoteAccessMenu::callInfoFromRecord(const CallRecord &record)
{
    CallInfo info;
    if (!record.callerName().isEmpty())
        info.sCallerName = record.callerName();
    if (!record.callerNumber().isEmpty())
        info.sCallerNumber = record.callerNumber();
    info.sDate = record.date();
    info.sTime = record.time();
    if (!record.duration().isEmpty())
        info.sDuration = record.duration();
    if (!record.callKind().isEmpty())
        info.sCallKind = record.callKind();
    return info;
}

void RemoteAccessMenu::say(const QString &text)
{
    cutPlayback();
    m_waitTimer.stop();
    if (text.trimmed().isEmpty() || !m_speech) {
        armWait();
        return;
    }
    const QString dir = m_home.greetsDir();
    QDir().mkpath(dir);
    const QString path = dir + '/' + kWorkFile;
    if (!m_speech->speakToWave(text, path)) {
        journal(QStringLiteral("Speech could not render the remote access text"), kTag);
        armWait();
        return;
    }
    const int r = m_hooks.playToLine ? m_hooks.playToLine(path) : -1;
    if (r != 0) {
        // The failing play already journalled its reason; the caller may press a key again.
        armWait();
        return;
    }
    m_playing = true;
}

void RemoteAccessMenu::cutPlayback()
{
    if (!m_playing)
        return;
    m_cutting = true;
    if (m_hooks.stopLine)
        m_hooks.stopLine();
    m_cutting = false;
    m_playing = false;
}

void RemoteAccessMenu::hangUp(const QString &why)
{
    if (m_hungUp)
        return;
    m_hungUp = true;
    m_waitTimer.stop();
    cutPlayback();
    journal(why, kTag);
    if (m_hooks.drop)
        m_hooks.drop();
    emit dropped();
}

void RemoteAccessMenu::armWait()
{
    if (!m_inCall || m_hungUp)
        return;
    m_waitTimer.start(m_authenticated ? m_menuIdleMs : m_codeWaitMs);
}

void RemoteAccessMenu::waitExpired()
{
    if (!m_inCall || m_hungUp || m_playing)
        return;
    hangUp(QStringLiteral("Remote access: no key pressed; dropping the call"));
}

bool RemoteAccessMenu::isKey(const QString &key, QChar digit) const
{
    const QString k = key.trimmed();
    return !k.isEmpty() && k.compare(QString(digit), Qt::CaseInsensitive) == 0;
}

QString RemoteAccessMenu::expand(const QString &text, const CallInfo &info) const
{
    if (text.isEmpty())
        return text;
    return m_expander.expandTemplate(text, info);
}

void RemoteAccessMenu::journal(const QString &text, const QString &tag) const
{
    if (m_hooks.journal)
        m_hooks.journal(text, tag);
}

} // namespace quorvel
