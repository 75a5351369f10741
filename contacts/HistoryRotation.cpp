#include "contacts/HistoryRotation.h"

#include "contacts/DbfTable.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

constexpr int kSlots = 5;
constexpr int kMaxDuration = 9999;

QStringList numbered(const char *prefix)
{
    QStringList out;
    for (int i = 1; i <= kSlots; ++i)
        out << QString::fromLatin1(prefix) + QString::number(i);
    return out;
}

} // namespace

HistoryFields historyFieldsFor(HistoryChannel channel)
{
    switch (channel) {
    case HistoryChannel::Call:
        return {numbered("TM_CALL"), numbered("DUR_CALL")};
    case HistoryChannel::Email:
        return {numbered("TM_EMAIL"), numbered("DT_EMAIL")};
    case HistoryChannel::Fax:
        return {numbered("TM_FAX"), numbered("DT_FAX")};
    case HistoryChannel::Wave:
        return {numbered("TM_WAVE"), numbered("DT_WAVE")};
    }
    return {};
}

HistoryRotation rotateHistory(const QStringList &stamps, const QStringList &companions, const QString &stamp,
                              const QString &companion)
{
    HistoryRotation r;
    r.stamps = stamps;
    r.companions = companions;
    while (r.stamps.size() < kSlots)
        r.stamps << QString();
    while (r.companions.size() < kSlots)
        r.companions << QString();
    if (!r.stamps[kSlots - 1].isEmpty()) {
        r.stamps.removeFirst();
        r.companions.removeFirst();
        r.stamps << stamp;
        r.companions << companion;
        r.slot = kSlots;
        r.shifted = true;
        return r;
    }
    for (int i = 0; i < kSlots; ++i) {
        if (r.stamps[i].isEmpty()) {
            r.stamps[i] = stamp;
            r.companions[i] = companion;
            r.slot = i + 1;
            break;
        }
    }
    return r;
}

static int applyRotation(TDbfTable &table, HistoryChannel channel, const QString &stamp,
                         const QString &companion,
                         const std::function<void(const HistoryRotation &)> &beforePost)
{
    const HistoryFields fields = historyFieldsFor(channel);
    const bool durations = channel == HistoryChannel::Call;
    QStringList stamps, companions;
    for (int i = 0; i < kSlots; ++i) {
        stamps << table.AsString(fields.stamps[i]);
        companions << (durations ? QString::number(table.AsInteger(fields.companions[i]))
                                 : table.AsString(fields.companions[i]));
    }
    const HistoryRotation r = rotateHistory(stamps, companions, stamp, companion);

    table.Edit();
    try {
        for (int i = 0; i < kSlots; ++i) {
            // Empty (or zero) values leave their field as it was.
            if (!r.stamps[i].isEmpty())
                table.SetAsString(fields.stamps[i], r.stamps[i]);
            if (durations) {
                const int seconds = r.companions[i].toInt();
                if (seconds > 0)
                    table.SetAsInteger(fields.companions[i], std::min(seconds, kMaxDuration));
            } else if (!r.companions[i].isEmpty()) {
                table.SetAsString(fields.companions[i], r.companions[i]);
            }
        }
        if (beforePost)
            beforePost(r);
        table.Post();
    } catch (...) {
        table.Cancel();
        throw;
    }
    return r.slot;
}

int ApplyHistoryRotation(TDbfTable &table, HistoryChannel channel, const QString &stamp,
                         const QString &companion,
                         const std::function<void(const HistoryRotation &)> &beforePost)
{
    if (channel == HistoryChannel::Call)
        return ApplyCallHistoryRotation(table, stamp, companion.toInt(), beforePost);
    return applyRotation(table, channel, stamp, companion, beforePost);
}

int ApplyCallHistoryRotation(TDbfTable &table, const QString &stamp, int durationSeconds,
                             const std::function<void(const HistoryRotation &)> &beforePost)
{
    return applyRotation(table, HistoryChannel::Call, stamp, QString::number(durationSeconds), beforePost);
}

QString HistoryTimeStamp(const QDateTime &when, const QLocale &locale)
{
    // The time separator is whatever follows the hours in the locale's
    // short time format.
    QString separator = QStringLiteral(":");
    const QString format = locale.timeFormat(QLocale::ShortFormat);
    const qsizetype h = format.indexOf(QRegularExpression(QStringLiteral("[hH]")));
    if (h >= 0) {
        qsizetype i = h;
        while (i < format.size() && (format[i] == QLatin1Char('h') || format[i] == QLatin1Char('H')))
            ++i;
        qsizetype j = i;
        while (j < format.size() && format[j] != QLatin1Char('m') && !format[j].isSpace())
            ++j;
        if (j > i)
            separator = format.mid(i, j - i);
    }
    const QDate d = when.date();
    const QTime t = when.time();
    return QStringLiteral("%1-%2-%3 %4%5%6")
        .arg(d.day(), 2, 10, QLatin1Char('0'))
        .arg(locale.monthName(d.month(), QLocale::ShortFormat))
        .arg(d.year(), 4, 10, QLatin1Char('0'))
        .arg(t.hour(), 2, 10, QLatin1Char('0'))
        .arg(separator)
        .arg(t.minute(), 2, 10, QLatin1Char('0'));
}
