#include "config/Settings.h"

#include "platform/environment/Clock.h"
#include "platform/profile/IniFile.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <optional>
#include <vector>

namespace {

QString withSeparator(QString folder)
{
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

// The play-list index a key name stands for, when it is one: the decimal
// form a numbered key is written in.
std::optional<int> playListIndex(const QString &key)
{
    bool ok = false;
    const int n = key.trimmed().toInt(&ok, 10);
    return ok && n >= 0 && QString::number(n) == key.trimmed() ? std::optional<int>(n) : std::nullopt;
}

// The numbered keys below count that the section really holds, in index
// order. A count is only a claim: walking 0..Count-1 key by key would let a
// 30-byte file with Count=2000000000 hold up start-up for minutes, while the
// result can never differ from looking only at the keys that exist.
std::vector<int> numberedKeysBelow(const IniFile &ini, const QString &section, int count)
{
    std::vector<int> found;
    for (const QString &key : ini.ReadSection(section))
        if (const std::optional<int> n = playListIndex(key); n && *n < count)
            found.push_back(*n);
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

// A list selection as the loader applies it: an index below the entry count
// selects that entry (a negative one selects nothing), anything else leaves
// the list unselected.
int selectionFor(int value, int count)
{
    return value >= 0 && value < count ? value : -1;
}

void loadDevice(Settings &s, const IniFile &ini, const SettingsLoadHooks &hooks)
{
    const QString selection =
        ini.ReadString(QStringLiteral("TapiDevice"), QStringLiteral("Selection"), QString());
    if (!hooks.setSelectedDevice) {
        // No line device yet: the record keeps the name for the next save.
        s.selectedDevice = selection;
        s.editSelectedDevice = selection;
        s.voiceSupport = VoiceSupport::NotChecked;
        return;
    }
    try {
        hooks.setSelectedDevice(selection);
        if (hooks.setEnableVoice)
            hooks.setEnableVoice(true);
        const bool enabled = hooks.enableVoice ? hooks.enableVoice() : true;
        s.voiceSupport = enabled ? VoiceSupport::Supported : VoiceSupport::Unchanged;
    } catch (...) {
        s.voiceSupport = VoiceSupport::NotSupported;
        if (hooks.showMessage)
            hooks.showMessage(QString::fromUtf8(kVoiceCheckFailedMessage));
    }
    s.selectedDevice = hooks.selectedDevice ? hooks.selectedDevice() : selection;
    s.editSelectedDevice = s.selectedDevice;
}

} // namespace

SettingsPaths SettingsPaths::inProgramFolder(const QString &programFolder)
{
    const QString folder = withSeparator(programFolder);
    return {folder + QStringLiteral("Kestrun.ini"), folder + QStringLiteral("Template/")};
}

QString SettingsPaths::mailMessageFile() const
{
    return TemplateSideFiles::mailMessageFile(templateFolder);
}

QString SettingsPaths::faxTemplateFile() const
{
    return TemplateSideFiles::faxTemplateFile(templateFolder);
}

void LoadSettings(Settings &s, const SettingsPaths &paths, const Clock &clock, const SettingsLoadHooks &hooks)
{
    // Read once; the file does not change while we read it.
    const IniFile ini(paths.iniFile, IniFile::Mode::Buffered);
    if (QFileInfo(paths.iniFile).size() > ProfileDocument::kMaxFileSize && hooks.showMessage)
        hooks.showMessage(QStringLiteral("The settings file %1 is larger than %2 MB and was not read. The "
                                         "defaults are in use, and settings cannot be saved until the file "
                                         "is repaired or removed.")
                              .arg(QDir::toNativeSeparators(paths.iniFile))
                              .arg(ProfileDocument::kMaxFileSize / (1024 * 1024)));
    const QString playList = QStringLiteral("PlayList");
    const QString wave = QStringLiteral("WavePlaying");
    const QString email = QStringLiteral("Email");
    const QString fax = QStringLiteral("Fax");

    // The three lists start empty at load and take the same entries.
    s.playList.clear();
    const int count = ini.ReadInteger(playList, QStringLiteral("Count"), 0);
    for (const int i : numberedKeysBelow(ini, playList, count)) {
        const QString entry = ini.ReadString(playList, QString::number(i), QString());
        if (!entry.isEmpty())
            s.playList << entry;
    }

    loadDevice(s, ini, hooks);

    s.play1 = selectionFor(ini.ReadInteger(wave, QStringLiteral("Play1"), 0), s.playList.size());
    s.play2 = selectionFor(ini.ReadInteger(wave, QStringLiteral("Play2"), 1), s.playList.size());
    s.waveDestination = ini.ReadInteger(wave, QStringLiteral("Destination"), 2);

    // The template keys and side files are read only for a template window
    // to take them; each side file follows its keys.
    SettingsTemplate tpl;
    if (hooks.setTemplate) {
        tpl.values.email = TemplateKeys::readEmail(ini);
        if (std::optional<QStringList> body =
                TemplateSideFiles::readMailMessage(paths.mailMessageFile(), s.mailMessageFormat)) {
            tpl.values.email.body = *body;
            tpl.hasMailBody = true;
        }
    }
    s.emailHostSelection = ini.ReadInteger(email, QStringLiteral("HostSelection"), 0);
    s.emailHostApp = ini.ReadString(email, QStringLiteral("HostApp"), QString());

    if (hooks.setTemplate) {
        tpl.values.fax = TemplateKeys::readFax(ini, clock.now());
        if (std::optional<QByteArray> body = TemplateSideFiles::readFaxTemplate(paths.faxTemplateFile())) {
            tpl.values.fax.bodyRtf = *body;
            tpl.hasFaxBody = true;
        }
    }
    s.faxHostSelection = ini.ReadInteger(fax, QStringLiteral("HostSelection"), 0);
    s.faxHostApp = ini.ReadString(fax, QStringLiteral("HostApp"), QString());

    s.recordCalls = ini.ReadBool(QStringLiteral("General"), QStringLiteral("RecordCalls"), false);

    if (hooks.setTemplate)
        hooks.setTemplate(tpl);
}

void SaveSettings(const Settings &s, const SettingsPaths &paths, const MessageTemplate *templates)
{
    // The keys reach the file in three steps, each before the side file that
    // follows them in the save order.
    IniFile ini(paths.iniFile, IniFile::Mode::Buffered);
    const QString playList = QStringLiteral("PlayList");
    const QString wave = QStringLiteral("WavePlaying");
    const QString email = QStringLiteral("Email");
    const QString fax = QStringLiteral("Fax");

    // Numbered keys of the old list go first, so a shorter list leaves none
    // of them behind. Those the new list writes again are updated in place
    // instead, so a hand-kept line whose entry did not change stays as it is.
    const int oldCount = ini.ReadInteger(playList, QStringLiteral("Count"), 0);
    const qsizetype newCount = s.playList.size();
    ini.DeleteKeys(playList, [oldCount, newCount](const QString &key) {
        const std::optional<int> n = playListIndex(key);
        return n && *n < oldCount && *n >= newCount;
    });
    std::vector<std::pair<QString, QString>> entries;
    entries.reserve(s.playList.size() + 1);
    entries.emplace_back(QStringLiteral("Count"), QString::number(s.playList.size()));
    for (qsizetype i = 0; i < s.playList.size(); ++i)
        entries.emplace_back(QString::number(i), s.playList[i]);
    ini.WriteStrings(playList, entries);

    ini.WriteString(QStringLiteral("TapiDevice"), QStringLiteral("Selection"), s.selectedDevice);

    ini.WriteInteger(wave, QStringLiteral("Play1"), s.play1);
    ini.WriteInteger(wave, QStringLiteral("Play2"), s.play2);
    ini.WriteInteger(wave, QStringLiteral("Destination"), s.waveDestination);

    if (templates) {
        TemplateKeys::writeEmail(ini, templates->email);
        ini.UpdateFile();
        TemplateSideFiles::writeMailMessage(paths.mailMessageFile(), templates->email.body,
                                            s.mailMessageFormat);
    }
    ini.WriteInteger(email, QStringLiteral("HostSelection"), s.emailHostSelection);
    ini.WriteString(email, QStringLiteral("HostApp"), s.emailHostApp);

    if (templates) {
        TemplateKeys::writeFax(ini, templates->fax);
        ini.UpdateFile();
        TemplateSideFiles::writeFaxTemplate(paths.faxTemplateFile(), templates->fax.bodyRtf);
    }
    ini.WriteInteger(fax, QStringLiteral("HostSelection"), s.faxHostSelection);
    ini.WriteString(fax, QStringLiteral("HostApp"), s.faxHostApp);

    ini.WriteBool(QStringLiteral("General"), QStringLiteral("RecordCalls"), s.recordCalls);
    ini.UpdateFile();
}
