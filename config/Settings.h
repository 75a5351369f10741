#pragma once

// The settings file Kestrun.ini and its two side files in the Template
// folder (mailmessage.txt, faxtemplate.rtf).
//
// The configuration window and the line device read and write their settings
// through Settings, an intermediate record: LoadSettings fills it from disk
// and SaveSettings writes it back, key by key in a fixed order. The e-mail
// and fax template keys and the two bodies have no place in the record: they
// go straight to and come straight from the template window, whose controls
// hold them for the run.

#include "templates/TemplateKeys.h"
#include "templates/TemplateSideFiles.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>
#include <QTime>

#include <functional>
#include <stdexcept>

class Clock;

// Where the settings live. All three are derived from the program folder.
struct SettingsPaths {
    QString iniFile;        // program folder + "Kestrun.ini"
    QString templateFolder; // program folder + "Template/", ending in a separator

    // programFolder may or may not end in a separator.
    static SettingsPaths inProgramFolder(const QString &programFolder);
    QString mailMessageFile() const; // Template/mailmessage.txt
    QString faxTemplateFile() const; // Template/faxtemplate.rtf
};

// What the voice check at load left on the configuration window's
// labelEnableVoice.
enum class VoiceSupport {
    NotChecked,   // no line device was given to LoadSettings
    Unchanged,    // checked without failure, but EnableVoice ended false: label green, text as before
    Supported,    // green, "Voice over the phone line is supported"
    NotSupported, // red, "Voice over the phone line is not supported"
};

// Every setting of the record, at its key's default (the lists empty and
// unselected).
// The comment names the control that is the setting's live home.
struct Settings {
    // PlayList: lbPlayList, cbPLayer1 and cbPlayer2 hold the same entries.
    QStringList playList;
    int play1 = -1; // cbPLayer1 selected index, -1 none
    int play2 = -1; // cbPlayer2 selected index, -1 none

    // TapiDevice
    QString selectedDevice;     // the line device's SelectedDevice
    QString editSelectedDevice; // what editSelectedDevice shows after load
    VoiceSupport voiceSupport = VoiceSupport::NotChecked;

    // WavePlaying
    int waveDestination = 2; // rgWaveDest: 0 line, 1 sound card, 2 both

    // Email and Fax: the host programs (configuration window)
    int emailHostSelection = 0; // rgEmailHost
    QString emailHostApp;       // editEmailProg
    int faxHostSelection = 0;   // rgFaxHost
    QString faxHostApp;         // editFaxProg

    // General
    bool recordCalls = false; // cbRecord

    // How the mail body side file was stored when read, so a save writes it
    // back the same way.
    TextFileFormat mailMessageFormat;
};

// The templates as the settings file holds them: the keys, and the bodies of
// those side files that exist (a missing one leaves its control as it is).
struct SettingsTemplate {
    MessageTemplate values;
    bool hasMailBody = false;
    bool hasFaxBody = false;
};

// The line device and the message box as LoadSettings drives them in its
// device step, and the template window. Any member may be left empty: without setSelectedDevice (no
// line device yet) the device name is only kept in the record and the voice
// check is not run.
struct SettingsLoadHooks {
    std::function<void(const QString &)> setSelectedDevice; // may throw
    std::function<QString()> selectedDevice;
    std::function<void(bool)> setEnableVoice; // may throw
    std::function<bool()> enableVoice;
    // A plain message box (OK button, application title).
    std::function<void(const QString &)> showMessage;
    // The template window: takes the Email and Fax template keys as read and
    // the bodies of those side files that exist. Without it the template
    // keys and side files are not read.
    std::function<void(const SettingsTemplate &)> setTemplate;
};

// Texts of the device step.
inline const char *const kVoiceSupportedText = "Voice over the phone line is supported";
inline const char *const kVoiceNotSupportedText = "Voice over the phone line is not supported";
inline const char *const kVoiceCheckFailedMessage =
    "Current modem selection does not support voice over the phone line\r\nPlease go to Configuration Page";

// Reads Kestrun.ini and the side files into settings, in the fixed load
// order, the Database section excepted. A missing file or key gives the
// key's default; clock gives today's date and the time of day for the fax
// schedule defaults.
void LoadSettings(Settings &settings, const SettingsPaths &paths, const Clock &clock,
                  const SettingsLoadHooks &hooks = {});

// Writes every key from settings and the template window's templates, the
// Database section excepted, and rewrites both side files from the
// templates' bodies. Without templates (no template window) their keys and
// side files are left as they are. Throws EIniFileException ("Unable to
// write to %s") when the settings file cannot be written, and
// SettingsFileError when a side file cannot.
void SaveSettings(const Settings &settings, const SettingsPaths &paths,
                  const MessageTemplate *templates = nullptr);

// Section "Database": where the contact table lives.
struct DatabaseLocation {
    QString path; // folder, normally ending in a separator
    QString name; // file name, "contacdata.dbf" by default
    // Path and name joined as they stand, without adding a separator: a path
    // without its trailing separator names another file.
    QString joined() const { return path + name; }
};

inline const char *const kDefaultTableName = "contacdata.dbf";

// Path (default: programFolder with a trailing separator) and Name (default
// "contacdata.dbf").
DatabaseLocation ReadDatabaseSection(const QString &iniFile, const QString &programFolder);
// Writes Path and Name; throws EIniFileException when the file cannot be written.
void WriteDatabaseSection(const QString &iniFile, const DatabaseLocation &location);
// The start-up fallback: when no file exists at location.joined(), the
// default table in the program folder is used, created empty (with
// CreateContactTable) when no file of that name exists. An existing file is
// never touched. Throws EDbfError when the table cannot be created.
DatabaseLocation ResolveDatabaseLocation(const DatabaseLocation &location, const QString &programFolder);
