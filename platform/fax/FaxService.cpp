#include "platform/fax/FaxService.h"

#include "platform/fax/BodyRenderer.h"
#include "platform/fax/CoverPage.h"
#include "platform/fax/FaxStore.h"
#include "platform/fax/FaxTiff.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QSaveFile>

#include <algorithm>

FaxRecipient FaxRecipients::Item(int index) const
{
    if (index < 1 || index > m_list.size())
        throw EFaxError(QStringLiteral("There is no recipient %1").arg(index));
    return m_list[index - 1];
}

void FaxRecipients::Remove(int index)
{
    if (index < 1 || index > m_list.size())
        throw EFaxError(QStringLiteral("There is no recipient %1").arg(index));
    m_list.removeAt(index - 1);
}

FaxRecipient FaxRecipients::Add(const QString &faxNumber, const QString &name)
{
    m_list.append({faxNumber, name});
    return m_list.back();
}

namespace {

QString senderFile(const QString &folder)
{
    return folder + QStringLiteral("/sender.json");
}

} // namespace

void FaxSender::LoadDefaultSender()
{
    info = {};
    QFile f(senderFile(m_folder));
    if (f.size() > 64 * 1024 || !f.open(QIODevice::ReadOnly))
        return; // no defaults kept yet
    const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
    info.Name = o.value(QLatin1String("name")).toString();
    info.FaxNumber = o.value(QLatin1String("faxNumber")).toString();
    info.Company = o.value(QLatin1String("company")).toString();
    info.Phone = o.value(QLatin1String("phone")).toString();
    info.Email = o.value(QLatin1String("email")).toString();
}

void FaxSender::SaveDefaultSender() const
{
    QJsonObject o;
    o.insert(QLatin1String("name"), info.Name);
    o.insert(QLatin1String("faxNumber"), info.FaxNumber);
    o.insert(QLatin1String("company"), info.Company);
    o.insert(QLatin1String("phone"), info.Phone);
    o.insert(QLatin1String("email"), info.Email);
    QDir().mkpath(m_folder);
    QSaveFile f(senderFile(m_folder));
    const QByteArray bytes = QJsonDocument(o).toJson();
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit())
        throw EFaxError(QStringLiteral("Cannot save the sender details: %1").arg(f.errorString()));
}

void FaxOutgoingMessage::CopyTiff(const QString &path) const
{
    if (QFile::exists(path) && !QFile::remove(path))
        throw EFaxError(QStringLiteral("Cannot replace %1").arg(path));
    if (!QFile::copy(m_tiff, path))
        throw EFaxError(QStringLiteral("Cannot write the fax image to %1").arg(path));
}

FaxOutgoingMessage FaxOutgoingMessageIterator::Message() const
{
    if (AtEOF())
        throw EFaxError(QStringLiteral("There is no message at the end of the archive"));
    return m_messages[m_pos];
}

void FaxOutgoingMessageIterator::MoveNext()
{
    if (!AtEOF())
        ++m_pos;
}

std::unique_ptr<FaxOutgoingMessageIterator> FaxOutgoingArchive::GetMessages(int) const
{
    std::vector<FaxJobRecord> jobs = m_store->archived();
    std::vector<FaxOutgoingMessage> messages;
    messages.reserve(jobs.size());
    for (FaxJobRecord &r : jobs) {
        const QString tiff = m_store->tiffPath(r.id, true);
        messages.emplace_back(std::move(r), tiff);
    }
    return std::make_unique<FaxOutgoingMessageIterator>(std::move(messages));
}

FaxOutgoingMessage FaxOutgoingArchive::GetMessage(const QString &id) const
{
    auto r = m_store->find(id, true);
    if (!r)
        throw EFaxError(QStringLiteral("The fax %1 is not in the outgoing archive").arg(id));
    return FaxOutgoingMessage(std::move(*r), m_store->tiffPath(id, true));
}

std::vector<FaxOutgoingMessage> FaxOutgoingQueue::GetJobs() const
{
    std::vector<FaxOutgoingMessage> jobs;
    for (FaxJobRecord &r : m_store->queued()) {
        const QString tiff = m_store->tiffPath(r.id, false);
        jobs.emplace_back(std::move(r), tiff);
    }
    return jobs;
}

void FaxOutgoingQueue::Cancel(const QString &id)
{
    if (!m_store->cancel(id))
        throw EFaxError(QStringLiteral("The fax job %1 is no longer in the queue").arg(id));
}

QString FaxServer::faxFolder(const Environment &env)
{
    return env.stateFolder() + QStringLiteral("/fax");
}

FaxServer::FaxServer(Environment &env)
    : m_env(&env), m_store(std::make_unique<FaxStore>(faxFolder(env), env.clock())),
      m_folders(std::make_unique<FaxFolders>(*m_store))
{
}

FaxServer::~FaxServer() = default;

void FaxServer::Connect(const QString &serverName)
{
    const QString name = serverName.trimmed();
    if (!name.isEmpty() && name.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0 &&
        name != QLatin1String("."))
        throw EFaxError(QStringLiteral("The fax server %1 cannot be reached").arg(name));
    m_connected = true;
    processQueue();
}

void FaxServer::Disconnect()
{
    m_connected = false;
    ++m_timerGeneration;
}

FaxFolders &FaxServer::Folders()
{
    if (!m_connected)
        throw EFaxError(QStringLiteral("Not connected to the fax server"));
    // What is listed is what has been sent by now.
    processQueue();
    return *m_folders;
}

void FaxServer::processQueue()
{
    for (const QString &id : m_store->sendDue())
        emit jobSent(id);
    scheduleNext();
}

void FaxServer::scheduleNext()
{
    const quint64 generation = ++m_timerGeneration;
    if (!m_connected)
        return;
    const auto next = m_store->nextDue();
    if (!next)
        return;
    // Long waits are taken in steps so a changed clock is noticed.
    const qint64 ms = std::clamp<qint64>(m_env->clock().now().msecsTo(*next), 0, 60 * 60 * 1000);
    m_env->clock().singleShot(ms, this, [this, generation] {
        if (generation == m_timerGeneration)
            processQueue();
    });
}

FaxDocument::FaxDocument(Environment &env) : m_env(&env), m_sender(FaxServer::faxFolder(env)) {}

void FaxDocument::setPriority(int v)
{
    if (v < 0 || v > 2)
        throw EFaxError(QStringLiteral("The priority %1 is not 0, 1 or 2").arg(v));
    m_priority = v;
}

void FaxDocument::setCoverPageType(int v)
{
    if (v < 0 || v > 2)
        throw EFaxError(QStringLiteral("The cover page type %1 is not 0, 1 or 2").arg(v));
    m_coverPageType = v;
}

void FaxDocument::setReceiptType(int v)
{
    if (v != 0)
        throw EFaxError(QStringLiteral("This fax service sends no receipts"));
    m_receiptType = v;
}

void FaxDocument::setScheduleType(int v)
{
    if (v < 0 || v > 1)
        throw EFaxError(QStringLiteral("The schedule type %1 is not 0 or 1").arg(v));
    m_scheduleType = v;
}

namespace {

// Removes temporary files of a submission however it ends.
struct TempFiles {
    QStringList paths;
    ~TempFiles()
    {
        for (const QString &p : paths)
            QFile::remove(p);
    }
};

fax::CoverPage coverPageFor(int type, const QString &name, const QString &faxFolder)
{
    if (type == 1)
        return fax::CoverPage::load(name);
    if (name.compare(QLatin1String("generic"), Qt::CaseInsensitive) == 0)
        return fax::CoverPage::generic();
    // The service's own cover pages, kept in its folder by name.
    const QString file = faxFolder + QStringLiteral("/coverpages/") + QFileInfo(name).fileName();
    for (const QString &candidate : {file, file + QStringLiteral(".bcp")})
        if (!name.isEmpty() && QFileInfo(candidate).isFile())
            return fax::CoverPage::load(candidate);
    throw EFaxError(QStringLiteral("The fax service has no cover page \"%1\"").arg(name));
}

} // namespace

QStringList FaxDocument::ConnectedSubmit(FaxServer &server)
{
    if (!server.Connected())
        throw EFaxError(QStringLiteral("Not connected to the fax server"));
    if (m_recipients.Count() == 0)
        throw EFaxError(QStringLiteral("The fax has no recipients"));
    if (m_body.isEmpty() && m_coverPageType == 0)
        throw EFaxError(QStringLiteral("The fax has neither a document nor a cover page"));
    const QDateTime now = m_env->clock().now();
    QDateTime when = now;
    if (m_scheduleType == 1) {
        if (!m_scheduleTime.isValid())
            throw EFaxError(QStringLiteral("The fax is scheduled without a time"));
        when = m_scheduleTime;
    }

    FaxStore &store = server.store();
    TempFiles temp;
    // Everything but the recipient's lines of the cover page is the same for
    // every recipient: it is rendered once, the body compressed once, and
    // each job copies the body's pages.
    std::optional<fax::CoverPage> cover;
    if (m_coverPageType != 0)
        cover = coverPageFor(m_coverPageType, m_coverPage, FaxServer::faxFolder(*m_env));
    int bodyPages = 0;
    const QString submissionId = store.newId();
    const QString bodyTiff =
        store.queueFolder() + QStringLiteral("/.") + submissionId + QStringLiteral(".body.tif");
    if (!m_body.isEmpty()) {
        temp.paths << bodyTiff;
        fax::FaxTiffWriter body(bodyTiff, -1);
        bodyPages = fax::renderBody(m_body, [&](const QImage &page) { body.addPage(page); });
        body.close();
    }
    const int totalPages = bodyPages + (cover ? 1 : 0);

    fax::CoverPageValues values;
    values.sender = m_sender.info.Name;
    values.senderFax = m_sender.info.FaxNumber;
    values.senderCompany = m_sender.info.Company;
    values.senderPhone = m_sender.info.Phone;
    values.subject = m_subject;
    values.note = m_note;
    values.date = QLocale().toString(when, QLocale::ShortFormat);
    values.pages = totalPages;

    std::optional<fax::PreparedCoverPage> coverPage;
    if (cover)
        coverPage.emplace(*cover, values);

    // Submissions in the same tick of the (possibly simulated) clock keep the
    // order they were made in; the real clock only breaks the tie.
    static qint64 lastSerial = 0;
    const qint64 serial = lastSerial = std::max(lastSerial + 1, QDateTime::currentMSecsSinceEpoch() * 1000);
    std::vector<std::pair<FaxJobRecord, QString>> jobs;
    int sequence = 0;
    for (const FaxRecipient &r : m_recipients.list()) {
        FaxJobRecord job;
        job.id = sequence == 0 ? submissionId : store.newId();
        job.submissionId = submissionId;
        job.sequence = sequence++;
        job.serial = serial;
        job.submissionTime = now;
        job.scheduleTime = when;
        job.recipient = r;
        job.senderName = m_sender.info.Name;
        job.documentName = m_documentName;
        job.subject = m_subject;
        job.note = m_note;
        job.pages = totalPages;
        job.priority = m_priority;
        const QString tiff = store.queueFolder() + QStringLiteral("/.") + job.id + QStringLiteral(".tif");
        temp.paths << tiff;
        fax::FaxTiffWriter out(tiff, totalPages);
        if (coverPage)
            out.addPage(coverPage->pageFor(r.Name, r.FaxNumber));
        if (bodyPages > 0)
            out.addPagesOf(bodyTiff);
        out.close();
        jobs.emplace_back(std::move(job), tiff);
    }

    // Every job is ready: only now does any of them enter the queue.
    store.enqueueAll(jobs);
    QStringList ids;
    for (const auto &[job, tiff] : jobs)
        ids << job.id;
    server.scheduleNext();
    return ids;
}
