#include "import/TfrmImportWizard.h"

#include "contacts/AddContactIfNew.h"
#include "contacts/DbfTable.h"
#include "import/ImportPreviewModel.h"
#include "import/SourceTextView.h"
#include "platform/environment/Clock.h"
#include "ui/Dialogs.h"
#include "ui/ErrorGuard.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFontInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QStackedWidget>
#include <QTableView>
#include <QVBoxLayout>

#include <stdexcept>

using namespace import;

namespace {

// Failures of the wizard's own steps (reading a file, a width that is not a
// number); the general error display shows their text.
class EImportError : public std::runtime_error {
public:
    explicit EImportError(const QString &text) : std::runtime_error(text.toStdString()) {}
};

constexpr int kTimerMs = 500;
constexpr int kNoColumn = 10;
// An import that runs longer than this shows its progress.
constexpr qint64 kProgressAfterMs = 300;
constexpr qint64 kProgressEveryMs = 100;

QFont fixedPitchFont()
{
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}

// The column a shared handler serves: the last character of the sender's
// name; -1 when that is not a digit.
int columnOf(const QObject *sender)
{
    if (!sender)
        return -1;
    const QString name = sender->objectName();
    if (name.isEmpty() || !name.back().isDigit() || name.back().unicode() > '9')
        return -1;
    return name.back().unicode() - '0';
}

QPlainTextEdit *makeMemo(const QString &name, const QStringList &lines)
{
    auto *memo = new QPlainTextEdit;
    memo->setObjectName(name);
    memo->setReadOnly(true);
    memo->setPlainText(lines.join(QLatin1Char('\n')));
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setMaximumHeight(120);
    return memo;
}

QPushButton *makeButton(const QString &name, const QString &caption)
{
    auto *b = new QPushButton(caption);
    b->setObjectName(name);
    // Enter in a width or delimiter box must not press a page button.
    b->setAutoDefault(false);
    return b;
}

QHBoxLayout *buttonRow(QPushButton *back, QPushButton *next)
{
    auto *row = new QHBoxLayout;
    if (back)
        row->addWidget(back);
    row->addStretch(1);
    row->addWidget(next);
    return row;
}

// Delphi-style StrToInt over the width box's digits.
int toWholeNumber(const QString &text)
{
    if (text.isEmpty())
        throw EImportError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9' || value > 99999)
            throw EImportError(QStringLiteral("'%1' is not a valid integer value").arg(text));
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

QString clipboardText()
{
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    if (!mime)
        return {};
    // Raw bytes where the clipboard offers them, so text from programs that
    // write Windows-1252 reads with the right accents.
    if (mime->hasFormat(QStringLiteral("text/plain")))
        return decodeImportText(mime->data(QStringLiteral("text/plain")));
    return mime->text();
}

} // namespace

const QStringList &TfrmImportWizard::mappingEntries()
{
    static const QStringList entries{QStringLiteral("First Name"),    QStringLiteral("Last Name"),
                                     QStringLiteral("Phone no"),      QStringLiteral("Fax no"),
                                     QStringLiteral("Email address"), QStringLiteral("Not used")};
    return entries;
}

QString TfrmImportWizard::headerTextOf(int entry)
{
    static const QStringList headers{QStringLiteral("FIRST NAME"), QStringLiteral("LAST NAME"),
                                     QStringLiteral("PHONE"),      QStringLiteral("FAX"),
                                     QStringLiteral("EMAIL"),      QString()};
    return entry >= 0 && entry < headers.size() ? headers[entry] : QString();
}

TfrmImportWizard::TfrmImportWizard(TDbfTable &table, Dialogs &dialogs, Clock &clock,
                                   AddContactFn addContactIfNew, QWidget *parent)
    : QDialog(parent), m_table(table), m_dialogs(dialogs), m_clock(clock),
      m_addContactIfNew(std::move(addContactIfNew))
{
    if (!m_addContactIfNew)
        m_addContactIfNew = [this](const QString &first, const QString &last, const QString &email,
                                   const QString &phone, const QString &fax) {
            AddContactIfNew(m_table, first, last, email, phone, fax);
        };
    setObjectName(QStringLiteral("frmImportWizard"));
    setWindowTitle(QStringLiteral("Importing address list from File / Paste from Clipboard"));
    setModal(true);
    buildLayout();
    connectHandlers();
    FormShow();
    Timer1Timer();
    scheduleTimer();
}

TfrmImportWizard::~TfrmImportWizard() = default;

void TfrmImportWizard::execute(TDbfTable &table, Dialogs &dialogs, Clock &clock, AddContactFn addContactIfNew,
                               QWidget *parent)
{
    TfrmImportWizard wizard(table, dialogs, clock, std::move(addContactIfNew), parent);
    wizard.exec();
}

void TfrmImportWizard::buildLayout()
{
    resize(980, 640);

    // Left: source above preview.
    lblSource = new QLabel(QStringLiteral("Source :"));
    lblSource->setObjectName(QStringLiteral("lblSource"));
    SourceText = new SourceTextView;
    SourceText->setObjectName(QStringLiteral("SourceText"));
    lblResult = new QLabel(QStringLiteral("Result :"));
    lblResult->setObjectName(QStringLiteral("lblResult"));
    ResultModel = new ImportPreviewModel(this);
    ResultModel->setObjectName(QStringLiteral("ResultModel"));
    ResultGrid = new QTableView;
    ResultGrid->setObjectName(QStringLiteral("ResultGrid"));
    ResultGrid->setModel(ResultModel);
    ResultGrid->setFont(fixedPitchFont());
    ResultGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    ResultGrid->setSelectionMode(QAbstractItemView::ContiguousSelection);
    ResultGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ResultGrid->setWordWrap(false);
    ResultGrid->horizontalHeader()->setDefaultSectionSize(100);
    ResultGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    ResultGrid->horizontalHeader()->setHighlightSections(false);
    // Fixed row heights keep a 100,000-row preview from measuring every row.
    ResultGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ResultGrid->verticalHeader()->setDefaultSectionSize(ResultGrid->fontMetrics().height() + 4);

    auto *left = new QVBoxLayout;
    left->addWidget(lblSource);
    left->addWidget(SourceText, 1);
    left->addWidget(lblResult);
    left->addWidget(ResultGrid, 1);

    // Right: the pages, changed only by the wizard's buttons.
    PageControl = new QStackedWidget;
    PageControl->setObjectName(QStringLiteral("PageControl"));
    PageControl->setFixedWidth(380);

    // Page 1: the source.
    tsStep1 = new QWidget;
    tsStep1->setObjectName(QStringLiteral("tsStep1"));
    Memo1 = makeMemo(QStringLiteral("Memo1"),
                     {QStringLiteral("Step 1:"), QString(), QStringLiteral("Fill the Source by either  :"),
                      QStringLiteral("  1. paste data from clipboard ."),
                      QStringLiteral("  2  or importing data from text file .")});
    btnPasteClipb = makeButton(QStringLiteral("btnPasteClipb"), QStringLiteral("Paste From Clipboard"));
    btnImportText = makeButton(QStringLiteral("btnImportText"), QStringLiteral("Import from Text file"));
    btnNext1 = makeButton(QStringLiteral("btnNext1"), QStringLiteral("Next"));
    {
        auto *v = new QVBoxLayout(tsStep1);
        v->addWidget(Memo1);
        v->addWidget(btnPasteClipb);
        v->addWidget(btnImportText);
        v->addStretch(1);
        v->addLayout(buttonRow(nullptr, btnNext1));
    }

    // Page 2: the input type.
    tsStep2 = new QWidget;
    tsStep2->setObjectName(QStringLiteral("tsStep2"));
    Memo2 = makeMemo(QStringLiteral("Memo2"),
                     {QStringLiteral("Step 2:"), QString(), QStringLiteral("Please specify type of input")});
    GroupBox1 = new QGroupBox;
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setFocusPolicy(Qt::TabFocus);
    rbDelimited = new QRadioButton(QStringLiteral("Delimited text"));
    rbDelimited->setObjectName(QStringLiteral("rbDelimited"));
    rbDelimited->setChecked(true);
    lblDel = new QLabel(QStringLiteral("Delimiter/separator char :"));
    lblDel->setObjectName(QStringLiteral("lblDel"));
    delChar = new QLineEdit(QStringLiteral(","));
    delChar->setObjectName(QStringLiteral("delChar"));
    delChar->setFont(fixedPitchFont());
    delChar->setFixedWidth(36);
    rbFixed = new QRadioButton(QStringLiteral("Fixed width columns text"));
    rbFixed->setObjectName(QStringLiteral("rbFixed"));
    Button4 = makeButton(QStringLiteral("Button4"), QStringLiteral("Back"));
    btnNext2 = makeButton(QStringLiteral("btnNext2"), QStringLiteral("Next"));
    {
        auto *g = new QVBoxLayout(GroupBox1);
        g->addWidget(rbDelimited);
        auto *del = new QHBoxLayout;
        del->addSpacing(20);
        del->addWidget(lblDel);
        del->addWidget(delChar);
        del->addStretch(1);
        g->addLayout(del);
        g->addWidget(rbFixed);
        auto *v = new QVBoxLayout(tsStep2);
        v->addWidget(Memo2);
        v->addWidget(GroupBox1);
        v->addStretch(1);
        v->addLayout(buttonRow(Button4, btnNext2));
    }

    // Page 3: fixed-width columns.
    tsStep3 = new QWidget;
    tsStep3->setObjectName(QStringLiteral("tsStep3"));
    Memo3 = makeMemo(
        QStringLiteral("Memo3"),
        {QStringLiteral("Step 3:"), QString(), QStringLiteral("Please specify each columns width"),
         QStringLiteral("Start with column no 1"),
         QStringLiteral("If you do not want the field to be imported then "), QStringLiteral("uncheck it.")});
    cbQuoted = new QCheckBox(QStringLiteral("Remove quoted character from quoted string."));
    cbQuoted->setObjectName(QStringLiteral("cbQuoted"));
    Button3 = makeButton(QStringLiteral("Button3"), QStringLiteral("Back"));
    btnNext3 = makeButton(QStringLiteral("btnNext3"), QStringLiteral("Next"));
    {
        auto *v = new QVBoxLayout(tsStep3);
        v->addWidget(Memo3);
        auto *grid = new QGridLayout;
        for (int i = 0; i < kColumns; ++i) {
            lblWidth[i] = new QLabel(QStringLiteral("Column %1 width : ").arg(i + 1));
            lblWidth[i]->setObjectName(QStringLiteral("lblWidth%1").arg(i));
            Width[i] = new QLineEdit;
            Width[i]->setObjectName(QStringLiteral("Width%1").arg(i));
            // Three characters, digits or blanks. Not an input mask: a masked
            // box swallows digits typed after a click past its text, and its
            // text() drops blanks, so "1 2" would pass as 12 where the
            // conversion error is due.
            Width[i]->setMaxLength(3);
            Width[i]->setValidator(
                new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9 ]{0,3}")), Width[i]));
            Width[i]->setText(QStringLiteral("0"));
            Width[i]->setFixedWidth(48);
            cbInc[i] = new QCheckBox(QStringLiteral("import this column"));
            cbInc[i]->setObjectName(QStringLiteral("cbInc%1").arg(i));
            grid->addWidget(lblWidth[i], i, 0);
            grid->addWidget(Width[i], i, 1);
            grid->addWidget(cbInc[i], i, 2);
        }
        v->addLayout(grid);
        v->addWidget(cbQuoted);
        v->addStretch(1);
        v->addLayout(buttonRow(Button3, btnNext3));
    }

    // Page 4: delimited columns.
    tsStep4 = new QWidget;
    tsStep4->setObjectName(QStringLiteral("tsStep4"));
    Memo4 = makeMemo(QStringLiteral("Memo4"), {QStringLiteral("Step 3:"), QString(),
                                               QStringLiteral("Select the field you want to be imported")});
    cbStripQuoted = new QCheckBox(QStringLiteral("Remove quoted character from quoted string."));
    cbStripQuoted->setObjectName(QStringLiteral("cbStripQuoted"));
    Button2 = makeButton(QStringLiteral("Button2"), QStringLiteral("Back"));
    btnNext4 = makeButton(QStringLiteral("btnNext4"), QStringLiteral("Next"));
    {
        auto *v = new QVBoxLayout(tsStep4);
        v->addWidget(Memo4);
        for (int i = 0; i < kColumns; ++i) {
            cbIncF[i] = new QCheckBox(QStringLiteral("Include column no %1").arg(i + 1));
            cbIncF[i]->setObjectName(QStringLiteral("cbIncF%1").arg(i));
            v->addWidget(cbIncF[i]);
        }
        v->addWidget(cbStripQuoted);
        v->addStretch(1);
        v->addLayout(buttonRow(Button2, btnNext4));
    }

    // Page 5: mapping and import.
    tsStep5 = new QWidget;
    tsStep5->setObjectName(QStringLiteral("tsStep5"));
    Memo5 =
        makeMemo(QStringLiteral("Memo5"), {QStringLiteral("Step 4:"), QString(),
                                           QStringLiteral("Select the field name relationship to database "),
                                           QStringLiteral("field")});
    cbSelectedOnly = new QCheckBox(QStringLiteral("Only import selected row(s) ."));
    cbSelectedOnly->setObjectName(QStringLiteral("cbSelectedOnly"));
    pbImport = new QProgressBar;
    pbImport->setObjectName(QStringLiteral("pbImport"));
    pbImport->setFormat(QStringLiteral("%v / %m"));
    pbImport->hide();
    btnBack5 = makeButton(QStringLiteral("btnBack5"), QStringLiteral("Back"));
    btnFinish = makeButton(QStringLiteral("btnFinish"), QStringLiteral("Finish, Import into Database"));
    {
        auto *v = new QVBoxLayout(tsStep5);
        v->addWidget(Memo5);
        auto *grid = new QGridLayout;
        for (int i = 0; i < kColumns; ++i) {
            lbl[i] = new QLabel(QStringLiteral("Column %1").arg(i + 1));
            lbl[i]->setObjectName(QStringLiteral("lbl%1").arg(i));
            cb[i] = new QComboBox;
            cb[i]->setObjectName(QStringLiteral("cb%1").arg(i));
            cb[i]->addItems(mappingEntries());
            cb[i]->setCurrentIndex(5);
            grid->addWidget(lbl[i], i, 0);
            grid->addWidget(cb[i], i, 1);
        }
        v->addLayout(grid);
        v->addWidget(cbSelectedOnly);
        v->addStretch(1);
        v->addWidget(pbImport);
        v->addLayout(buttonRow(btnBack5, btnFinish));
    }

    for (QWidget *page : {tsStep1, tsStep2, tsStep3, tsStep4, tsStep5})
        PageControl->addWidget(page);

    auto *top = new QHBoxLayout(this);
    top->addLayout(left, 1);
    top->addWidget(PageControl);

    btnNext1->setEnabled(false);
    btnNext3->setEnabled(false);
    btnNext4->setEnabled(false);
    btnFinish->setEnabled(false);
}

void TfrmImportWizard::guarded(const std::function<void()> &handler)
{
    guard(m_dialogs, handler);
}

void TfrmImportWizard::connectHandlers()
{
    auto on = [this](QAbstractButton *b, void (TfrmImportWizard::*handler)()) {
        connect(b, &QAbstractButton::clicked, this,
                [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
    };
    on(btnPasteClipb, &TfrmImportWizard::btnPasteClipbClick);
    on(btnImportText, &TfrmImportWizard::btnImportTextClick);
    on(btnNext1, &TfrmImportWizard::btnNext1Click);
    on(rbDelimited, &TfrmImportWizard::rbDelimitedClick);
    on(rbFixed, &TfrmImportWizard::rbFixedClick);
    on(Button4, &TfrmImportWizard::Button4Click);
    on(btnNext2, &TfrmImportWizard::btnNext2Click);
    on(Button3, &TfrmImportWizard::Button3Click);
    on(btnNext3, &TfrmImportWizard::btnNext3Click);
    on(Button2, &TfrmImportWizard::Button2Click);
    on(btnNext4, &TfrmImportWizard::btnNext4Click);
    on(btnBack5, &TfrmImportWizard::btnBack5Click);
    on(btnFinish, &TfrmImportWizard::btnFinishClick);
    on(cbQuoted, &TfrmImportWizard::cbQuotedClick);
    on(cbStripQuoted, &TfrmImportWizard::cbStripQuotedClick);
    connect(delChar, &QLineEdit::textChanged, this, [this] { guarded([this] { delCharChange(); }); });

    for (int i = 0; i < kColumns; ++i) {
        QLineEdit *w = Width[i];
        connect(w, &QLineEdit::textChanged, this, [this, w] { guarded([this, w] { Width0Change(w); }); });
        w->installEventFilter(this);
        // Only the operator's clicks: setting the boxes from the include
        // flags on page entry must not run the width check.
        QCheckBox *inc = cbInc[i];
        connect(inc, &QCheckBox::clicked, this, [this, inc] { guarded([this, inc] { cbInc0Click(inc); }); });
        QCheckBox *incF = cbIncF[i];
        connect(incF, &QCheckBox::clicked, this,
                [this, incF] { guarded([this, incF] { cbIncF0Click(incF); }); });
        // activated: a choice by the operator, also of the entry already shown.
        QComboBox *box = cb[i];
        connect(box, &QComboBox::activated, this, [this, box] { guarded([this, box] { cb0Change(box); }); });
    }
    for (QWidget *w : std::initializer_list<QWidget *>{Memo1, Memo2, Memo3, Memo4, Memo5, SourceText})
        w->installEventFilter(this);
}

bool TfrmImportWizard::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn) {
        QWidget *next = nullptr;
        if (watched == Memo1)
            next = btnPasteClipb;
        else if (watched == Memo2)
            next = rbDelimited->isChecked() ? static_cast<QWidget *>(rbDelimited) : rbFixed;
        else if (watched == Memo3)
            next = Width[0];
        else if (watched == Memo4)
            next = cbIncF[0];
        else if (watched == Memo5)
            next = cb[0];
        else if (watched == SourceText)
            next = ResultGrid;
        if (next) {
            next->setFocus(Qt::OtherFocusReason);
            return false;
        }
        for (QLineEdit *w : Width)
            if (watched == w)
                guarded([this, w] { Width0Enter(w); });
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmImportWizard::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        guarded([this] { FormShow(); });
}

void TfrmImportWizard::closeEvent(QCloseEvent *event)
{
    // An import in progress finishes first; it ends the wizard itself.
    if (m_importing) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TfrmImportWizard::reject()
{
    if (!m_importing)
        QDialog::reject();
}

void TfrmImportWizard::scheduleTimer()
{
    m_clock.singleShot(kTimerMs, this, [this] {
        guarded([this] { Timer1Timer(); });
        scheduleTimer();
    });
}

void TfrmImportWizard::gotoPage(QWidget *page)
{
    PageControl->setCurrentWidget(page);
    if (page == tsStep2)
        tsStep2Enter();
    else if (page == tsStep3)
        tsStep3Enter();
    else if (page == tsStep4)
        tsStep4Enter();
    else if (page == tsStep5)
        tsStep5Enter();
    // The page's instruction memo passes the focus on to its first control.
    QPlainTextEdit *memo = page == tsStep1   ? Memo1
                           : page == tsStep2 ? Memo2
                           : page == tsStep3 ? Memo3
                           : page == tsStep4 ? Memo4
                                             : Memo5;
    if (isVisible())
        memo->setFocus(Qt::OtherFocusReason);
}

// ---- handlers --------------------------------------------------------------

void TfrmImportWizard::FormShow()
{
    PageControl->setCurrentWidget(tsStep1);
    m_includeColumn.fill(false);
    m_columnWidths.fill(0);
    for (int c = 0; c < kColumns; ++c)
        ResultModel->setHeaderText(c, QString());
}

void TfrmImportWizard::setSourceLines(const QStringList &lines)
{
    m_lines = lines;
    SourceText->setLines(m_lines);
}

void TfrmImportWizard::btnPasteClipbClick()
{
    setSourceLines(splitSourceLines(clipboardText()));
    ClearResultGrid();
}

void TfrmImportWizard::btnImportTextClick()
{
    FileDialogRequest request;
    request.title = QStringLiteral("Open");
    request.filter = QStringLiteral("Text file|*.txt|Comma delimited file|*.csv|Any file|*.*");
    request.mustExist = true;
    const std::optional<QString> path = m_dialogs.openFile(request);
    if (!path) {
        ClearResultGrid();
        return;
    }
    setSourceLines({});
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly)) {
        ClearResultGrid();
        throw EImportError(QStringLiteral("Cannot open file \"%1\". %2").arg(*path, file.errorString()));
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        ClearResultGrid();
        throw EImportError(QStringLiteral("Cannot read file \"%1\". %2").arg(*path, file.errorString()));
    }
    setSourceLines(splitSourceLines(decodeImportText(bytes)));
    ClearResultGrid();
}

void TfrmImportWizard::rbDelimitedClick()
{
    const bool delimited = rbDelimited->isChecked();
    delChar->setVisible(delimited);
    lblDel->setVisible(delimited);
    if (delimited)
        SplitDelimited();
    else
        SplitFixedWidth(-10, 1);
}

void TfrmImportWizard::delCharChange()
{
    const QString text = delChar->text();
    if (text.size() >= 2) {
        // The key just typed replaces the old delimiter.
        const QSignalBlocker block(delChar);
        delChar->setText(text.mid(1, 1));
    }
    delChar->selectAll();
    SplitDelimited();
}

void TfrmImportWizard::tsStep2Enter()
{
    SourceText->removeHighlight();
    SplitDelimited();
}

void TfrmImportWizard::tsStep3Enter()
{
    for (int i = 0; i < kColumns; ++i)
        cbInc[i]->setChecked(m_includeColumn[i]);
    SplitFixedWidth(-10, 1);
    for (int c = 0; c < kGridColumns; ++c)
        ResultModel->setHeaderText(c, QString());
}

void TfrmImportWizard::tsStep4Enter()
{
    SourceText->removeHighlight();
    for (int i = 0; i < kColumns; ++i)
        cbIncF[i]->setChecked(m_includeColumn[i]);
    SplitDelimited();
    for (int c = 0; c < kGridColumns; ++c)
        ResultModel->setHeaderText(c, QString());
}

void TfrmImportWizard::tsStep5Enter()
{
    for (int i = 0; i < kColumns; ++i) {
        lbl[i]->setVisible(m_includeColumn[i]);
        cb[i]->setVisible(m_includeColumn[i]);
        cb[i]->setCurrentIndex(5); // no activated signal: the mapping rule does not run
    }
}

int TfrmImportWizard::columnWidthSum(int columns) const
{
    int sum = 0;
    for (int k = 0; k < columns; ++k)
        sum += m_columnWidths[k];
    return sum;
}

void TfrmImportWizard::Width0Enter(QObject *sender)
{
    const int n = columnOf(sender);
    if (n < 0)
        return;
    if (m_columnWidths[n] > 0)
        SplitFixedWidth(columnWidthSum(n), m_columnWidths[n]);
}

void TfrmImportWizard::widthEntry(int n, QString text)
{
    for (int k = 0; k < n; ++k) {
        if (m_columnWidths[k] == 0) {
            m_dialogs.showMessage(
                QStringLiteral("Column no %1 width is not yet correct, please fix it first").arg(k + 1));
            return;
        }
    }
    if (text.startsWith(QLatin1Char('0')))
        text.remove(0, 1);
    if (text.isEmpty())
        return;
    m_columnWidths[n] = toWholeNumber(text);
    SplitFixedWidth(columnWidthSum(n), m_columnWidths[n]);
}

void TfrmImportWizard::Width0Change(QObject *sender)
{
    const int n = columnOf(sender);
    auto *box = qobject_cast<QLineEdit *>(sender);
    if (n < 0 || !box)
        return;
    widthEntry(n, trimmedText(box->text()));
}

void TfrmImportWizard::cbInc0Click(QObject *sender)
{
    const int n = columnOf(sender);
    auto *box = qobject_cast<QCheckBox *>(sender);
    if (n < 0 || !box)
        return;
    m_includeColumn[n] = box->isChecked();
    widthEntry(n, QString::number(m_columnWidths[n]));
}

void TfrmImportWizard::cbIncF0Click(QObject *sender)
{
    const int n = columnOf(sender);
    auto *box = qobject_cast<QCheckBox *>(sender);
    if (n < 0 || !box)
        return;
    m_includeColumn[n] = box->isChecked();
    SplitDelimited();
}

// The preview is what gets imported, so it follows the quote option at once.
void TfrmImportWizard::cbQuotedClick()
{
    SplitFixedWidth(-10, 1);
}

void TfrmImportWizard::cbStripQuotedClick()
{
    SplitDelimited();
}

void TfrmImportWizard::cb0Change(QObject *sender)
{
    const int n = columnOf(sender);
    auto *box = qobject_cast<QComboBox *>(sender);
    if (n < 0 || !box)
        return;
    // The boxes take no typed text, so the entry alone names the field.
    const QString header = headerTextOf(box->currentIndex());
    if (!header.isEmpty()) {
        for (int c = 0; c < kColumns; ++c) {
            if (ResultModel->headerText(c) == header) {
                m_dialogs.showMessage(QStringLiteral("Error..., ") + header +
                                      QStringLiteral(" field already exist !"));
                box->setCurrentIndex(5);
                ResultModel->setHeaderText(n, QString());
                return;
            }
        }
    }
    ResultModel->setHeaderText(n, header);
}

void TfrmImportWizard::Timer1Timer()
{
    btnNext1->setEnabled(!m_lines.isEmpty());
    const bool hasText = ResultModel->hasDataText();
    btnNext3->setEnabled(hasText);
    btnNext4->setEnabled(hasText);
    btnFinish->setEnabled(!m_importing && ResultModel->hasMapping());

    m_firstNameColumn = m_lastNameColumn = m_phoneColumn = m_faxColumn = m_emailColumn = kNoColumn;
    for (int col = 0; col < kColumns; ++col) {
        const QString h = trimmedText(ResultModel->headerText(col).toUpper());
        if (h.contains(QLatin1String("FIRST")))
            m_firstNameColumn = col;
        if (h.contains(QLatin1String("LAST")))
            m_lastNameColumn = col;
        if (h == QLatin1String("PHONE"))
            m_phoneColumn = col;
        if (h == QLatin1String("FAX"))
            m_faxColumn = col;
        if (h == QLatin1String("EMAIL"))
            m_emailColumn = col;
    }
}

void TfrmImportWizard::btnNext1Click()
{
    gotoPage(tsStep2);
}

void TfrmImportWizard::Button4Click()
{
    gotoPage(tsStep1);
}

void TfrmImportWizard::btnNext2Click()
{
    if (rbFixed->isChecked()) {
        gotoPage(tsStep3);
        return;
    }
    if (delChar->text().isEmpty()) {
        m_dialogs.showMessage(QStringLiteral("Please fill the delimiter ( separator) character first!"));
        return;
    }
    gotoPage(tsStep4);
}

void TfrmImportWizard::Button3Click()
{
    gotoPage(tsStep2);
}

void TfrmImportWizard::Button2Click()
{
    gotoPage(tsStep2);
}

void TfrmImportWizard::btnNext3Click()
{
    gotoPage(tsStep5);
}

void TfrmImportWizard::btnNext4Click()
{
    gotoPage(tsStep5);
}

void TfrmImportWizard::btnBack5Click()
{
    gotoPage(rbDelimited->isChecked() ? tsStep4 : tsStep3);
}

void TfrmImportWizard::setImportControlsEnabled(bool on)
{
    btnFinish->setEnabled(on && ResultModel->hasMapping());
    btnBack5->setEnabled(on);
    cbSelectedOnly->setEnabled(on);
    for (QComboBox *box : cb)
        box->setEnabled(on);
}

void TfrmImportWizard::btnFinishClick()
{
    if (m_importing)
        return; // one import at a time
    // The columns as the header shows them now, not as of the last tick: a
    // box changed just before Finish must not lose its column.
    Timer1Timer();
    if (!ResultModel->hasMapping())
        return;
    const int lastDataRow = ResultModel->gridRowCount() - 1;
    if (lastDataRow < 1)
        return;

    int first = 1;
    int last = lastDataRow;
    if (cbSelectedOnly->isChecked()) {
        const QItemSelection selection = ResultGrid->selectionModel()->selection();
        if (!selection.isEmpty()) {
            first = lastDataRow;
            last = 1;
            for (const QItemSelectionRange &r : selection) {
                first = std::min(first, r.top() + 1);
                last = std::max(last, r.bottom() + 1);
            }
        } else {
            // No selection made: the grid's current row, the first one at first.
            const QModelIndex current = ResultGrid->currentIndex();
            first = last = current.isValid() ? current.row() + 1 : 1;
        }
    }
    const int count = last - first + 1;
    const MsgResult answer = m_dialogs.messageBox(
        QStringLiteral("Are you sure to import %1 address record(s) into database?").arg(count),
        QStringLiteral("Confirmation"), MsgButtons::YesNo, MsgIcon::Question);
    if (answer != MsgResult::Yes)
        return;

    m_importing = true;
    setImportControlsEnabled(false);
    struct Restore {
        TfrmImportWizard *w;
        ~Restore()
        {
            w->m_importing = false;
            w->pbImport->hide();
            w->setImportControlsEnabled(true);
        }
    } restore{this};

    // The grids bound to the table follow once, at the end, not per row.
    struct ControlsHeld {
        TDbfTable &table;
        explicit ControlsHeld(TDbfTable &t) : table(t) { table.DisableControls(); }
        ~ControlsHeld() { table.EnableControls(); }
    } held{m_table};

    const int firstName = m_firstNameColumn, lastName = m_lastNameColumn, email = m_emailColumn,
              phone = m_phoneColumn, fax = m_faxColumn;
    const qint64 began = m_clock.monotonicMs();
    qint64 shownAt = 0;
    for (int row = first; row <= last; ++row) {
        m_addContactIfNew(ResultModel->cell(firstName, row), ResultModel->cell(lastName, row),
                          ResultModel->cell(email, row), ResultModel->cell(phone, row),
                          ResultModel->cell(fax, row));
        if ((row - first) % 64 != 63)
            continue;
        const qint64 now = m_clock.monotonicMs();
        if (now - began < kProgressAfterMs || now - shownAt < kProgressEveryMs)
            continue;
        if (pbImport->isHidden()) {
            pbImport->setRange(0, count);
            pbImport->show();
        }
        shownAt = now;
        pbImport->setValue(row - first + 1);
        // Repaint, but take no clicks: the buttons are off until the end.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    accept();
}

void TfrmImportWizard::ClearResultGrid()
{
    ResultModel->clearCells();
}

void TfrmImportWizard::SplitFixedWidth(int start, int width)
{
    ResultModel->splitFixed(m_lines, m_columnWidths, cbQuoted->isChecked(), m_includeColumn);
    if (start >= 0 && !m_lines.isEmpty())
        SourceText->highlightColumn(start, width);
}

void TfrmImportWizard::SplitDelimited()
{
    ResultModel->splitDelimited(m_lines, delChar->text(), cbStripQuoted->isChecked(), m_includeColumn);
}
