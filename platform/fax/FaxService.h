#pragma once

// The fax service: a server the program connects to, a document with its
// recipients that is submitted as one job per recipient, an outgoing queue
// where jobs wait for their time, and an outgoing archive of sent faxes.
//
// The line is simulated: a job is sent at its scheduled time on the
// environment's clock, and its fax pages go to the archive as sent. Queue and
// archive live in the fax folder of the platform state, so the program and
// the service's own tools (console, cover page editor) see the same jobs.

#include "platform/environment/Environment.h"
#include "platform/fax/FaxError.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

class FaxStore;

struct FaxRecipient {
    QString FaxNumber;
    QString Name;
};

class FaxRecipients {
public:
    int Count() const { return int(m_list.size()); }
    // 1-based, as the service counts.
    FaxRecipient Item(int index) const;
    void Remove(int index);
    FaxRecipient Add(const QString &faxNumber, const QString &name = {});
    const QVector<FaxRecipient> &list() const { return m_list; }

private:
    QVector<FaxRecipient> m_list;
};

struct FaxSenderInfo {
    QString Name, FaxNumber, Company, Phone, Email;
};

// The sender details a document's cover page shows. The service keeps one
// set of defaults, edited in its settings window.
class FaxSender {
public:
    explicit FaxSender(QString faxFolder) : m_folder(std::move(faxFolder)) {}
    FaxSenderInfo info;
    void LoadDefaultSender();
    void SaveDefaultSender() const;

private:
    QString m_folder;
};

// One job in the queue or one sent fax in the archive.
struct FaxJobRecord {
    QString id;
    QString submissionId;
    int sequence = 0;  // position among the recipients of its submission
    qint64 serial = 0; // orders submissions made within the same clock tick
    QDateTime submissionTime, scheduleTime, transmissionEnd;
    FaxRecipient recipient;
    QString senderName, documentName, subject, note;
    int pages = 0;
    int priority = 1;
};

class FaxOutgoingMessage {
public:
    FaxOutgoingMessage(FaxJobRecord record, QString tiffPath)
        : m_record(std::move(record)), m_tiff(std::move(tiffPath))
    {
    }
    QString Id() const { return m_record.id; }
    QDateTime SubmissionTime() const { return m_record.submissionTime; }
    QDateTime ScheduledTime() const { return m_record.scheduleTime; }
    QDateTime TransmissionEnd() const { return m_record.transmissionEnd; }
    FaxRecipient Recipient() const { return m_record.recipient; }
    QString DocumentName() const { return m_record.documentName; }
    QString Subject() const { return m_record.subject; }
    int Pages() const { return m_record.pages; }
    // Writes the fax as a multi-page TIFF, replacing the file.
    void CopyTiff(const QString &path) const;

private:
    FaxJobRecord m_record;
    QString m_tiff;
};

class FaxOutgoingMessageIterator {
public:
    explicit FaxOutgoingMessageIterator(std::vector<FaxOutgoingMessage> messages)
        : m_messages(std::move(messages))
    {
    }
    void MoveFirst() { m_pos = 0; }
    bool AtEOF() const { return m_pos >= m_messages.size(); }
    // Throws EFaxError past the end.
    FaxOutgoingMessage Message() const;
    void MoveNext();

private:
    std::vector<FaxOutgoingMessage> m_messages;
    size_t m_pos = 0;
};

class FaxOutgoingArchive {
public:
    explicit FaxOutgoingArchive(FaxStore &store) : m_store(&store) {}
    // The sent faxes, oldest first; prefetchSize is accepted and ignored.
    std::unique_ptr<FaxOutgoingMessageIterator> GetMessages(int prefetchSize = 0) const;
    // Throws EFaxError when no sent fax has that id.
    FaxOutgoingMessage GetMessage(const QString &id) const;

private:
    FaxStore *m_store;
};

class FaxOutgoingQueue {
public:
    explicit FaxOutgoingQueue(FaxStore &store) : m_store(&store) {}
    // Jobs still waiting, in the order they will be sent.
    std::vector<FaxOutgoingMessage> GetJobs() const;
    // Removes a waiting job; throws EFaxError when it is not (or no longer) there.
    void Cancel(const QString &id);

private:
    FaxStore *m_store;
};

class FaxFolders {
public:
    explicit FaxFolders(FaxStore &store) : m_archive(store), m_queue(store) {}
    FaxOutgoingArchive &OutgoingArchive() { return m_archive; }
    FaxOutgoingQueue &OutgoingQueue() { return m_queue; }

private:
    FaxOutgoingArchive m_archive;
    FaxOutgoingQueue m_queue;
};

class FaxServer : public QObject {
    Q_OBJECT
public:
    // The service's files live under env's state folder; throws EFaxError
    // when that folder cannot be made.
    explicit FaxServer(Environment &env);
    ~FaxServer() override;

    static QString faxFolder(const Environment &env);

    // An empty name (or "localhost") is the local service; any other server
    // cannot be reached from here. Connecting again is harmless.
    void Connect(const QString &serverName);
    void Disconnect();
    bool Connected() const { return m_connected; }
    // Throws EFaxError when not connected.
    FaxFolders &Folders();

    Environment &environment() const { return *m_env; }
    FaxStore &store() { return *m_store; }
    // Sends whatever is due now and sets the line's timer for the next job.
    void processQueue();
    // Sets the line's timer for the next waiting job.
    void scheduleNext();

signals:
    // A job went from the queue to the archive.
    void jobSent(const QString &id);

private:
    Environment *m_env;
    std::unique_ptr<FaxStore> m_store;
    std::unique_ptr<FaxFolders> m_folders;
    bool m_connected = false;
    quint64 m_timerGeneration = 0;
};

class FaxDocument {
public:
    explicit FaxDocument(Environment &env);

    FaxRecipients &Recipients() { return m_recipients; }
    FaxSender &Sender() { return m_sender; }

    QString Body() const { return m_body; }
    void setBody(const QString &v) { m_body = v; }
    QString DocumentName() const { return m_documentName; }
    void setDocumentName(const QString &v) { m_documentName = v; }
    int Priority() const { return m_priority; }
    void setPriority(int v);
    // 0 none, 1 a cover page file, 2 a cover page of the service ("generic").
    int CoverPageType() const { return m_coverPageType; }
    void setCoverPageType(int v);
    QString CoverPage() const { return m_coverPage; }
    void setCoverPage(const QString &v) { m_coverPage = v; }
    QString Note() const { return m_note; }
    void setNote(const QString &v) { m_note = v; }
    int ReceiptType() const { return m_receiptType; }
    void setReceiptType(int v);
    // 0 now, 1 at ScheduleTime.
    int ScheduleType() const { return m_scheduleType; }
    void setScheduleType(int v);
    QDateTime ScheduleTime() const { return m_scheduleTime; }
    void setScheduleTime(const QDateTime &v) { m_scheduleTime = v; }
    QString Subject() const { return m_subject; }
    void setSubject(const QString &v) { m_subject = v; }

    // Renders the fax and queues one job per recipient; returns their ids in
    // the order the recipients were added. Nothing is queued when it throws.
    QStringList ConnectedSubmit(FaxServer &server);

private:
    Environment *m_env;
    FaxRecipients m_recipients;
    FaxSender m_sender;
    QString m_body, m_documentName, m_coverPage, m_note, m_subject;
    int m_priority = 1, m_coverPageType = 0, m_receiptType = 0, m_scheduleType = 0;
    QDateTime m_scheduleTime;
};
