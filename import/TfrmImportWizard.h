#pragma once

// The import wizard: brings a list of addresses from a text file or the
// clipboard into the contact table. Created for one use, shown modally and
// destroyed when closed, so every opening starts from the start values.

#include "import/ImportParser.h"

#include <QDialog>

#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTableView;

class Clock;
class Dialogs;
class ImportPreviewModel;
class SourceTextView;
class TDbfTable;

class TfrmImportWizard final : public QDialog {
    Q_OBJECT
public:
    // first name, last name, e-mail, phone, fax
    using AddContactFn = std::function<void(const QString &, const QString &, const QString &,
                                            const QString &, const QString &)>;

    // addContactIfNew is the main window's operation; when empty, the
    // wizard adds through AddContactIfNew on table itself.
    TfrmImportWizard(TDbfTable &table, Dialogs &dialogs, Clock &clock, AddContactFn addContactIfNew = {},
                     QWidget *parent = nullptr);
    ~TfrmImportWizard() override;

    // Creates a wizard, shows it modally and destroys it when it closes.
    static void execute(TDbfTable &table, Dialogs &dialogs, Clock &clock, AddContactFn addContactIfNew,
                        QWidget *parent);

    // Handlers, one per control event. The ones shared by ten controls find
    // their column from the last character of the sender's name.
    void FormShow();
    void btnPasteClipbClick();
    void btnImportTextClick();
    void rbDelimitedClick();
    void rbFixedClick() { rbDelimitedClick(); }
    void delCharChange();
    void tsStep2Enter();
    void tsStep3Enter();
    void tsStep4Enter();
    void tsStep5Enter();
    void Width0Enter(QObject *sender);
    void Width0Change(QObject *sender);
    void cbInc0Click(QObject *sender);
    void cbIncF0Click(QObject *sender);
    void cbQuotedClick();
    void cbStripQuotedClick();
    void cb0Change(QObject *sender);
    void Timer1Timer();
    void btnNext1Click();
    void Button4Click();
    void btnNext2Click();
    void Button3Click();
    void Button2Click();
    void btnNext3Click();
    void btnNext4Click();
    void btnBack5Click();
    void btnFinishClick();

    // Operations of the wizard.
    void ClearResultGrid();
    // A start below 0 splits without highlighting.
    void SplitFixedWidth(int start, int width);
    void SplitDelimited();

    // Wizard state, for the window's callers and tests.
    const import::ColumnWidthList &ColumnWidths() const { return m_columnWidths; }
    const import::ColumnFlags &IncludeColumn() const { return m_includeColumn; }
    int FirstNameColumn() const { return m_firstNameColumn; }
    int LastNameColumn() const { return m_lastNameColumn; }
    int PhoneColumn() const { return m_phoneColumn; }
    int FaxColumn() const { return m_faxColumn; }
    int EmailColumn() const { return m_emailColumn; }
    bool importing() const { return m_importing; }

    // Refused while an import runs; the import ends the wizard itself.
    void reject() override;

    // The mapping boxes' entries and the header text each writes.
    static const QStringList &mappingEntries();
    static QString headerTextOf(int entry);

    // Controls.
    QLabel *lblSource;
    SourceTextView *SourceText;
    QLabel *lblResult;
    QTableView *ResultGrid;
    ImportPreviewModel *ResultModel;
    QStackedWidget *PageControl;
    QWidget *tsStep1, *tsStep2, *tsStep3, *tsStep4, *tsStep5;
    QPlainTextEdit *Memo1, *Memo2, *Memo3, *Memo4, *Memo5;
    // page 1
    QPushButton *btnPasteClipb, *btnImportText, *btnNext1;
    // page 2
    QGroupBox *GroupBox1;
    QRadioButton *rbDelimited, *rbFixed;
    QLabel *lblDel;
    QLineEdit *delChar;
    QPushButton *Button4, *btnNext2;
    // page 3
    std::array<QLabel *, import::kColumns> lblWidth;
    std::array<QLineEdit *, import::kColumns> Width;
    std::array<QCheckBox *, import::kColumns> cbInc;
    QCheckBox *cbQuoted;
    QPushButton *Button3, *btnNext3;
    // page 4
    std::array<QCheckBox *, import::kColumns> cbIncF;
    QCheckBox *cbStripQuoted;
    QPushButton *Button2, *btnNext4;
    // page 5
    std::array<QLabel *, import::kColumns> lbl;
    std::array<QComboBox *, import::kColumns> cb;
    QCheckBox *cbSelectedOnly;
    QPushButton *btnBack5, *btnFinish;
    QProgressBar *pbImport;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildLayout();
    void connectHandlers();
    void gotoPage(QWidget *page);
    void widthEntry(int column, QString text);
    void setSourceLines(const QStringList &lines);
    void scheduleTimer();
    void setImportControlsEnabled(bool on);
    int columnWidthSum(int columns) const;
    // Runs a handler inside the general error guard.
    void guarded(const std::function<void()> &handler);

    TDbfTable &m_table;
    Dialogs &m_dialogs;
    Clock &m_clock;
    AddContactFn m_addContactIfNew;

    QStringList m_lines;
    import::ColumnWidthList m_columnWidths{};
    import::ColumnFlags m_includeColumn{};
    int m_firstNameColumn = 10, m_lastNameColumn = 10, m_phoneColumn = 10, m_faxColumn = 10,
        m_emailColumn = 10;
    bool m_importing = false;
};
