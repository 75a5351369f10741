#include "tests/platform/richedit/LibreOffice.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

bool libreOfficeAvailable()
{
    return !QStandardPaths::findExecutable("soffice").isEmpty();
}

QString convertWithLibreOffice(const QString &input, const QString &format, const QString &outDir)
{
    QTemporaryDir profile;
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start("soffice", {"-env:UserInstallation=" + QUrl::fromLocalFile(profile.path()).toString(),
                        "--headless", "--convert-to", format, "--outdir", outDir, input});
    if (!p.waitForFinished(180000) || p.exitCode() != 0)
        return {};
    const QString ext = format.section(':', 0, 0);
    const QString out = QDir(outDir).filePath(QFileInfo(input).completeBaseName() + "." + ext);
    return QFileInfo::exists(out) ? out : QString();
}
