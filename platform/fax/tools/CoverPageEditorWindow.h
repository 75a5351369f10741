#pragma once

#include "platform/fax/CoverPage.h"

#include <QMainWindow>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

// The cover page editor: boxes of fixed text and fields on the page, their
// places and fonts, with the page drawn beside them as it will be sent.
class CoverPageEditorWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit CoverPageEditorWindow(QWidget *parent = nullptr);

    const fax::CoverPage &coverPage() const { return m_page; }
    QString fileName() const { return m_file; }

    void newFromGeneric();
    // Both report a failure in a box and return false.
    bool openFile(const QString &path);
    bool saveTo(const QString &path);
    void open();
    void save();
    void saveAs();

    void addText();
    void addField();
    void removeItem();

    QListWidget *lstItems;
    QLineEdit *editText;
    QComboBox *cbField;
    QSpinBox *spinX, *spinY, *spinWidth, *spinHeight, *spinSize;
    QCheckBox *chkBold;
    QPushButton *btnAddText, *btnAddField, *btnRemove;
    QLabel *lblPreview;

private:
    void showItems();
    void showItem();
    void itemEdited();
    void updatePreview();
    void updateTitle();

    fax::CoverPage m_page;
    QString m_file;
    bool m_loading = false;
};
