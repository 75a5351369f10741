#include "platform/richedit/RichEdit.h"

#include "platform/richedit/RtfWriter.h"

#include <QAbstractTextDocumentLayout>
#include <QDragEnterEvent>
#include <QFile>
#include <QFontDatabase>
#include <QMimeData>
#include <QPointer>
#include <QPrinter>
#include <QSaveFile>
#include <QScrollBar>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextList>
#include <QUrl>
#include <QUtf8StringView>
#include <cmath>

namespace {

constexpr double kPixelsPerPoint = 96.0 / 72.0;
// Bullets hang this far into the paragraph's left side.
constexpr double kListIndentPx = 24.0;
// Default tab stops every half inch, as in RTF.
constexpr double kTabStopPx = 48.0;

int pointsOf(double px)
{
    return static_cast<int>(std::lround(px / rtf::kPixelsPerTwip)) / 20;
}
double pixelsOf(int points)
{
    return points * kPixelsPerPoint;
}

QString plainTextOf(const QByteArray &data)
{
    if (data.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(data.mid(3));
    if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF")) {
        QStringDecoder d(data.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        QString text = d.decode(data.mid(2));
        if (!d.hasError())
            return text;
        throw RichEditError(QStringLiteral("Failed to Load Stream"));
    }
    // Bytes of zero are not text: this is some binary file.
    if (data.contains('\0'))
        throw RichEditError(QStringLiteral("Failed to Load Stream"));
    if (QUtf8StringView(data.constData(), data.size()).isValidUtf8())
        return QString::fromUtf8(data);
    QString text;
    text.reserve(data.size());
    // ANSI text: Windows-1252.
    static const char16_t high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    for (char ch : data) {
        const auto b = static_cast<unsigned char>(ch);
        text += (b >= 0x80 && b < 0xA0) ? QChar(high[b - 0x80]) : QChar(b);
    }
    return text;
}

} // namespace

QStringList droppedFiles(const QMimeData *mime)
{
    QStringList files;
    if (!mime || !mime->hasUrls())
        return files;
    for (const QUrl &url : mime->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    return files;
}

// ---- paragraph attributes -------------------------------------------------

namespace {
QTextBlock currentBlock(const RichEdit &edit)
{
    return edit.document()->findBlock(edit.textCursor().selectionStart());
}
} // namespace

int ParaAttributes::FirstIndent() const
{
    const QTextBlockFormat f = currentBlock(m_edit).blockFormat();
    return pointsOf(f.leftMargin() + f.textIndent());
}

int ParaAttributes::LeftIndent() const
{
    return pointsOf(-currentBlock(m_edit).blockFormat().textIndent());
}

int ParaAttributes::RightIndent() const
{
    return pointsOf(currentBlock(m_edit).blockFormat().rightMargin());
}

ParaAlignment ParaAttributes::Alignment() const
{
    const Qt::Alignment a = currentBlock(m_edit).blockFormat().alignment() & Qt::AlignHorizontal_Mask;
    if (a & Qt::AlignHCenter)
        return ParaAlignment::Center;
    if (a & Qt::AlignJustify)
        return ParaAlignment::Justify;
    if ((a & Qt::AlignRight) || ((a & Qt::AlignTrailing) && !(a & Qt::AlignAbsolute)))
        return ParaAlignment::Right;
    return ParaAlignment::Left;
}

namespace {
bool isBulletList(const QTextList *list)
{
    if (!list)
        return false;
    const QTextListFormat::Style s = list->format().style();
    return s == QTextListFormat::ListDisc || s == QTextListFormat::ListCircle ||
           s == QTextListFormat::ListSquare;
}
} // namespace

NumberingStyle ParaAttributes::Numbering() const
{
    const QTextList *list = currentBlock(m_edit).textList();
    if (!list)
        return NumberingStyle::None;
    return isBulletList(list) ? NumberingStyle::Bullet : NumberingStyle::Arabic;
}

void ParaAttributes::setFirstIndent(int points)
{
    // The other lines keep their place relative to the first line.
    m_edit.mergeBlocks([points](QTextBlockFormat &f) { f.setLeftMargin(pixelsOf(points) - f.textIndent()); });
}

void ParaAttributes::setLeftIndent(int points)
{
    m_edit.mergeBlocks([points](QTextBlockFormat &f) {
        const double first = f.leftMargin() + f.textIndent();
        f.setTextIndent(-pixelsOf(points));
        f.setLeftMargin(first + pixelsOf(points));
    });
}

void ParaAttributes::setRightIndent(int points)
{
    m_edit.mergeBlocks([points](QTextBlockFormat &f) { f.setRightMargin(pixelsOf(points)); });
}

void ParaAttributes::setAlignment(ParaAlignment a)
{
    Qt::Alignment q = Qt::AlignLeft;
    switch (a) {
    case ParaAlignment::Left:
        q = Qt::AlignLeft;
        break;
    case ParaAlignment::Right:
        q = Qt::AlignRight;
        break;
    case ParaAlignment::Center:
        q = Qt::AlignHCenter;
        break;
    case ParaAlignment::Justify:
        q = Qt::AlignJustify;
        break;
    }
    m_edit.mergeBlocks([q](QTextBlockFormat &f) { f.setAlignment(q); });
}

void ParaAttributes::setNumbering(NumberingStyle n)
{
    QTextCursor c = m_edit.textCursor();
    const int start = c.selectionStart(), end = c.selectionEnd();
    c.beginEditBlock();
    if (n == NumberingStyle::Bullet || n == NumberingStyle::Arabic) {
        // Paragraphs of another kind of list change kind, as in a word
        // processor; they do not lose their numbering to nothing.
        const auto sameKind = [n](const QTextList *list) {
            return list && isBulletList(list) == (n == NumberingStyle::Bullet);
        };
        bool all = true;
        for (QTextBlock b = m_edit.document()->findBlock(start); b.isValid() && b.position() <= end;
             b = b.next())
            all = all && sameKind(b.textList());
        if (!all) {
            QTextListFormat lf;
            lf.setStyle(n == NumberingStyle::Bullet ? QTextListFormat::ListDisc
                                                    : QTextListFormat::ListDecimal);
            lf.setIndent(1);
            c.createList(lf);
        }
    } else {
        for (QTextBlock b = m_edit.document()->findBlock(start); b.isValid() && b.position() <= end;
             b = b.next()) {
            if (QTextList *list = b.textList()) {
                list->remove(b);
                // Leaving a list must not move the text.
                QTextCursor bc(b);
                QTextBlockFormat f = b.blockFormat();
                f.setIndent(0);
                bc.setBlockFormat(f);
            }
        }
    }
    c.endEditBlock();
}

// ---- the control ----------------------------------------------------------

RichEdit::RichEdit(QWidget *parent) : QTextEdit(parent)
{
    setAcceptRichText(true);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    document()->setIndentWidth(kListIndentPx);
    setTabStopDistance(kTabStopPx);
    m_default = currentCharFormat();
    applyFormattingRect();
}

QTextCharFormat RichEdit::SelAttributes() const
{
    const QTextCursor cur = textCursor();
    if (!cur.hasSelection())
        return currentCharFormat();
    QTextCursor at(document());
    at.setPosition(cur.selectionStart() + 1);
    return at.charFormat();
}

void RichEdit::setSelAttributes(const QTextCharFormat &modifier)
{
    mergeCurrentCharFormat(modifier);
}

QTextCharFormat RichEdit::DefAttributes() const
{
    return m_default;
}

void RichEdit::setDefAttributes(const QTextCharFormat &modifier)
{
    m_default.merge(modifier);
    // Without a selection this is the format of the text typed next.
    if (!textCursor().hasSelection())
        mergeCurrentCharFormat(modifier);
}

int RichEdit::SelStart() const
{
    return textCursor().selectionStart();
}

int RichEdit::SelLength() const
{
    return textCursor().selectionEnd() - textCursor().selectionStart();
}

namespace {
// Start positions (within the block) of the block's lines.
QList<int> lineStarts(const QTextDocument *doc, const QTextBlock &block)
{
    QList<int> starts;
    if (auto *layout = doc->documentLayout())
        layout->blockBoundingRect(block); // lays the block out if it is not yet
    const QTextLayout *tl = block.layout();
    if (tl && tl->lineCount() > 0) {
        for (int i = 0; i < tl->lineCount(); ++i)
            starts << tl->lineAt(i).textStart();
        return starts;
    }
    starts << 0;
    const QString text = block.text();
    for (int i = 0; i < text.size(); ++i)
        if (text[i] == QChar::LineSeparator)
            starts << i + 1;
    return starts;
}
} // namespace

int RichEdit::lineFromChar(int pos) const
{
    int line = 0;
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) {
        const QList<int> starts = lineStarts(document(), b);
        if (pos < b.position() + b.length() || !b.next().isValid()) {
            const int inBlock = pos - b.position();
            int i = 0;
            while (i + 1 < starts.size() && starts[i + 1] <= inBlock)
                ++i;
            return line + i;
        }
        line += starts.size();
    }
    return line;
}

int RichEdit::lineIndex(int line) const
{
    int first = 0;
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) {
        const QList<int> starts = lineStarts(document(), b);
        if (line < first + starts.size())
            return b.position() + starts[line - first];
        first += starts.size();
    }
    return -1;
}

void RichEdit::loadFromFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RichEditError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw RichEditError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
    loadFromBytes(data);
}

void RichEdit::loadFromBytes(const QByteArray &data)
{
    // Build the new document aside, so a failure leaves the old one intact.
    auto *doc = new QTextDocument(this);
    doc->setDefaultFont(document()->defaultFont());
    doc->setIndentWidth(kListIndentPx);
    try {
        if (rtf::isRtf(data)) {
            rtf::read(data, *doc);
        } else {
            QString text = plainTextOf(data);
            text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace('\r', '\n');
            doc->setUndoRedoEnabled(false);
            QTextCursor c(doc);
            c.setBlockCharFormat(m_default);
            c.insertText(text, m_default);
            doc->setUndoRedoEnabled(true);
        }
    } catch (...) {
        delete doc;
        throw;
    }
    doc->setModified(false);
    // QTextEdit frees the document it made itself; ours we free here.
    QPointer<QTextDocument> old = document();
    setDocument(doc);
    if (old && old->parent() == this)
        delete old;
    setTabStopDistance(kTabStopPx);
    applyFormattingRect();
    moveCursor(QTextCursor::Start);
    document()->setModified(false);
}

QByteArray RichEdit::toRtf() const
{
    return rtf::write(*document());
}

void RichEdit::saveToFile(const QString &path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw RichEditError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, file.errorString()));
    const QByteArray data = toRtf();
    if (file.write(data) != data.size() || !file.commit())
        throw RichEditError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, file.errorString()));
}

void RichEdit::clearDocument()
{
    clear();
    QFont font = document()->defaultFont();
    const QStringList families = m_default.fontFamilies().toStringList();
    if (!families.isEmpty())
        font.setFamilies(families);
    if (m_default.fontPointSize() > 0)
        font.setPointSizeF(m_default.fontPointSize());
    document()->setDefaultFont(font);
    applyFormattingRect();
    setCurrentCharFormat(m_default);
    QTextCursor c(document());
    c.setBlockCharFormat(m_default);
}

bool RichEdit::Modified() const
{
    return document()->isModified();
}

void RichEdit::setModified(bool modified)
{
    document()->setModified(modified);
}

void RichEdit::setFormattingRect(const QRect &rect)
{
    m_formatRect = QRect(rect.left(), rect.top(), rect.width(), rect.height());
    applyFormattingRect();
}

void RichEdit::applyFormattingRect()
{
    QTextFrameFormat f = document()->rootFrame()->frameFormat();
    const double left = m_formatRect.left();
    const double top = std::max(0, m_formatRect.top());
    // A rectangle without a width means "the whole width less the left gap".
    const double right = m_formatRect.width() > 0
                             ? std::max(0, viewport()->width() - (m_formatRect.left() + m_formatRect.width()))
                             : left;
    if (f.leftMargin() == left && f.rightMargin() == right && f.topMargin() == top && f.bottomMargin() == 0)
        return;
    f.setLeftMargin(left);
    f.setRightMargin(right);
    f.setTopMargin(top);
    f.setBottomMargin(0);
    const bool modified = document()->isModified();
    const bool undo = document()->isUndoRedoEnabled();
    // Margins of the view are not an edit of the text.
    document()->setUndoRedoEnabled(false);
    document()->rootFrame()->setFrameFormat(f);
    document()->setUndoRedoEnabled(undo);
    document()->setModified(modified);
}

void RichEdit::mergeBlocks(const std::function<void(QTextBlockFormat &)> &change)
{
    const QTextCursor cur = textCursor();
    const int start = cur.selectionStart(), end = cur.selectionEnd();
    QTextCursor edit(document());
    edit.beginEditBlock();
    for (QTextBlock b = document()->findBlock(start); b.isValid() && b.position() <= end; b = b.next()) {
        QTextBlockFormat f = b.blockFormat();
        change(f);
        QTextCursor bc(b);
        bc.setBlockFormat(f);
        if (b.position() + b.length() > end)
            break;
    }
    edit.endEditBlock();
}

void RichEdit::print(QPrinter &printer, const QString &title) const
{
    printer.setDocName(title);
    document()->print(&printer);
}

QStringList RichEdit::fontNames()
{
    QStringList names;
    for (const QString &family : QFontDatabase::families())
        if (!QFontDatabase::isPrivateFamily(family))
            names << family;
    names.sort(Qt::CaseInsensitive);
    names.removeDuplicates();
    return names;
}

bool RichEdit::canInsertFromMimeData(const QMimeData *source) const
{
    if (!droppedFiles(source).isEmpty())
        return m_acceptFiles;
    return QTextEdit::canInsertFromMimeData(source);
}

void RichEdit::insertFromMimeData(const QMimeData *source)
{
    const QStringList files = droppedFiles(source);
    if (!files.isEmpty()) {
        // A file is opened, never pasted as its path.
        if (m_acceptFiles && OnFilesDropped)
            OnFilesDropped(files);
        return;
    }
    QTextEdit::insertFromMimeData(source);
}

// Files dragged over the editor are taken or refused as a whole; other
// drags go on to the text edit. Returns whether the drag carried files.
bool RichEdit::answerFileDrag(QDragMoveEvent *e) const
{
    if (droppedFiles(e->mimeData()).isEmpty())
        return false;
    if (m_acceptFiles)
        e->acceptProposedAction();
    else
        e->ignore();
    return true;
}

void RichEdit::dragEnterEvent(QDragEnterEvent *e)
{
    if (!answerFileDrag(e))
        QTextEdit::dragEnterEvent(e);
}

void RichEdit::dragMoveEvent(QDragMoveEvent *e)
{
    if (!answerFileDrag(e))
        QTextEdit::dragMoveEvent(e);
}

void RichEdit::dropEvent(QDropEvent *e)
{
    const QStringList files = droppedFiles(e->mimeData());
    if (!files.isEmpty()) {
        if (m_acceptFiles) {
            e->acceptProposedAction();
            if (OnFilesDropped)
                OnFilesDropped(files);
        } else {
            e->ignore();
        }
        return;
    }
    QTextEdit::dropEvent(e);
}
