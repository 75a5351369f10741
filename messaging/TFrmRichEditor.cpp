#include "messaging/TFrmRichEditor.h"

#include "ui/Dialogs.h"
#include "ui/ErrorGuard.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QStatusBar>
#include <QStyle>
#include <QTextDocument>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <stdexcept>

namespace {

const QString kUntitled = QStringLiteral("Untitled");
const QString kFilter = QStringLiteral("Rich Text Files (*.RTF)|*.RTF|Text Files (*.TXT)|*.TXT");
constexpr int kGutter = 6;

class ConvertError : public std::runtime_error {
public:
    explicit ConvertError(const QString &text) : std::runtime_error(text.toUtf8().toStdString()) {}
};

// "Short|Long": the tooltip shows the short part, the application's hint
// line (statusTip) the long part; without "|" both are the whole text.
void setHint(QWidget *w, const QString &hint)
{
    w->setToolTip(hint.section('|', 0, 0));
    w->setStatusTip(hint.contains('|') ? hint.section('|', 1) : hint);
}

void setHint(QAction *a, const QString &hint)
{
    a->setToolTip(hint.section('|', 0, 0));
    a->setStatusTip(hint.contains('|') ? hint.section('|', 1) : hint);
}

enum class IconKind { Left, Center, Right, Bullets };

// Toolbar pictures drawn here, so they look the same with any icon theme.
QIcon drawnIcon(IconKind kind, const QColor &ink)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QPen(ink, 1));
    const int lengths[4] = {12, 8, 12, 8};
    for (int i = 0; i < 4; ++i) {
        const int y = 3 + i * 3;
        int len = lengths[i], x = 2;
        switch (kind) {
        case IconKind::Left:
            break;
        case IconKind::Center:
            x = 2 + (12 - len) / 2;
            break;
        case IconKind::Right:
            x = 14 - len;
            break;
        case IconKind::Bullets:
            p.fillRect(2, y - 1, 2, 2, ink);
            x = 6;
            len = 8;
            break;
        }
        p.drawLine(x, y, x + len, y);
    }
    return QIcon(pm);
}

QIcon themed(const char *name, QStyle::StandardPixmap fallback, QStyle *style)
{
    return QIcon::fromTheme(QString::fromLatin1(name), style->standardIcon(fallback));
}

QToolButton *styleButton(const char *name, const QString &text, QWidget *parent)
{
    auto *b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(text);
    b->setCheckable(true);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

// Restores a flag on every exit, exceptions included.
struct FlagScope {
    bool &flag;
    explicit FlagScope(bool &f) : flag(f) { flag = true; }
    ~FlagScope() { flag = false; }
};

} // namespace

TFrmRichEditor::TFrmRichEditor(Dialogs &dialogs, QStringList arguments, QWidget *parent)
    : QWidget(parent, parent ? Qt::Widget : Qt::Window), m_dialogs(dialogs), m_arguments(std::move(arguments))
{
    setObjectName("FrmRichEditor");
    setWindowTitle("Rich Edit Control Demo");
    resize(640, 420);

    auto action = [this](const char *name, const QString &caption, const QKeySequence &key,
                         const QString &hint) {
        auto *a = new QAction(caption, this);
        a->setObjectName(QString::fromLatin1(name));
        if (!key.isEmpty())
            a->setShortcut(key);
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        setHint(a, hint);
        addAction(a);
        return a;
    };
    QStyle *st = style();
    FileNewCmd = action("FileNewCmd", "&New", QKeySequence(Qt::CTRL | Qt::Key_N), "Create a new file");
    FileOpenCmd =
        action("FileOpenCmd", "&Open...", QKeySequence(Qt::CTRL | Qt::Key_O), "Open an existing file");
    FileSaveCmd = action("FileSaveCmd", "&Save", QKeySequence(Qt::CTRL | Qt::Key_S), "Save current file");
    FileSaveAsCmd =
        action("FileSaveAsCmd", "Save &As...", QKeySequence(), "Save current file under a new name");
    FilePrintCmd = action("FilePrintCmd", "&Print", QKeySequence(Qt::CTRL | Qt::Key_P), "Print current file");
    FileExitCmd = action("FileExitCmd", "E&xit", QKeySequence(Qt::ALT | Qt::Key_X), "Exit this application");
    EditUndoCmd = action("EditUndoCmd", "&Undo", QKeySequence(Qt::CTRL | Qt::Key_Z), "Undo the last action");
    EditCutCmd = action("EditCutCmd", "Cu&t", QKeySequence(Qt::CTRL | Qt::Key_X), "Delete selected item");
    EditCopyCmd =
        action("EditCopyCmd", "&Copy", QKeySequence(Qt::CTRL | Qt::Key_C), "Copy selected item to clipboard");
    EditPasteCmd =
        action("EditPasteCmd", "&Paste", QKeySequence(Qt::CTRL | Qt::Key_V), "Paste contents of clipboard");
    FileNewCmd->setIcon(themed("document-new", QStyle::SP_FileIcon, st));
    FileOpenCmd->setIcon(themed("document-open", QStyle::SP_DialogOpenButton, st));
    FileSaveCmd->setIcon(themed("document-save", QStyle::SP_DialogSaveButton, st));
    FileSaveAsCmd->setIcon(themed("document-save-as", QStyle::SP_DriveFDIcon, st));
    FilePrintCmd->setIcon(QIcon::fromTheme("document-print"));
    EditCutCmd->setIcon(QIcon::fromTheme("edit-cut"));
    EditCopyCmd->setIcon(QIcon::fromTheme("edit-copy"));
    EditPasteCmd->setIcon(QIcon::fromTheme("edit-paste"));
    EditUndoCmd->setIcon(themed("edit-undo", QStyle::SP_ArrowBack, st));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    StandardToolBar = new QToolBar(this);
    StandardToolBar->setObjectName("StandardToolBar");
    StandardToolBar->setIconSize(QSize(16, 16));
    StandardToolBar->addActions({FileNewCmd, FileOpenCmd, FileSaveCmd, FileSaveAsCmd, FilePrintCmd});
    StandardToolBar->addSeparator();
    StandardToolBar->addActions({EditCutCmd, EditCopyCmd, EditPasteCmd, EditUndoCmd});
    for (QAction *a : StandardToolBar->actions())
        if (QWidget *w = StandardToolBar->widgetForAction(a)) {
            w->setObjectName(a->objectName() + "Button");
            w->setStatusTip(a->statusTip());
        }
    layout->addWidget(StandardToolBar);

    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setIconSize(QSize(16, 16));
    FontName = new QComboBox(ToolBar1);
    FontName->setObjectName("FontName");
    FontName->setMaxVisibleItems(10);
    FontName->setMinimumWidth(160);
    FontName->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setHint(FontName, "Font Name|Select font name");
    ToolBar1->addWidget(FontName);
    FontSize = new QLineEdit("8", ToolBar1);
    FontSize->setObjectName("FontSize");
    FontSize->setFixedWidth(34);
    setHint(FontSize, "Font Size|Select font size");
    ToolBar1->addWidget(FontSize);
    UpDown2 = new UpDown(FontSize, ToolBar1);
    UpDown2->setObjectName("UpDown2");
    UpDown2->setRange(1, 1638);
    UpDown2->setPosition(8);
    ToolBar1->addWidget(UpDown2);
    ToolBar1->addSeparator();

    BoldButton = styleButton("BoldButton", "B", ToolBar1);
    ItalicButton = styleButton("ItalicButton", "I", ToolBar1);
    UnderlineButton = styleButton("UnderlineButton", "U", ToolBar1);
    QFont bf = BoldButton->font();
    bf.setBold(true);
    BoldButton->setFont(bf);
    QFont itf = ItalicButton->font();
    itf.setItalic(true);
    itf.setFamily("DejaVu Serif");
    ItalicButton->setFont(itf);
    QFont uf = UnderlineButton->font();
    uf.setUnderline(true);
    UnderlineButton->setFont(uf);
    setHint(BoldButton, "Bold");
    setHint(ItalicButton, "Italic");
    setHint(UnderlineButton, "Underline");
    for (QToolButton *b : {BoldButton, ItalicButton, UnderlineButton})
        ToolBar1->addWidget(b);
    ToolBar1->addSeparator();

    const QColor ink = palette().color(QPalette::ButtonText);
    LeftAlign = styleButton("LeftAlign", "Left", ToolBar1);
    CenterAlign = styleButton("CenterAlign", "Center", ToolBar1);
    RightAlign = styleButton("RightAlign", "Right", ToolBar1);
    LeftAlign->setIcon(drawnIcon(IconKind::Left, ink));
    CenterAlign->setIcon(drawnIcon(IconKind::Center, ink));
    RightAlign->setIcon(drawnIcon(IconKind::Right, ink));
    LeftAlign->setProperty("tag", 0);
    CenterAlign->setProperty("tag", 2);
    RightAlign->setProperty("tag", 1);
    setHint(LeftAlign, "Align Left");
    setHint(CenterAlign, "Center");
    setHint(RightAlign, "Align Right");
    m_alignGroup = new QButtonGroup(this);
    m_alignGroup->setExclusive(true);
    for (QToolButton *b : {LeftAlign, CenterAlign, RightAlign}) {
        m_alignGroup->addButton(b);
        ToolBar1->addWidget(b);
    }
    ToolBar1->addSeparator();
    BulletsButton = styleButton("BulletsButton", "Bullets", ToolBar1);
    BulletsButton->setIcon(drawnIcon(IconKind::Bullets, ink));
    setHint(BulletsButton, "Bullets|Enter bullet mode");
    ToolBar1->addWidget(BulletsButton);
    layout->addWidget(ToolBar1);

    Ruler = new RulerPanel(this);
    Ruler->setObjectName("Ruler");
    Ruler->setFixedHeight(26);
    Bevel1 = new QFrame(Ruler);
    Bevel1->setObjectName("Bevel1");
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(0, 0, 640, 2);
    RulerLine = new QFrame(Ruler);
    RulerLine->setObjectName("RulerLine");
    RulerLine->setFrameShape(QFrame::HLine);
    RulerLine->setFrameShadow(QFrame::Sunken);
    RulerLine->setGeometry(4, 12, 632, 2);
    FirstInd = new RulerMarker(RulerMarker::Glyph::Down, Ruler);
    FirstInd->setObjectName("FirstInd");
    FirstInd->setGeometry(2, 2, 10, 9);
    LeftInd = new RulerMarker(RulerMarker::Glyph::Up, Ruler);
    LeftInd->setObjectName("LeftInd");
    LeftInd->setGeometry(2, 12, 10, 11);
    RightInd = new RulerMarker(RulerMarker::Glyph::OutlineUp, Ruler);
    RightInd->setObjectName("RightInd");
    RightInd->setGeometry(575, 14, 9, 12);
    layout->addWidget(Ruler);

    Editor = new RichEdit(this);
    Editor->setObjectName("Editor");
    layout->addWidget(Editor, 1);

    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName("StatusBar");
    StatusBar->setSizeGripEnabled(false);
    const int widths[3] = {120, 60, 50};
    for (int i = 0; i < 3; ++i) {
        StatusPanels[i] = new QLabel(StatusBar);
        StatusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        StatusPanels[i]->setFixedWidth(widths[i]);
        StatusPanels[i]->setFrameShape(QFrame::Panel);
        StatusPanels[i]->setFrameShadow(QFrame::Sunken);
        StatusBar->addWidget(StatusPanels[i]);
    }
    StatusPanels[1]->setAlignment(Qt::AlignCenter);
    layout->addWidget(StatusBar);

    PrintDialogExecute = [this](QPrinter &printer) {
        QPrintDialog dialog(&printer, this);
        return dialog.exec() == QDialog::Accepted;
    };

    // Wiring: every handler runs inside the error guard.
    connect(FileNewCmd, &QAction::triggered, this, [this] { run([this] { FileNew(); }); });
    connect(FileOpenCmd, &QAction::triggered, this, [this] { run([this] { FileOpen(); }); });
    connect(FileSaveCmd, &QAction::triggered, this, [this] { run([this] { FileSave(); }); });
    connect(FileSaveAsCmd, &QAction::triggered, this, [this] { run([this] { FileSaveAs(); }); });
    connect(FilePrintCmd, &QAction::triggered, this, [this] { run([this] { FilePrint(); }); });
    connect(FileExitCmd, &QAction::triggered, this, [this] { run([this] { FileExit(); }); });
    connect(EditUndoCmd, &QAction::triggered, this, [this] { run([this] { EditUndo(); }); });
    connect(EditCutCmd, &QAction::triggered, this, [this] { run([this] { EditCut(); }); });
    connect(EditCopyCmd, &QAction::triggered, this, [this] { run([this] { EditCopy(); }); });
    connect(EditPasteCmd, &QAction::triggered, this, [this] { run([this] { EditPaste(); }); });
    connect(FontName, &QComboBox::currentIndexChanged, this, [this] { run([this] { FontNameChange(); }); });
    connect(FontSize, &QLineEdit::textChanged, this, [this] { run([this] { FontSizeChange(); }); });
    connect(BoldButton, &QToolButton::clicked, this, [this] { run([this] { BoldButtonClick(); }); });
    connect(ItalicButton, &QToolButton::clicked, this, [this] { run([this] { ItalicButtonClick(); }); });
    connect(UnderlineButton, &QToolButton::clicked, this,
            [this] { run([this] { UnderlineButtonClick(); }); });
    connect(m_alignGroup, &QButtonGroup::buttonClicked, this, [this](QAbstractButton *b) {
        run([this, b] { AlignButtonClick(static_cast<QToolButton *>(b)); });
    });
    connect(BulletsButton, &QToolButton::clicked, this, [this] { run([this] { BulletsButtonClick(); }); });
    connect(Editor, &QTextEdit::selectionChanged, this, [this] { run([this] { SelectionChange(); }); });
    connect(Editor, &QTextEdit::cursorPositionChanged, this, [this] { run([this] { SelectionChange(); }); });
    connect(Editor, &QTextEdit::textChanged, this, [this] { run([this] { EditorChange(); }); });
    connect(Editor, &QTextEdit::undoAvailable, this, [this] { ActionUpdate(); });
    connect(Editor, &QTextEdit::copyAvailable, this, [this] { ActionUpdate(); });
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this, [this] { ActionUpdate(); });
    Editor->OnFilesDropped = [this](const QStringList &files) {
        run([this, files] { FilesDropped(files); });
    };
    for (RulerMarker *m : {FirstInd, LeftInd, RightInd}) {
        m->OnMouseDown = [this](RulerMarker *mk, int x) { run([=, this] { RulerItemMouseDown(mk, x); }); };
        m->OnMouseMove = [this](RulerMarker *mk, int x) { run([=, this] { RulerItemMouseMove(mk, x); }); };
    }
    FirstInd->OnMouseUp = [this](RulerMarker *, int) { run([this] { FirstIndMouseUp(); }); };
    LeftInd->OnMouseUp = [this](RulerMarker *, int) { run([this] { LeftIndMouseUp(); }); };
    RightInd->OnMouseUp = [this](RulerMarker *, int) { run([this] { RightIndMouseUp(); }); };
    Ruler->OnResize = [this] { run([this] { RulerResize(); }); };

    // Creation: dialogs in the program's folder, an untitled document, the
    // font list and the ruler's ticks, then the default text attributes.
    m_dialogFolder = QCoreApplication::applicationDirPath();
    SetFileName(kUntitled);
    {
        FlagScope updating(m_updating);
        FontName->addItems(RichEdit::fontNames());
    }
    QString ticks;
    for (int i = 0; i < 100; ++i)
        ticks += QStringLiteral("\t|");
    Ruler->setCaption(ticks);
    SelectionChange();
    QTextCharFormat defaults;
    defaults.setFontFamilies({QApplication::font().family()});
    defaults.setFontPointSize(8);
    applyCharFormat(defaults);
    SelectionChange();
    ActionUpdate();
}

void TFrmRichEditor::run(const std::function<void()> &handler)
{
    guard(m_dialogs, handler);
}

void TFrmRichEditor::SetFileName(const QString &name)
{
    m_fileName = name;
    setWindowTitle(QStringLiteral("%1 - %2").arg(QFileInfo(name).fileName(), Dialogs::applicationTitle()));
}

// ---- file commands ----------------------------------------------------------

bool TFrmRichEditor::CheckFileSave()
{
    if (!Editor->Modified())
        return true;
    switch (m_dialogs.messageBox(QStringLiteral("Save changes to %1?").arg(m_fileName),
                                 QStringLiteral("Confirmation"), MsgButtons::YesNoCancel,
                                 MsgIcon::Question)) {
    case MsgResult::Yes:
        FileSave();
        // A Save As the operator cancelled saved nothing: keep the document.
        return !Editor->Modified();
    case MsgResult::No:
        return true;
    default:
        return false;
    }
}

void TFrmRichEditor::FileNew()
{
    if (m_dialogs.messageBox(QStringLiteral("Are you sure to clear the Fax editor ?"),
                             QStringLiteral("Please Confirm"), MsgButtons::YesNo,
                             MsgIcon::Question) != MsgResult::Yes)
        return;
    SetFileName(kUntitled);
    Editor->clearDocument();
    Editor->setModified(false);
    EditorChange();
    SelectionChange();
}

void TFrmRichEditor::PerformFileOpen(const QString &path)
{
    Editor->loadFromFile(path);
    SetFileName(path);
    m_dialogFolder = QFileInfo(path).absolutePath();
    Editor->setFocus();
    Editor->setModified(false);
    EditorChange();
    SetEditRect();
    SelectionChange();
}

void TFrmRichEditor::FileOpen()
{
    if (!CheckFileSave())
        return;
    FileDialogRequest request;
    request.title = QStringLiteral("Open");
    request.folder = m_dialogFolder;
    request.filter = kFilter;
    request.mustExist = true;
    bool readOnly = false;
    request.readOnlyChecked = &readOnly;
    const auto path = m_dialogs.openFile(request);
    if (!path)
        return;
    PerformFileOpen(*path);
    Editor->setReadOnly(readOnly);
}

void TFrmRichEditor::FileSave()
{
    if (m_fileName == kUntitled) {
        FileSaveAs();
        return;
    }
    Editor->saveToFile(m_fileName);
    Editor->setModified(false);
    EditorChange();
}

void TFrmRichEditor::FileSaveAs()
{
    FileDialogRequest request;
    request.title = QStringLiteral("Save As");
    request.folder = m_dialogFolder;
    request.fileName = QFileInfo(m_fileName).fileName();
    request.defaultExt = QStringLiteral("rtf");
    request.filter = kFilter;
    const auto path = m_dialogs.saveFile(request);
    if (!path)
        return;
    if (QFileInfo::exists(*path) &&
        m_dialogs.messageBox(QStringLiteral("OK to overwrite %1").arg(*path), QStringLiteral("Confirmation"),
                             MsgButtons::YesNoCancel, MsgIcon::Question) != MsgResult::Yes)
        return;
    Editor->saveToFile(*path);
    SetFileName(*path);
    m_dialogFolder = QFileInfo(*path).absolutePath();
    Editor->setModified(false);
    EditorChange();
}

void TFrmRichEditor::FilePrint()
{
    QPrinter printer;
    if (PrintDialogExecute && PrintDialogExecute(printer))
        Editor->print(printer, m_fileName);
}

void TFrmRichEditor::FileExit()
{
    close();
}

void TFrmRichEditor::EditUndo()
{
    Editor->undo();
}
void TFrmRichEditor::EditCut()
{
    Editor->cut();
}
void TFrmRichEditor::EditCopy()
{
    Editor->copy();
}
void TFrmRichEditor::EditPaste()
{
    Editor->paste();
}

void TFrmRichEditor::ActionUpdate()
{
    EditCutCmd->setEnabled(Editor->SelLength() > 0);
    EditCopyCmd->setEnabled(EditCutCmd->isEnabled());
    EditUndoCmd->setEnabled(Editor->document()->isUndoAvailable());
    EditPasteCmd->setEnabled(Editor->canPaste());
}

// ---- formatting -------------------------------------------------------------

void TFrmRichEditor::applyCharFormat(const QTextCharFormat &modifier)
{
    // With nothing selected the change goes to the text typed next.
    if (Editor->SelLength() > 0)
        Editor->setSelAttributes(modifier);
    else
        Editor->setDefAttributes(modifier);
}

void TFrmRichEditor::FontNameChange()
{
    if (m_updating || FontName->currentIndex() < 0)
        return;
    QTextCharFormat f;
    f.setFontFamilies({FontName->currentText()});
    applyCharFormat(f);
}

void TFrmRichEditor::FontSizeChange()
{
    if (m_updating)
        return;
    bool ok = false;
    const int size = FontSize->text().trimmed().toInt(&ok);
    if (!ok)
        throw ConvertError(QStringLiteral("'%1' is not a valid integer value").arg(FontSize->text()));
    // Sizes the control cannot show are left alone.
    if (size < 1 || size > 1638)
        return;
    QTextCharFormat f;
    f.setFontPointSize(size);
    applyCharFormat(f);
}

void TFrmRichEditor::BoldButtonClick()
{
    if (m_updating)
        return;
    QTextCharFormat f;
    f.setFontWeight(BoldButton->isChecked() ? QFont::Bold : QFont::Normal);
    applyCharFormat(f);
}

void TFrmRichEditor::ItalicButtonClick()
{
    if (m_updating)
        return;
    QTextCharFormat f;
    f.setFontItalic(ItalicButton->isChecked());
    applyCharFormat(f);
}

void TFrmRichEditor::UnderlineButtonClick()
{
    if (m_updating)
        return;
    QTextCharFormat f;
    f.setFontUnderline(UnderlineButton->isChecked());
    applyCharFormat(f);
}

void TFrmRichEditor::AlignButtonClick(QToolButton *button)
{
    if (m_updating || !button)
        return;
    Editor->Paragraph().setAlignment(static_cast<ParaAlignment>(button->property("tag").toInt()));
}

void TFrmRichEditor::BulletsButtonClick()
{
    if (m_updating)
        return;
    Editor->Paragraph().setNumbering(BulletsButton->isChecked() ? NumberingStyle::Bullet
                                                                : NumberingStyle::None);
}

// ---- toolbar refresh, ruler -------------------------------------------------

void TFrmRichEditor::SelectionChange()
{
    FlagScope updating(m_updating);
    ParaAttributes para = Editor->Paragraph();
    const int first = para.FirstIndent(), left = para.LeftIndent(), right = para.RightIndent();
    // Integer arithmetic: Trunc(x * 4/3) without floating-point surprises.
    FirstInd->setLeft(first * 4 / 3 - 4 + kGutter);
    LeftInd->setLeft((left + first) * 4 / 3 - 4 + kGutter);
    RightInd->setLeft(Ruler->ClientWidth() - kGutter - (right + kGutter) * 4 / 3);

    const QFont font = Editor->SelAttributes().font().resolve(Editor->document()->defaultFont());
    BoldButton->setChecked(font.bold());
    ItalicButton->setChecked(font.italic());
    UnderlineButton->setChecked(font.underline());
    BulletsButton->setChecked(para.Numbering() == NumberingStyle::Bullet);
    FontSize->setText(QString::number(static_cast<int>(font.pointSizeF())));
    FontName->setCurrentIndex(FontName->findText(font.family(), Qt::MatchFixedString));

    m_alignGroup->setExclusive(false);
    for (QToolButton *b : {LeftAlign, CenterAlign, RightAlign})
        b->setChecked(false);
    switch (para.Alignment()) {
    case ParaAlignment::Left:
        LeftAlign->setChecked(true);
        break;
    case ParaAlignment::Right:
        RightAlign->setChecked(true);
        break;
    case ParaAlignment::Center:
        CenterAlign->setChecked(true);
        break;
    case ParaAlignment::Justify:
        break; // no button for it
    }
    m_alignGroup->setExclusive(true);
    UpdateCursorPos();
    ActionUpdate();
}

void TFrmRichEditor::UpdateCursorPos()
{
    const int start = Editor->SelStart();
    const int line = Editor->lineFromChar(start);
    const int column = start - Editor->lineIndex(line);
    StatusPanels[0]->setText(QString::asprintf("Line: %3d   Col: %3d", line + 1, column + 1));
}

void TFrmRichEditor::EditorChange()
{
    StatusPanels[1]->setText(Editor->Modified() ? QStringLiteral("Modified") : QString());
}

void TFrmRichEditor::RulerItemMouseDown(RulerMarker *marker, int x)
{
    m_dragOfs = marker->width() / 2;
    marker->setLeft(marker->Left() + x - m_dragOfs);
    m_dragging = true;
}

void TFrmRichEditor::RulerItemMouseMove(RulerMarker *marker, int x)
{
    if (m_dragging)
        marker->setLeft(marker->Left() + x - m_dragOfs);
}

void TFrmRichEditor::FirstIndMouseUp()
{
    m_dragging = false;
    Editor->Paragraph().setFirstIndent((FirstInd->Left() + m_dragOfs - kGutter) * 3 / 4);
    // The left marker stays where it is: its indent counts from the first line's.
    LeftIndMouseUp();
}

void TFrmRichEditor::LeftIndMouseUp()
{
    m_dragging = false;
    ParaAttributes para = Editor->Paragraph();
    para.setLeftIndent((LeftInd->Left() + m_dragOfs - kGutter) * 3 / 4 - para.FirstIndent());
    SelectionChange();
}

void TFrmRichEditor::RightIndMouseUp()
{
    m_dragging = false;
    Editor->Paragraph().setRightIndent((Ruler->ClientWidth() - RightInd->Left() + m_dragOfs - 2) * 3 / 4 -
                                       12);
    SelectionChange();
}

void TFrmRichEditor::RulerResize()
{
    RulerLine->resize(Ruler->ClientWidth() - 2 * RulerLine->x(), RulerLine->height());
    Bevel1->resize(Ruler->width(), Bevel1->height());
}

void TFrmRichEditor::SetEditRect()
{
    const QSize client = Editor->viewport()->size();
    Editor->setFormattingRect(QRect(kGutter, 0, client.width() - 2 * kGutter, client.height()));
}

// ---- window events ----------------------------------------------------------

void TFrmRichEditor::FilesDropped(const QStringList &files)
{
    if (files.isEmpty())
        return;
    const QString path = files.first();
    if (!CheckFileSave())
        return;
    PerformFileOpen(path);
}

void TFrmRichEditor::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    run([this] {
        UpdateCursorPos();
        setAcceptDrops(true);
        Editor->setAcceptFiles(true);
        EditorChange();
        Editor->setFocus();
        SetEditRect();
        SelectionChange();
        // The start-up file is loaded once: showing the window again (the
        // template window re-embeds it) must not throw away the operator's edits.
        if (!m_argumentLoaded) {
            m_argumentLoaded = true;
            const QString first = m_arguments.value(1);
            if (!first.isEmpty() && QFileInfo(first).isFile())
                PerformFileOpen(first);
        }
    });
}

void TFrmRichEditor::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    run([this] {
        SetEditRect();
        SelectionChange();
    });
}

void TFrmRichEditor::paintEvent(QPaintEvent *e)
{
    QWidget::paintEvent(e);
    SetEditRect();
}

void TFrmRichEditor::closeEvent(QCloseEvent *e)
{
    bool mayClose = false;
    run([&] { mayClose = CheckFileSave(); });
    if (mayClose)
        e->accept();
    else
        e->ignore();
}

void TFrmRichEditor::dragEnterEvent(QDragEnterEvent *e)
{
    if (acceptDrops() && !droppedFiles(e->mimeData()).isEmpty())
        e->acceptProposedAction();
}

void TFrmRichEditor::dropEvent(QDropEvent *e)
{
    const QStringList files = droppedFiles(e->mimeData());
    if (files.isEmpty())
        return;
    e->acceptProposedAction();
    run([this, files] { FilesDropped(files); });
}
