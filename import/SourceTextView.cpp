#include "import/SourceTextView.h"

#include <QFontDatabase>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <limits>

void SourceHighlight::highlight(int start, int width)
{
    while (!m_stack.empty() && m_stack.back().start >= start)
        m_stack.pop_back();
    m_stack.push_back({start, width});
}

std::optional<SourceHighlight::Range> SourceHighlight::rangeFor(int lineLength) const
{
    for (auto it = m_stack.rbegin(); it != m_stack.rend(); ++it) {
        if (lineLength < it->start)
            continue;
        const int length = std::min(it->length, lineLength - it->start);
        if (length <= 0)
            return std::nullopt;
        return Range{it->start, length};
    }
    return std::nullopt;
}

SourceTextView::SourceTextView(QWidget *parent) : QAbstractScrollArea(parent)
{
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    if (!QFontInfo(font).fixedPitch())
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    setFont(font);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
}

void SourceTextView::setLines(const QStringList &lines)
{
    m_lines = lines;
    m_longest = 0;
    for (const QString &l : m_lines)
        m_longest = std::max(m_longest, int(l.size()));
    m_highlight.reset();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
}

void SourceTextView::highlightColumn(int start, int width)
{
    if (start < 0)
        return;
    m_highlight.highlight(start, width);
    viewport()->update();
}

void SourceTextView::removeHighlight()
{
    m_highlight.reset();
    viewport()->update();
}

std::optional<SourceHighlight::Range> SourceTextView::highlightOf(int line) const
{
    if (line < 0 || line >= m_lines.size())
        return std::nullopt;
    return m_highlight.rangeFor(int(m_lines[line].size()));
}

int SourceTextView::lineHeight() const
{
    return std::max(1, fontMetrics().lineSpacing());
}

int SourceTextView::charWidth() const
{
    return std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('M')));
}

void SourceTextView::updateScrollBars()
{
    const int visibleLines = viewport()->height() / lineHeight();
    verticalScrollBar()->setRange(0, std::max(0, int(m_lines.size()) - visibleLines));
    verticalScrollBar()->setPageStep(std::max(1, visibleLines));
    verticalScrollBar()->setSingleStep(1);
    // A line hundreds of megabytes long would overflow a pixel count in int.
    const qint64 textWidth = (qint64(m_longest) + 2) * charWidth();
    const qint64 maxScroll = std::numeric_limits<int>::max() / 2;
    horizontalScrollBar()->setRange(0,
                                    int(std::clamp<qint64>(textWidth - viewport()->width(), 0, maxScroll)));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(charWidth());
}

void SourceTextView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void SourceTextView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateScrollBars();
}

void SourceTextView::paintEvent(QPaintEvent *event)
{
    QPainter p(viewport());
    const int lh = lineHeight();
    const int cw = charWidth();
    const int ascent = fontMetrics().ascent();
    const int margin = cw / 2;
    const int first = verticalScrollBar()->value() + event->rect().top() / lh;
    const int last =
        std::min(int(m_lines.size()) - 1, verticalScrollBar()->value() + event->rect().bottom() / lh);
    const int xOffset = horizontalScrollBar()->value();
    // Only the characters that fall inside the viewport are drawn.
    const int firstChar = std::max(0, (xOffset - margin) / cw);
    const int charCount = viewport()->width() / cw + 2;

    QFont regular = font();
    QFont bold = font();
    bold.setBold(true);
    const QColor black(0, 0, 0);
    const QColor red(255, 0, 0);

    for (int i = std::max(0, first); i <= last; ++i) {
        const QString &line = m_lines[i];
        const int y = (i - verticalScrollBar()->value()) * lh + ascent;
        const auto hl = m_highlight.rangeFor(int(line.size()));
        const int end = std::min(int(line.size()), firstChar + charCount);
        auto drawRun = [&](int from, int to, bool isRed) {
            from = std::max(from, firstChar);
            to = std::min(to, end);
            if (from >= to)
                return;
            QString text = line.mid(from, to - from);
            // One cell per character, as the column offsets count them.
            for (QChar &c : text)
                if (c.unicode() < 0x20)
                    c = QLatin1Char(' ');
            p.setFont(isRed ? bold : regular);
            p.setPen(isRed ? red : black);
            p.drawText(margin + from * cw - xOffset, y, text);
        };
        if (hl) {
            drawRun(0, hl->start, false);
            drawRun(hl->start, hl->start + hl->length, true);
            drawRun(hl->start + hl->length, int(line.size()), false);
        } else {
            drawRun(0, int(line.size()), false);
        }
    }
}
