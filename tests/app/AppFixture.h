#pragma once

#include "app/AppWindows.h"
#include "app/TfrmMain.h"
#include "app/TfrmSimple.h"
#include "app/TfrmSimpleNumbers.h"
#include "platform/profile/PrivateProfile.h"
#include "tests/app_tools/RecordingShell.h"
#include "tests/support/TestEnvironment.h"
#include "tests/ui/TableFixture.h"
#include "ui/DBGrid.h"
#include "ui/ScriptedDialogs.h"

#include <gtest/gtest.h>

// The program's windows in a temporary program folder, with scripted
// dialogs; "today" is the simulated clock's 5 March 2007.
class AppFixture : public ::testing::Test {
protected:
    AppFixture()
    {
        registry.environment = te.env.get();
        registry.dialogs = &dialogs;
        registry.shell = &shell;
        registry.terminate = [this] { ++terminated; };
        // The fax service is installed, as on a fresh machine.
        shell.present << shell.systemDirectory + "/fxscomex.dll";
    }
    ~AppFixture() override { DestroyWindows(registry); }

    QString folder() const { return te.programFolder() + "/"; }
    QString ini() const { return folder() + "Kestrun.ini"; }
    QString iniValue(const QString &section, const QString &key) const
    {
        return GetPrivateProfileString(section, key, "<none>", ini());
    }
    void writeIni(const QString &section, const QString &key, const QString &value)
    {
        WritePrivateProfileString(section, key, value, ini());
    }
    void makeTable(const QList<ContactRow> &rows, const QString &name = "contacdata.dbf")
    {
        makeContactTable(folder() + name, rows);
    }
    // Creation, then the compact panel's show handler, as the program runs them.
    void start()
    {
        CreateWindows(registry);
        main = registry.frmMain;
        registry.frmSimple->show();
    }
    QDate today() const { return te.clock.now().date(); }
    QStringList listed() const
    {
        QStringList out;
        TDbfTable &t = main->dsTable();
        for (qint64 i = 0; i < t.VisibleCount(); ++i)
            out << t.DisplayText(t.VisibleAt(i), "NAME");
        return out;
    }
    static ContactRow contact(const QString &name, std::optional<QDate> callback = {},
                              std::optional<QDate> faxback = {}, std::optional<QDate> emailback = {})
    {
        return {name,     "Last" + name, "555-" + name, "777-" + name, "888-" + name, name + "@example.com",
                callback, faxback,       emailback};
    }

    TestEnvironment te;
    ScriptedDialogs dialogs;
    RecordingShell shell;
    WindowRegistry registry;
    TfrmMain *main = nullptr;
    int terminated = 0;
};
