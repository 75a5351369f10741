#pragma once

// The wizard's source view: read-only, fixed pitch, no wrap, both scroll
// bars. It paints only the lines on screen, so a list of 100,000 lines
// shows at once, and works out each line's highlight as it paints it.

#include <QAbstractScrollArea>
#include <QStringList>

#include <optional>
#include <vector>

// Which characters of a line are red and bold. Highlighting a column
// recolours every line that reaches the column's start; a shorter line
// keeps what it showed before, so the answer depends on the earlier
// highlights since the last reset. Only the ones that can still show
// are kept: a later one with a smaller or equal start covers every line
// an earlier one with a larger start reached.
class SourceHighlight {
public:
    struct Range {
        int start;
        int length;
        bool operator==(const Range &) const = default;
    };

    void reset() { m_stack.clear(); }
    void highlight(int start, int width);
    // The red run of a line of that length; nullopt when all of it is black.
    std::optional<Range> rangeFor(int lineLength) const;

private:
    std::vector<Range> m_stack; // starts strictly increasing
};

class SourceTextView final : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit SourceTextView(QWidget *parent = nullptr);

    void setLines(const QStringList &lines);
    const QStringList &lines() const { return m_lines; }
    void clear() { setLines({}); }

    // Red and bold from offset start, width characters, on every line long
    // enough; everything else of those lines black and regular.
    void highlightColumn(int start, int width);
    // The whole text black and regular.
    void removeHighlight();
    std::optional<SourceHighlight::Range> highlightOf(int line) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void updateScrollBars();
    int lineHeight() const;
    int charWidth() const;

    QStringList m_lines;
    int m_longest = 0;
    SourceHighlight m_highlight;
};
