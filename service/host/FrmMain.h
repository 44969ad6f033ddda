#pragma once

#include "service/host/ServiceControls.h"
#include "shared/journal/Journal.h"
#include "shared/settings/RegistryRoutines.h"
#include "shared/translation/TranslationTable.h"

#include <QObject>
#include <QString>
#include <memory>

namespace quorvel {

class Channel;
class LineForm;
class SpeechForm;

// Web-access parameters kept from "RemoteAccess\TabInternetAccess"; nothing in the service
// serves the web, they are loaded so a later front end finds them.
struct WebAccessParams
{
    bool allowed = false;
    QString port;
    bool protect = false;
    QString userName;
    QString password;
    QString startPage = QStringLiteral("Calls");
};

// The service's hidden main form: hosts channels 405 and 406, reads the start-up settings,
// writes the start journal lines, initialises telephony and loads the line form.
class FrmMain : public QObject
{
    Q_OBJECT
public:
    static inline const QString kTitle = QStringLiteral("Quorvel 1.1");

    explicit FrmMain(ServiceControls controls, QObject *parent = nullptr);
    ~FrmMain() override;

    // The load sequence; afterwards the form is loaded until unload().
    void load();
    // Unloads the line form, the speech form and the serial form, then this form.
    void unload();
    bool isLoaded() const { return m_loaded; }
    // True when a form of that exact name is loaded ("frmMain", "frmLine", "frmTTS",
    // "frmCommControl").
    bool isFormLoaded(const QString &name) const;

    // Re-reads "cmbSoundDev" and recomputes the sound device index.
    void readSoundDevice(bool replaceZero);
    int soundDeviceIndex() const { return m_soundDevice; }

    const ServiceControls &controls() const { return m_controls; }
    const DataHome &home() const { return m_controls.home; }
    RegistryRoutines &reg() { return m_reg; }
    Journal &journal() { return m_journal; }
    const TranslationTable &texts() const { return m_texts; }
    LineForm *lineForm() const { return m_lineForm.get(); }
    SpeechForm *speechForm() const { return m_speechForm.get(); }

    // Line state and schedule shared with the line form.
    bool lineOff = false;
    bool automaticMode = false;
    QString timeOn;
    QString timeOff;
    WebAccessParams web;

    // The serial caller-ID form registers itself here while it is loaded.
    void setSerialFormLoaded(bool loaded) { m_serialFormLoaded = loaded; }

signals:
    // Emitted after unload() finished; the process-mode host quits on it.
    void unloaded();

private:
    void onProcMessage(const QString &text);
    void onTtsMessage(const QString &text);

    ServiceControls m_controls;
    RegistryRoutines m_reg;
    Journal m_journal;
    TranslationTable m_texts;
    std::unique_ptr<Channel> m_udiProc;
    std::unique_ptr<Channel> m_uDiTTS;
    std::unique_ptr<LineForm> m_lineForm;
    std::unique_ptr<SpeechForm> m_speechForm;
    bool m_serialFormLoaded = false;
    bool m_loaded = false;
    int m_soundDevice = 0;
};

// The index of the last playback device whose name equals `name` exactly; 0 when none does.
int soundDeviceIndexFromName(const Wave &wave, const QString &name);

} // namespace quorvel
