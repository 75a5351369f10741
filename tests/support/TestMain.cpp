#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

// Every test process runs on the offscreen platform with its own HOME and
// XDG folders, so nothing a test writes reaches the user's files, and with
// an English (US) locale so dates and month names are fixed.
int main(int argc, char **argv)
{
    QTemporaryDir home(QDir::tempPath() + "/brenvoy-test-XXXXXX");
    if (!home.isValid())
        return 2;
    const QByteArray root = home.path().toUtf8();
    setenv("HOME", root.constData(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").constData(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").constData(), 1);
    setenv("XDG_CACHE_HOME", (root + "/cache").constData(), 1);
    setenv("XDG_RUNTIME_DIR", (root + "/runtime").constData(), 1);
    QDir().mkpath(home.path() + "/runtime");
    QFile::setPermissions(home.path() + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("LANG", "en_US.UTF-8", 1);
    setenv("TZ", "UTC", 1);

    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
