#include "platform/fax/CoverPage.h"

#include "platform/fax/FaxError.h"
#include "platform/fax/FaxTiff.h"

#include <QFile>
#include <QFont>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QSaveFile>

namespace fax {

namespace {

const char *const kFormat = "brenvoy-cover-page";
constexpr qint64 kMaxFileSize = 1 << 20;
constexpr int kMaxItems = 500;
constexpr int kMaxText = 4000;

struct FieldInfo {
    const char *name;
    const char *caption;
};
const FieldInfo kFields[] = {
    {"recipient", "Recipient name"},
    {"recipientfax", "Recipient fax number"},
    {"sender", "Sender name"},
    {"senderfax", "Sender fax number"},
    {"sendercompany", "Sender company"},
    {"senderphone", "Sender phone"},
    {"subject", "Subject"},
    {"note", "Note"},
    {"date", "Date"},
    {"pages", "Number of pages"},
};

CoverPageItem text(const QString &t, int x, int y, int w, int h, int size, bool bold = false)
{
    return {false, t, QRect(x, y, w, h), size, bold};
}

CoverPageItem field(const QString &f, int x, int y, int w, int h, int size = 12)
{
    return {true, f, QRect(x, y, w, h), size, false};
}

} // namespace

QStringList coverPageFields()
{
    QStringList names;
    for (const FieldInfo &f : kFields)
        names << QString::fromLatin1(f.name);
    return names;
}

QString coverPageFieldCaption(const QString &field)
{
    for (const FieldInfo &f : kFields)
        if (field == QLatin1String(f.name))
            return QString::fromLatin1(f.caption);
    return field;
}

QString CoverPageValues::value(const QString &field) const
{
    if (field == QLatin1String("recipient"))
        return recipient;
    if (field == QLatin1String("recipientfax"))
        return recipientFax;
    if (field == QLatin1String("sender"))
        return sender;
    if (field == QLatin1String("senderfax"))
        return senderFax;
    if (field == QLatin1String("sendercompany"))
        return senderCompany;
    if (field == QLatin1String("senderphone"))
        return senderPhone;
    if (field == QLatin1String("subject"))
        return subject;
    if (field == QLatin1String("note"))
        return note;
    if (field == QLatin1String("date"))
        return date;
    if (field == QLatin1String("pages"))
        return QString::number(pages);
    return {};
}

CoverPage CoverPage::generic()
{
    CoverPage c;
    const int left = 150, label = 420, value = 1150, row = 110;
    c.items << text(QStringLiteral("FAX"), left, 150, 1400, 220, 60, true);
    int y = 500;
    auto line = [&](const QString &caption, const QString &f) {
        c.items << text(caption, left, y, label, 90, 14, true) << field(f, left + label, y, value, 90, 14);
        y += row;
    };
    line(QStringLiteral("To:"), QStringLiteral("recipient"));
    line(QStringLiteral("Fax number:"), QStringLiteral("recipientfax"));
    y += 60;
    line(QStringLiteral("From:"), QStringLiteral("sender"));
    line(QStringLiteral("Company:"), QStringLiteral("sendercompany"));
    line(QStringLiteral("Fax number:"), QStringLiteral("senderfax"));
    line(QStringLiteral("Phone:"), QStringLiteral("senderphone"));
    y += 60;
    line(QStringLiteral("Date:"), QStringLiteral("date"));
    line(QStringLiteral("Pages:"), QStringLiteral("pages"));
    line(QStringLiteral("Subject:"), QStringLiteral("subject"));
    y += 60;
    c.items << text(QStringLiteral("Note:"), left, y, label, 90, 14, true)
            << field(QStringLiteral("note"), left, y + row, 1430, kPageHeight - y - row - 150, 14);
    return c;
}

CoverPage CoverPage::load(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw EFaxError(QStringLiteral("The cover page file %1 was not found").arg(path));
    if (f.size() > kMaxFileSize)
        throw EFaxError(QStringLiteral("The cover page file %1 is too large").arg(path));
    const auto bad = [&](const QString &why) {
        return EFaxError(QStringLiteral("The file %1 is not a cover page: %2").arg(path, why));
    };
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &err);
    if (doc.isNull() || !doc.isObject())
        throw bad(err.errorString());
    const QJsonObject root = doc.object();
    if (root.value(QLatin1String("format")).toString() != QLatin1String(kFormat))
        throw bad(QStringLiteral("unknown format"));
    const QJsonArray items = root.value(QLatin1String("items")).toArray();
    if (items.size() > kMaxItems)
        throw bad(QStringLiteral("more than %1 items").arg(kMaxItems));
    const QStringList fields = coverPageFields();
    const QRect page(0, 0, kPageWidth, kPageHeight);
    CoverPage c;
    for (const QJsonValue &v : items) {
        const QJsonObject o = v.toObject();
        CoverPageItem it;
        const QString kind = o.value(QLatin1String("kind")).toString();
        if (kind != QLatin1String("text") && kind != QLatin1String("field"))
            throw bad(QStringLiteral("an item of unknown kind \"%1\"").arg(kind));
        it.isField = kind == QLatin1String("field");
        it.text = o.value(QLatin1String(it.isField ? "field" : "text")).toString();
        if (it.text.size() > kMaxText)
            throw bad(QStringLiteral("a text longer than %1 characters").arg(kMaxText));
        if (it.isField && !fields.contains(it.text))
            throw bad(QStringLiteral("an unknown field \"%1\"").arg(it.text));
        it.rect = QRect(o.value(QLatin1String("x")).toInt(), o.value(QLatin1String("y")).toInt(),
                        o.value(QLatin1String("width")).toInt(), o.value(QLatin1String("height")).toInt());
        if (it.rect.isEmpty() || !page.contains(it.rect))
            throw bad(QStringLiteral("an item outside the page"));
        it.pointSize = o.value(QLatin1String("size")).toInt(12);
        if (it.pointSize < 4 || it.pointSize > 200)
            throw bad(QStringLiteral("a font size of %1").arg(it.pointSize));
        it.bold = o.value(QLatin1String("bold")).toBool();
        c.items << it;
    }
    return c;
}

void CoverPage::save(const QString &path) const
{
    QJsonArray items;
    for (const CoverPageItem &it : this->items) {
        QJsonObject o;
        o.insert(QLatin1String("kind"), it.isField ? QLatin1String("field") : QLatin1String("text"));
        o.insert(QLatin1String(it.isField ? "field" : "text"), it.text);
        o.insert(QLatin1String("x"), it.rect.x());
        o.insert(QLatin1String("y"), it.rect.y());
        o.insert(QLatin1String("width"), it.rect.width());
        o.insert(QLatin1String("height"), it.rect.height());
        o.insert(QLatin1String("size"), it.pointSize);
        o.insert(QLatin1String("bold"), it.bold);
        items.append(o);
    }
    QJsonObject root;
    root.insert(QLatin1String("format"), QLatin1String(kFormat));
    root.insert(QLatin1String("items"), items);
    QSaveFile f(path);
    const QByteArray bytes = QJsonDocument(root).toJson();
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit())
        throw EFaxError(QStringLiteral("Cannot write the cover page file %1: %2").arg(path, f.errorString()));
}

namespace {

bool perRecipient(const CoverPageItem &it)
{
    return it.isField && (it.text == QLatin1String("recipient") || it.text == QLatin1String("recipientfax"));
}

void drawItem(QPainter &p, const CoverPageItem &it, const CoverPageValues &values)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    // Points to page pixels at the fine vertical resolution.
    font.setPixelSize(qMax(1, int(it.pointSize * kYDpi / 72.0)));
    font.setBold(it.bold);
    p.setFont(font);
    const QString shown = it.isField ? values.value(it.text) : it.text;
    // A recipient's text stays in its box, so the rows it may touch are known.
    if (perRecipient(it))
        p.setClipRect(it.rect);
    p.drawText(it.rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, shown);
    if (perRecipient(it))
        p.setClipping(false);
}

} // namespace

QImage CoverPage::render(const CoverPageValues &values) const
{
    QImage page(kPageWidth, kPageHeight, QImage::Format_Grayscale8);
    page.fill(255);
    QPainter p(&page);
    p.setPen(Qt::black);
    for (const CoverPageItem &it : items)
        drawItem(p, it, values);
    return page;
}

PreparedCoverPage::PreparedCoverPage(const CoverPage &cover, const CoverPageValues &shared)
    : m_cover(cover), m_values(shared), m_base(kPageWidth, kPageHeight, QImage::Format_Grayscale8)
{
    m_base.fill(255);
    QRect band;
    {
        QPainter p(&m_base);
        p.setPen(Qt::black);
        for (const CoverPageItem &it : m_cover.items) {
            if (perRecipient(it))
                band |= it.rect;
            else
                drawItem(p, it, m_values);
        }
    }
    band &= m_base.rect();
    if (!band.isEmpty()) {
        m_bandTop = band.top();
        m_bandBottom = band.bottom();
    }
    m_packed = packPage(m_base);
}

PackedPage PreparedCoverPage::pageFor(const QString &recipient, const QString &recipientFax) const
{
    PackedPage page = m_packed;
    if (m_bandBottom < m_bandTop)
        return page;
    CoverPageValues values = m_values;
    values.recipient = recipient;
    values.recipientFax = recipientFax;
    // Only the band is drawn again, on a copy of its rows of the base page.
    QImage band = m_base.copy(0, m_bandTop, m_base.width(), m_bandBottom - m_bandTop + 1);
    {
        QPainter p(&band);
        p.setPen(Qt::black);
        p.translate(0, -m_bandTop);
        for (const CoverPageItem &it : m_cover.items)
            if (perRecipient(it))
                drawItem(p, it, values);
    }
    packRows(band, 0, band.height() - 1, page, m_bandTop);
    return page;
}

} // namespace fax
