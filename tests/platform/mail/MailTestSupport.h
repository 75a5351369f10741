#pragma once

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Debian's interpreter, where the packages the tests need are installed.
inline const QString kPython = QStringLiteral("/usr/bin/python3");

// Runs a program to completion; its standard output, or a test failure.
inline QByteArray runTool(const QString &program, const QStringList &args, const QByteArray &input = {})
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(10000)) {
        ADD_FAILURE() << "cannot start " << program.toStdString();
        return {};
    }
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        ADD_FAILURE() << program.toStdString() << " failed: " << p.readAllStandardError().toStdString();
    return p.readAllStandardOutput();
}

inline QByteArray runPython(const QString &script, const QStringList &args = {})
{
    return runTool(kPython, QStringList{"-c", script} + args);
}

// A throwaway certificate authority and a certificate for localhost and
// 127.0.0.1 signed by it; the client is told to trust the authority.
struct TestCa {
    QTemporaryDir dir;
    QString caFile() const { return dir.filePath("ca.pem"); }
    QString certFile() const { return dir.filePath("server.pem"); }
    QString keyFile() const { return dir.filePath("server.key"); }

    TestCa()
    {
        const QString d = dir.path();
        const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
        runTool("openssl", QStringList{"req", "-x509"} + ec +
                               QStringList{"-keyout", d + "/ca.key", "-out", caFile(), "-days", "2", "-subj",
                                           "/CN=Brenvoy test CA"});
        runTool("openssl",
                QStringList{"req"} + ec +
                    QStringList{"-keyout", keyFile(), "-out", d + "/server.csr", "-subj", "/CN=localhost"});
        QFile ext(d + "/ext.cnf");
        ext.open(QIODevice::WriteOnly);
        ext.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n");
        ext.close();
        runTool("openssl",
                {"x509", "-req", "-in", d + "/server.csr", "-CA", caFile(), "-CAkey", d + "/ca.key",
                 "-CAcreateserial", "-out", certFile(), "-days", "2", "-extfile", d + "/ext.cnf"});
    }
};

// aiosmtpd on a free loopback port, for as long as the object lives.
class SmtpServer {
public:
    struct Options {
        QString mode = "plain"; // plain, starttls, tls
        QString auth;           // user:password
        QStringList refuse;     // recipients answered with 550
        const TestCa *ca = nullptr;
    };

    explicit SmtpServer(const Options &o)
    {
        QStringList args{QStringLiteral(MAIL_TEST_SCRIPTS "/smtp_server.py"), "--dir", m_dir.path(), "--mode",
                         o.mode};
        if (o.ca)
            args << "--cert" << o.ca->certFile() << "--key" << o.ca->keyFile();
        if (!o.auth.isEmpty())
            args << "--auth" << o.auth;
        for (const QString &r : o.refuse)
            args << "--refuse" << r;
        m_proc.start(kPython, args);
        if (m_proc.waitForReadyRead(20000))
            m_port = m_proc.readLine().trimmed().toInt();
        if (m_port <= 0)
            ADD_FAILURE() << "SMTP server did not start: " << m_proc.readAllStandardError().toStdString();
    }
    ~SmtpServer()
    {
        m_proc.closeWriteChannel();
        if (!m_proc.waitForFinished(5000))
            m_proc.kill();
        m_proc.waitForFinished(2000);
    }
    int port() const { return m_port; }
    // What Python's email package made of the n-th accepted message (from 1).
    QJsonObject received(int n) const
    {
        QFile f(m_dir.filePath(QString::number(n) + ".json"));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(f.readAll()).object();
    }
    int receivedCount() const { return int(QDir(m_dir.path()).entryList({"*.eml"}).size()); }
    int connections() const
    {
        QFile f(m_dir.filePath("connections.txt"));
        return f.open(QIODevice::ReadOnly) ? f.readAll().toInt() : 0;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_proc;
    int m_port = 0;
};
