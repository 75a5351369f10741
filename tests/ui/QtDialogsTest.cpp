#include "ui/Dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

TEST(QtDialogs, WindowsFilterBecomesQtFilter)
{
    EXPECT_EQ(QtDialogs::qtFilter("DBF files (*.dbf)|*.dbf|Any file (*.*)|*.*"),
              "DBF files (*.dbf);;Any file (*)");
    EXPECT_EQ(QtDialogs::qtFilter("Text|*.txt;*.csv"), "Text (*.txt *.csv)");
}

TEST(QtDialogs, OpenDialogReportsItsReadOnlyBox)
{
    QTemporaryDir dir;
    const QString file = dir.path() + "/letter.rtf";
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("{\\rtf1}");
    f.close();

    // The operator ticks the box and accepts the file the dialog offers.
    QTimer::singleShot(0, [&] {
        auto *dlg = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        auto *box = dlg->findChild<QCheckBox *>("readOnlyBox");
        ASSERT_NE(box, nullptr);
        box->setChecked(true);
        QMetaObject::invokeMethod(dlg, "accept");
    });
    QtDialogs dialogs;
    bool readOnly = false;
    FileDialogRequest request;
    request.folder = dir.path();
    request.fileName = "letter.rtf";
    request.mustExist = true;
    request.readOnlyChecked = &readOnly;
    const auto chosen = dialogs.openFile(request);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, file);
    EXPECT_TRUE(readOnly);
}
