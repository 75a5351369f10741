#include "platform/mail/MailTransport.h"

#include <curl/curl.h>
#include <mutex>

namespace {

void ensureCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

class CurlSmtpSession final : public TransportSession {
public:
    CurlSmtpSession(const MailAccount &account, const QString &password) : m_account(account)
    {
        ensureCurl();
        m_curl = curl_easy_init();
        const bool tls = account.security == MailAccount::Security::Tls;
        m_url =
            QStringLiteral("%1://%2:%3").arg(tls ? "smtps" : "smtp", account.host).arg(account.port).toUtf8();
        m_user = account.user.toUtf8();
        m_password = password.toUtf8();
        m_ca = account.caFile.toUtf8();
    }
    ~CurlSmtpSession() override
    {
        if (m_curl)
            curl_easy_cleanup(m_curl);
    }

    SubmitResult submit(const OutgoingMail &mail) override
    {
        if (!m_curl)
            return {false, QStringLiteral("The mail transport could not be started")};
        CURL *c = m_curl;
        // Keep the handle, and so its connection, from mail to mail.
        curl_easy_reset(c);
        curl_easy_setopt(c, CURLOPT_URL, m_url.constData());
        if (m_account.security == MailAccount::Security::StartTls)
            curl_easy_setopt(c, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
        if (!m_ca.isEmpty())
            curl_easy_setopt(c, CURLOPT_CAINFO, m_ca.constData());
        if (!m_user.isEmpty()) {
            curl_easy_setopt(c, CURLOPT_USERNAME, m_user.constData());
            curl_easy_setopt(c, CURLOPT_PASSWORD, m_password.constData());
        }
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 20L);
        // A server that stops answering is given up on rather than waited for.
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, 60L);
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);

        const QByteArray from = "<" + mail.from.toUtf8() + ">";
        curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.constData());
        curl_slist *rcpt = nullptr;
        QList<QByteArray> rcptText;
        for (const QString &r : mail.recipients)
            rcptText << "<" + r.toUtf8() + ">";
        for (const QByteArray &r : rcptText)
            rcpt = curl_slist_append(rcpt, r.constData());
        curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpt);

        // SMTP wants CRLF line ends; the store keeps LF.
        m_data = mail.data;
        m_data.replace("\r\n", "\n");
        m_data.replace("\n", "\r\n");
        m_offset = 0;
        curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(c, CURLOPT_READFUNCTION, &CurlSmtpSession::readData);
        curl_easy_setopt(c, CURLOPT_READDATA, this);
        curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, curl_off_t(m_data.size()));

        m_lastError.clear();
        curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, &CurlSmtpSession::debug);
        curl_easy_setopt(c, CURLOPT_DEBUGDATA, this);
        char errbuf[CURL_ERROR_SIZE] = {0};
        curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errbuf);

        const CURLcode rc = curl_easy_perform(c);
        curl_slist_free_all(rcpt);
        m_data.clear();
        if (rc == CURLE_OK)
            return {true, {}};
        QString reason = m_lastError;
        if (reason.isEmpty())
            reason = QString::fromUtf8(errbuf[0] ? errbuf : curl_easy_strerror(rc));
        return {false, reason};
    }

private:
    static size_t readData(char *buffer, size_t size, size_t nitems, void *user)
    {
        auto *self = static_cast<CurlSmtpSession *>(user);
        const size_t n = std::min(size * nitems, size_t(self->m_data.size() - self->m_offset));
        memcpy(buffer, self->m_data.constData() + self->m_offset, n);
        self->m_offset += qsizetype(n);
        return n;
    }

    // The server's last refusal (a 4xx or 5xx reply) is the reason we give.
    static int debug(CURL *, curl_infotype type, char *data, size_t size, void *user)
    {
        if (type != CURLINFO_HEADER_IN)
            return 0;
        auto *self = static_cast<CurlSmtpSession *>(user);
        const QString line = QString::fromUtf8(data, qsizetype(std::min<size_t>(size, 1024))).trimmed();
        if (line.size() >= 3 && (line[0] == QLatin1Char('4') || line[0] == QLatin1Char('5')) &&
            line[1].isDigit())
            self->m_lastError = line;
        return 0;
    }

    MailAccount m_account;
    CURL *m_curl = nullptr;
    QByteArray m_url, m_user, m_password, m_ca;
    QByteArray m_data;
    qsizetype m_offset = 0;
    QString m_lastError;
};

} // namespace

std::unique_ptr<TransportSession> SmtpTransport::open(const MailAccount &account, const QString &password)
{
    return std::make_unique<CurlSmtpSession>(account, password);
}
