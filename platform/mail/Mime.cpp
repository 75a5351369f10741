// GLib uses "signals" as a name; it has to come before Qt defines it.
#include <gmime/gmime.h>

#include "platform/mail/MailError.h"
#include "platform/mail/MailMessage.h"

#include <QMimeDatabase>
#include <memory>
#include <mutex>

namespace {

void ensureInit()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

struct GObjectDeleter {
    void operator()(gpointer p) const
    {
        if (p)
            g_object_unref(p);
    }
};
template <typename T> using GPtr = std::unique_ptr<T, GObjectDeleter>;

struct GFree {
    void operator()(gpointer p) const { g_free(p); }
};
using GString_ = std::unique_ptr<char, GFree>;

QString fromG(const char *s)
{
    return s ? QString::fromUtf8(s) : QString();
}

GDateTime *toGDate(const QDateTime &t)
{
    GTimeZone *tz = g_time_zone_new_offset(t.offsetFromUtc());
    GDateTime *d = g_date_time_new(tz, t.date().year(), t.date().month(), t.date().day(), t.time().hour(),
                                   t.time().minute(), t.time().second() + t.time().msec() / 1000.0);
    g_time_zone_unref(tz);
    return d;
}

QDateTime fromGDate(GDateTime *d)
{
    if (!d)
        return {};
    return QDateTime::fromSecsSinceEpoch(g_date_time_to_unix(d));
}

QByteArray writeObject(GMimeObject *obj)
{
    GPtr<GMimeStream> mem(g_mime_stream_mem_new());
    if (g_mime_object_write_to_stream(obj, nullptr, mem.get()) < 0)
        throw MailError(QStringLiteral("The message could not be written"));
    GByteArray *ba = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem.get()));
    return QByteArray(reinterpret_cast<const char *>(ba->data), int(ba->len));
}

GPtr<GMimeMessage> parseMessage(const QByteArray &bytes)
{
    ensureInit();
    GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.constData(), size_t(bytes.size())));
    GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    GPtr<GMimeMessage> msg(g_mime_parser_construct_message(parser.get(), nullptr));
    if (!msg)
        throw MailError(QStringLiteral("The message cannot be read"));
    return msg;
}

QByteArray partContent(GMimePart *part)
{
    GMimeDataWrapper *content = g_mime_part_get_content(part);
    if (!content)
        return {};
    GPtr<GMimeStream> mem(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, mem.get());
    GByteArray *ba = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem.get()));
    return QByteArray(reinterpret_cast<const char *>(ba->data), int(ba->len));
}

} // namespace

namespace Mime {

QStringList addresses(const QString &to)
{
    ensureInit();
    QStringList out;
    // Outlook users separate recipients with ';' as often as with ','.
    QString text = to;
    text.replace(QLatin1Char(';'), QLatin1Char(','));
    GPtr<InternetAddressList> list(internet_address_list_parse(nullptr, text.toUtf8().constData()));
    if (list) {
        for (int i = 0; i < internet_address_list_length(list.get()); ++i) {
            InternetAddress *a = internet_address_list_get_address(list.get(), i);
            if (INTERNET_ADDRESS_IS_MAILBOX(a)) {
                QString addr = fromG(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(a)));
                if (addr.contains(QLatin1Char('@')))
                    out << addr;
            }
        }
    }
    if (out.isEmpty())
        throw MailError(QStringLiteral("No valid recipient address in \"%1\"").arg(to));
    return out;
}

QByteArray build(const MailMessage &mail)
{
    ensureInit();
    GPtr<GMimeMessage> msg(g_mime_message_new(TRUE));
    if (!mail.from.isEmpty()) {
        GPtr<InternetAddressList> from(internet_address_list_parse(nullptr, mail.from.toUtf8().constData()));
        if (from)
            internet_address_list_append(g_mime_message_get_from(msg.get()), from.get());
    }
    QString to = mail.to;
    to.replace(QLatin1Char(';'), QLatin1Char(','));
    if (!to.trimmed().isEmpty()) {
        GPtr<InternetAddressList> list(internet_address_list_parse(nullptr, to.toUtf8().constData()));
        if (list)
            internet_address_list_append(g_mime_message_get_to(msg.get()), list.get());
    }
    g_mime_message_set_subject(msg.get(), mail.subject.toUtf8().constData(), "utf-8");
    GDateTime *date = toGDate(mail.date.isValid() ? mail.date : QDateTime::currentDateTime());
    g_mime_message_set_date(msg.get(), date);
    g_date_time_unref(date);
    if (mail.delivered.isValid()) {
        GDateTime *d = toGDate(mail.delivered);
        GString_ text(g_mime_utils_header_format_date(d));
        g_date_time_unref(d);
        g_mime_object_set_header(GMIME_OBJECT(msg.get()), "Delivery-Date", text.get(), nullptr);
    }

    GPtr<GMimeTextPart> text(g_mime_text_part_new_with_subtype("plain"));
    g_mime_text_part_set_text(text.get(), mail.body.toUtf8().constData());
    g_mime_part_set_content_encoding(
        GMIME_PART(text.get()),
        g_mime_part_get_best_content_encoding(GMIME_PART(text.get()), GMIME_ENCODING_CONSTRAINT_7BIT));

    if (mail.attachments.isEmpty()) {
        g_mime_message_set_mime_part(msg.get(), GMIME_OBJECT(text.get()));
    } else {
        GPtr<GMimeMultipart> mixed(g_mime_multipart_new_with_subtype("mixed"));
        g_mime_multipart_add(mixed.get(), GMIME_OBJECT(text.get()));
        QMimeDatabase types;
        for (const MailAttachment &a : mail.attachments) {
            const QString type = types.mimeTypeForFileNameAndData(a.fileName, a.data).name();
            const QStringList parts = type.split(QLatin1Char('/'));
            GPtr<GMimePart> part(
                g_mime_part_new_with_type(parts.value(0, "application").toUtf8().constData(),
                                          parts.value(1, "octet-stream").toUtf8().constData()));
            g_mime_part_set_filename(part.get(), a.fileName.toUtf8().constData());
            GPtr<GMimeStream> data(
                g_mime_stream_mem_new_with_buffer(a.data.constData(), size_t(a.data.size())));
            GPtr<GMimeDataWrapper> wrapper(
                g_mime_data_wrapper_new_with_stream(data.get(), GMIME_CONTENT_ENCODING_DEFAULT));
            g_mime_part_set_content(part.get(), wrapper.get());
            g_mime_part_set_content_encoding(part.get(), GMIME_CONTENT_ENCODING_BASE64);
            g_mime_multipart_add(mixed.get(), GMIME_OBJECT(part.get()));
        }
        g_mime_message_set_mime_part(msg.get(), GMIME_OBJECT(mixed.get()));
    }
    return writeObject(GMIME_OBJECT(msg.get()));
}

namespace {

// The headers a message and its outline share.
template <typename T> void readHeaders(GMimeMessage *msg, T &out)
{
    out.subject = fromG(g_mime_message_get_subject(msg));
    if (InternetAddressList *to = g_mime_message_get_to(msg)) {
        GString_ s(internet_address_list_to_string(to, nullptr, FALSE));
        out.to = fromG(s.get());
    }
    if (InternetAddressList *from = g_mime_message_get_from(msg)) {
        GString_ s(internet_address_list_to_string(from, nullptr, FALSE));
        out.from = fromG(s.get());
    }
    out.date = fromGDate(g_mime_message_get_date(msg));
    if (const char *d = g_mime_object_get_header(GMIME_OBJECT(msg), "Delivery-Date")) {
        GDateTime *dt = g_mime_utils_header_decode_date(d);
        out.delivered = fromGDate(dt);
        if (dt)
            g_date_time_unref(dt);
    }
}

// Calls visit for each leaf part of the message, in order.
template <typename Visit> void forEachPart(GMimeMessage *msg, Visit visit)
{
    GMimeObject *top = g_mime_message_get_mime_part(msg);
    if (!top)
        return;
    auto leaf = [&](GMimeObject *obj) {
        if (GMIME_IS_PART(obj))
            visit(GMIME_PART(obj));
    };
    if (GMIME_IS_MULTIPART(top)) {
        GMimePartIter *it = g_mime_part_iter_new(top);
        do {
            if (GMimeObject *cur = g_mime_part_iter_get_current(it))
                leaf(cur);
        } while (g_mime_part_iter_next(it));
        g_mime_part_iter_free(it);
    } else {
        leaf(top);
    }
}

bool isAttachment(GMimePart *part)
{
    return g_mime_part_is_attachment(part) || g_mime_part_get_filename(part);
}

} // namespace

MailMessage parse(const QByteArray &bytes)
{
    GPtr<GMimeMessage> msg = parseMessage(bytes);
    MailMessage m;
    readHeaders(msg.get(), m);
    bool haveBody = false;
    forEachPart(msg.get(), [&](GMimePart *part) {
        if (isAttachment(part)) {
            m.attachments.append({fromG(g_mime_part_get_filename(part)), partContent(part)});
        } else if (!haveBody && GMIME_IS_TEXT_PART(part)) {
            GString_ t(g_mime_text_part_get_text(GMIME_TEXT_PART(part)));
            m.body = fromG(t.get());
            haveBody = true;
        }
    });
    return m;
}

MailOutline outline(const QByteArray &bytes)
{
    GPtr<GMimeMessage> msg = parseMessage(bytes);
    MailOutline o;
    readHeaders(msg.get(), o);
    forEachPart(msg.get(), [&](GMimePart *part) {
        if (isAttachment(part))
            o.attachments.append(fromG(g_mime_part_get_filename(part)));
    });
    return o;
}

QByteArray stampDelivered(const QByteArray &bytes, const QDateTime &when, const QString &from)
{
    GPtr<GMimeMessage> msg = parseMessage(bytes);
    GDateTime *d = toGDate(when);
    GString_ text(g_mime_utils_header_format_date(d));
    g_date_time_unref(d);
    g_mime_object_set_header(GMIME_OBJECT(msg.get()), "Delivery-Date", text.get(), nullptr);
    InternetAddressList *list = g_mime_message_get_from(msg.get());
    if (!from.isEmpty() && internet_address_list_length(list) == 0) {
        GPtr<InternetAddressList> f(internet_address_list_parse(nullptr, from.toUtf8().constData()));
        if (f)
            internet_address_list_append(list, f.get());
    }
    return writeObject(GMIME_OBJECT(msg.get()));
}

} // namespace Mime
