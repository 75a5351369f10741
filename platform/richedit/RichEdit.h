#pragma once

#include "platform/richedit/RtfReader.h"

#include <QTextCharFormat>
#include <QTextEdit>
#include <functional>

class QPrinter;

// Paragraph alignment as the rich-text control numbers it.
enum class ParaAlignment { Left = 0, Right = 1, Center = 2, Justify = 3 };
// Bullet: a bullet list; Arabic: a numbered list (1, 2, 3 or letters and
// numerals of the same kind, as read from a document).
enum class NumberingStyle { None = 0, Bullet = 1, Arabic = 2 };

class RichEdit;

// The paragraph attributes of the selection (or the caret's paragraph).
// Indents are whole points: FirstIndent is the first line's indent from
// the left margin, LeftIndent the other lines' indent relative to the
// first line's, RightIndent the indent from the right margin.
class ParaAttributes {
public:
    explicit ParaAttributes(RichEdit &edit) : m_edit(edit) {}

    int FirstIndent() const;
    int LeftIndent() const;
    int RightIndent() const;
    ParaAlignment Alignment() const;
    NumberingStyle Numbering() const;

    void setFirstIndent(int points);
    void setLeftIndent(int points);
    void setRightIndent(int points);
    void setAlignment(ParaAlignment a);
    void setNumbering(NumberingStyle n);

private:
    RichEdit &m_edit;
};

// The rich-text control: QTextEdit with RTF load and save, paragraph
// attributes in points, default and selection attributes, printing, the
// installed font names and dropped files.
class RichEdit : public QTextEdit {
    Q_OBJECT
public:
    explicit RichEdit(QWidget *parent = nullptr);

    ParaAttributes Paragraph() { return ParaAttributes(*this); }

    // Formatting of the selection, or of the text typed next at the caret.
    QTextCharFormat SelAttributes() const;
    void setSelAttributes(const QTextCharFormat &modifier);
    // The control's default formatting: text typed next, and what an
    // emptied document starts with.
    QTextCharFormat DefAttributes() const;
    void setDefAttributes(const QTextCharFormat &modifier);

    int SelStart() const;
    int SelLength() const;
    // Line of a character position (counting wrapped and broken lines),
    // and the first character position of a line.
    int lineFromChar(int pos) const;
    int lineIndex(int line) const;

    // Loads a file: RTF when it is RTF, otherwise plain text. Throws
    // RichEditError: the file error when it cannot be read, "Failed to
    // Load Stream" when it is neither. The current document stays as it
    // was when loading fails.
    void loadFromFile(const QString &path);
    void loadFromBytes(const QByteArray &data);
    // Writes RTF, replacing the file only once the whole document is on
    // disk. Throws RichEditError with the file error.
    void saveToFile(const QString &path) const;
    QByteArray toRtf() const;

    // Empties the document; text typed next has the default attributes.
    void clearDocument();

    bool Modified() const;
    void setModified(bool modified);

    // Margins of the text within the control (left, top, right, bottom
    // distances from the viewport's edges).
    void setFormattingRect(const QRect &rect);

    void print(QPrinter &printer, const QString &title) const;

    // Every installed font face name, sorted.
    static QStringList fontNames();

    // Files dropped on the control go here instead of into the text.
    void setAcceptFiles(bool accept) { m_acceptFiles = accept; }
    bool acceptFiles() const { return m_acceptFiles; }
    std::function<void(const QStringList &)> OnFilesDropped;

protected:
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
    void dragEnterEvent(QDragEnterEvent *e) override;
    void dragMoveEvent(QDragMoveEvent *e) override;
    void dropEvent(QDropEvent *e) override;

private:
    friend class ParaAttributes;
    void applyFormattingRect();
    void mergeBlocks(const std::function<void(QTextBlockFormat &)> &change);
    bool answerFileDrag(QDragMoveEvent *e) const;

    QTextCharFormat m_default;
    QRect m_formatRect{6, 0, -6, 0};
    bool m_acceptFiles = false;
};

// Local files among the URLs of a drop, in order.
QStringList droppedFiles(const QMimeData *mime);
