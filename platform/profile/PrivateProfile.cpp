#include "platform/profile/PrivateProfile.h"

#include "platform/profile/ProfileDocument.h"

QString GetPrivateProfileString(const QString &section, const QString &key, const QString &defaultValue,
                                const QString &fileName, int bufferSize)
{
    ProfileDocument doc;
    std::optional<QString> found;
    if (doc.load(fileName))
        found = doc.value(section, key, bufferSize > 0 ? bufferSize - 1 : -1);
    QString result;
    if (found)
        result = *found;
    else {
        result = defaultValue;
        while (!result.isEmpty() && result.back() == ' ')
            result.chop(1);
    }
    if (bufferSize > 0 && result.size() > bufferSize - 1)
        result.truncate(bufferSize - 1);
    return result;
}

int GetPrivateProfileInt(const QString &section, const QString &key, int defaultValue,
                         const QString &fileName)
{
    const QString s = GetPrivateProfileString(section, key, QString(), fileName);
    if (s.isEmpty())
        return defaultValue;
    qsizetype i = 0;
    while (i < s.size() && s[i].isSpace())
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        negative = s[i++] == '-';
    int base = 10;
    if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    quint32 value = 0;
    for (; i < s.size(); ++i) {
        const QChar c = s[i].toLower();
        const int digit = c.isDigit()                            ? c.digitValue()
                          : (base == 16 && c >= 'a' && c <= 'f') ? c.unicode() - 'a' + 10
                                                                 : -1;
        if (digit < 0 || digit >= base)
            break;
        value = value * base + digit; // wraps as the 32-bit reader does
    }
    return static_cast<int>(negative ? 0u - value : value);
}

bool WritePrivateProfileString(const QString &section, const std::optional<QString> &key,
                               const std::optional<QString> &value, const QString &fileName)
{
    if (!ProfileDocument::validSection(section) || (key && !ProfileDocument::validKey(*key)))
        return false;
    ProfileDocument doc;
    if (!doc.load(fileName))
        return false;
    if (!key)
        return !doc.removeSection(section) || doc.save(fileName);
    if (!value)
        return !doc.removeKey(section, *key) || doc.save(fileName);
    return doc.setValue(section, *key, *value) && doc.save(fileName);
}

QStringList GetPrivateProfileSectionNames(const QString &fileName)
{
    ProfileDocument doc;
    doc.load(fileName);
    return doc.sections();
}

QStringList GetPrivateProfileSectionKeys(const QString &section, const QString &fileName)
{
    ProfileDocument doc;
    doc.load(fileName);
    return doc.keys(section);
}
