#include "platform/secrets/SecretStore.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEventLoop>
#include <QFile>
#include <QSettings>
#include <fcntl.h>
#include <qt6keychain/keychain.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Secrets {

FileSecretStore::FileSecretStore(QString path) : m_path(std::move(path)) {}

QString FileSecretStore::where() const
{
    return QStringLiteral("the file %1, readable only by you").arg(m_path);
}

std::optional<QString> FileSecretStore::read(const QString &key)
{
    if (!QFile::exists(m_path))
        return std::nullopt;
    QSettings s(m_path, QSettings::IniFormat);
    const QVariant v = s.value("Secrets/" + key);
    if (!v.isValid())
        return std::nullopt;
    return QString::fromUtf8(QByteArray::fromBase64(v.toByteArray()));
}

void FileSecretStore::write(const QString &key, const QString &secret)
{
    // Created owner-only before anything is written to it.
    const QByteArray path = QFile::encodeName(m_path);
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT, 0600);
    if (fd < 0)
        throw SecretStoreError(QStringLiteral("Cannot write the password file %1").arg(m_path));
    ::fchmod(fd, 0600);
    ::close(fd);
    QSettings s(m_path, QSettings::IniFormat);
    s.setValue("Secrets/" + key, secret.toUtf8().toBase64());
    s.sync();
    ::chmod(path.constData(), 0600);
    if (s.status() != QSettings::NoError)
        throw SecretStoreError(QStringLiteral("Cannot write the password file %1").arg(m_path));
}

void FileSecretStore::remove(const QString &key)
{
    if (!QFile::exists(m_path))
        return;
    QSettings s(m_path, QSettings::IniFormat);
    s.remove("Secrets/" + key);
    s.sync();
}

KeychainSecretStore::KeychainSecretStore(QString service) : m_service(std::move(service)) {}

QString KeychainSecretStore::where() const
{
    return QStringLiteral("the desktop's secret store");
}

bool KeychainSecretStore::available()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    for (const char *name : {"org.freedesktop.secrets", "org.kde.kwalletd6", "org.kde.kwalletd5"})
        if (bus.interface()->isServiceRegistered(QString::fromLatin1(name)))
            return true;
    return false;
}

namespace {
template <typename Job> void runJob(Job &job)
{
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec();
}
} // namespace

std::optional<QString> KeychainSecretStore::read(const QString &key)
{
    QKeychain::ReadPasswordJob job(m_service);
    job.setAutoDelete(false);
    job.setKey(key);
    runJob(job);
    if (job.error() == QKeychain::EntryNotFound)
        return std::nullopt;
    if (job.error() != QKeychain::NoError)
        throw SecretStoreError(
            QStringLiteral("The password cannot be read from the secret store: %1").arg(job.errorString()));
    return job.textData();
}

void KeychainSecretStore::write(const QString &key, const QString &secret)
{
    QKeychain::WritePasswordJob job(m_service);
    job.setAutoDelete(false);
    job.setKey(key);
    job.setTextData(secret);
    runJob(job);
    if (job.error() != QKeychain::NoError)
        throw SecretStoreError(
            QStringLiteral("The password cannot be stored in the secret store: %1").arg(job.errorString()));
}

void KeychainSecretStore::remove(const QString &key)
{
    QKeychain::DeletePasswordJob job(m_service);
    job.setAutoDelete(false);
    job.setKey(key);
    runJob(job);
}

std::unique_ptr<SecretStore> defaultSecretStore(const QString &folder, const QString &service)
{
    if (KeychainSecretStore::available())
        return std::make_unique<KeychainSecretStore>(service);
    return std::make_unique<FileSecretStore>(folder + "/secrets");
}

} // namespace Secrets
