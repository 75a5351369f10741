#include "platform/tapi/ProviderConfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QStringList>

namespace {

using Section = QHash<QString, QString>; // keys lower-case

struct NamedFlag {
    const char *name;
    DWORD value;
};

const NamedFlag kMediaModes[] = {
    {"UNKNOWN", LINEMEDIAMODE_UNKNOWN},
    {"INTERACTIVEVOICE", LINEMEDIAMODE_INTERACTIVEVOICE},
    {"AUTOMATEDVOICE", LINEMEDIAMODE_AUTOMATEDVOICE},
    {"DATAMODEM", LINEMEDIAMODE_DATAMODEM},
    {"G3FAX", LINEMEDIAMODE_G3FAX},
};
const NamedFlag kLineFeatures[] = {
    {"DEVSPECIFIC", LINEFEATURE_DEVSPECIFIC},
    {"DEVSPECIFICFEAT", LINEFEATURE_DEVSPECIFICFEAT},
    {"FORWARD", LINEFEATURE_FORWARD},
    {"MAKECALL", LINEFEATURE_MAKECALL},
};

template <size_t N> std::optional<DWORD> parseFlags(const QString &text, const NamedFlag (&names)[N])
{
    DWORD value = 0;
    for (QString part : text.split('|', Qt::SkipEmptyParts)) {
        part = part.trimmed();
        bool ok = false;
        const DWORD number = part.toUInt(&ok, 0);
        if (ok) {
            value |= number;
            continue;
        }
        bool found = false;
        for (const NamedFlag &f : names)
            if (part.compare(QLatin1String(f.name), Qt::CaseInsensitive) == 0) {
                value |= f.value;
                found = true;
            }
        if (!found)
            return std::nullopt;
    }
    return value;
}

std::optional<bool> parseBool(const QString &text)
{
    const QString t = text.trimmed().toLower();
    if (t == "1" || t == "yes" || t == "true" || t == "on")
        return true;
    if (t == "0" || t == "no" || t == "false" || t == "off")
        return false;
    return std::nullopt;
}

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

bool readLine(const Section &s, const QString &sectionName, LineConfig &line, QString *error)
{
    line.name = s.value("name").trimmed();
    if (line.name.isEmpty())
        return fail(error, sectionName + ": the line has no Name");
    if (s.contains("mediamodes")) {
        auto v = parseFlags(s.value("mediamodes"), kMediaModes);
        if (!v)
            return fail(error, sectionName + ": unknown MediaModes \"" + s.value("mediamodes") + "\"");
        line.mediaModes = *v;
    }
    if (s.contains("linefeatures")) {
        auto v = parseFlags(s.value("linefeatures"), kLineFeatures);
        if (!v)
            return fail(error, sectionName + ": unknown LineFeatures \"" + s.value("linefeatures") + "\"");
        line.lineFeatures = *v;
    }
    if (s.contains("wavedevices")) {
        auto v = parseBool(s.value("wavedevices"));
        if (!v)
            return fail(error, sectionName + ": WaveDevices is not 0 or 1");
        line.waveDevices = *v;
    }
    return true;
}

bool readNumber(const Section &s, const QString &sectionName, const QString &folder, FarEndConfig &far,
                QString *error)
{
    if (s.contains("pattern"))
        far.pattern = s.value("pattern").trimmed();
    if (s.contains("outcome")) {
        static const QMap<QString, CallOutcome> outcomes = {
            {"answer", CallOutcome::Answer},           {"busy", CallOutcome::Busy},
            {"noanswer", CallOutcome::NoAnswer},       {"badaddress", CallOutcome::BadAddress},
            {"unreachable", CallOutcome::Unreachable}, {"fail", CallOutcome::Fail},
        };
        const QString o = s.value("outcome").trimmed().toLower();
        if (!outcomes.contains(o))
            return fail(error, sectionName + ": unknown Outcome \"" + s.value("outcome") + "\"");
        far.outcome = outcomes.value(o);
    }
    auto number = [&](const char *key, double min, double &out) {
        if (!s.contains(key))
            return true;
        bool ok = false;
        const double v = s.value(key).trimmed().toDouble(&ok);
        if (!ok || v < min)
            return fail(error,
                        sectionName + ": " + key + " is not a number of at least " + QString::number(min));
        out = v;
        return true;
    };
    double rings = far.rings, noAnswer = far.noAnswerSeconds;
    if (!number("rings", 0, rings) || !number("noanswerseconds", 0, noAnswer) ||
        !number("talkseconds", 0, far.talkSeconds) || !number("hangupseconds", 0, far.hangupSeconds))
        return false;
    far.rings = int(rings);
    far.noAnswerSeconds = int(noAnswer);
    if (s.contains("audio")) {
        QString audio = s.value("audio").trimmed();
        const QString lower = audio.toLower();
        if (lower != "speech" && lower != "silence") {
            if (QFileInfo(audio).isRelative())
                audio = QDir(folder).absoluteFilePath(audio);
            if (!QFileInfo::exists(audio))
                return fail(error, sectionName + ": the wave file \"" + audio + "\" does not exist");
        } else {
            audio = lower;
        }
        far.audio = audio;
    }
    if (s.contains("dtmf")) {
        for (const QString &item : s.value("dtmf").split(',', Qt::SkipEmptyParts)) {
            const QStringList parts = item.trimmed().split(':');
            bool ok = false;
            const double at = parts.value(0).toDouble(&ok);
            const QString digit = parts.value(1).trimmed();
            if (parts.size() != 2 || !ok || at < 0 || digit.size() != 1 ||
                !QStringLiteral("0123456789*#ABCD").contains(digit.at(0).toUpper()))
                return fail(error,
                            sectionName + ": Dtmf entry \"" + item.trimmed() + "\" is not seconds:digit");
            far.dtmf.push_back({qint64(at * 1000.0 + 0.5), char(digit.at(0).toUpper().toLatin1())});
        }
    }
    return true;
}

} // namespace

ProviderConfig ProviderConfig::defaults()
{
    ProviderConfig c;
    LineConfig line;
    line.name = defaultLineName();
    c.lines.push_back(line);
    return c;
}

std::optional<ProviderConfig> ProviderConfig::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.exists())
        return defaults();
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = "cannot read " + path + ": " + file.errorString();
        return std::nullopt;
    }
    return parse(QString::fromUtf8(file.readAll()), QFileInfo(path).absolutePath(), error);
}

std::optional<ProviderConfig> ProviderConfig::parse(const QString &text, const QString &folder,
                                                    QString *error)
{
    QMap<QString, Section> sections; // names lower-case
    QString current;
    int lineNo = 0;
    for (QString line : text.split('\n')) {
        ++lineNo;
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#'))
            continue;
        if (line.startsWith('[')) {
            if (!line.endsWith(']')) {
                fail(error, "line " + QString::number(lineNo) + ": unclosed section name");
                return std::nullopt;
            }
            current = line.mid(1, line.size() - 2).trimmed().toLower();
            sections[current];
            continue;
        }
        const int eq = line.indexOf('=');
        if (eq <= 0 || current.isEmpty()) {
            fail(error, "line " + QString::number(lineNo) + ": expected key=value inside a section");
            return std::nullopt;
        }
        QString value = line.mid(eq + 1);
        // A ';' after a blank starts a trailing comment.
        const int comment = value.indexOf(QLatin1String(" ;"));
        if (comment >= 0)
            value.truncate(comment);
        sections[current][line.left(eq).trimmed().toLower()] = value.trimmed();
    }

    ProviderConfig c;
    if (sections.contains("provider")) {
        const Section &p = sections["provider"];
        if (p.contains("soundcard")) {
            auto v = parseBool(p.value("soundcard"));
            if (!v) {
                fail(error, "Provider: SoundCard is not 0 or 1");
                return std::nullopt;
            }
            c.soundCard = *v;
        }
    }
    for (int i = 0; sections.contains("line" + QString::number(i)); ++i) {
        LineConfig line;
        if (!readLine(sections["line" + QString::number(i)], "Line" + QString::number(i), line, error))
            return std::nullopt;
        c.lines.push_back(line);
    }
    if (c.lines.isEmpty())
        c.lines = defaults().lines; // a file that only describes far ends keeps the default modem
    if (sections.contains("default") &&
        !readNumber(sections["default"], "Default", folder, c.fallback, error))
        return std::nullopt;
    for (int i = 0; sections.contains("number" + QString::number(i)); ++i) {
        FarEndConfig far = c.fallback;
        far.dtmf.clear();
        if (!readNumber(sections["number" + QString::number(i)], "Number" + QString::number(i), folder, far,
                        error))
            return std::nullopt;
        c.numbers.push_back(far);
    }
    return c;
}

const FarEndConfig &ProviderConfig::farEndFor(const QString &number) const
{
    for (const FarEndConfig &f : numbers)
        if (matchesNumberPattern(f.pattern, number))
            return f;
    return fallback;
}

bool matchesNumberPattern(const QString &pattern, const QString &number)
{
    // Iterative glob with one backtrack point for the last '*'.
    qsizetype p = 0, n = 0, star = -1, mark = 0;
    while (n < number.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == number[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = n;
        } else if (star >= 0) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}
