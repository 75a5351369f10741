#include "contacts/SearchExpression.h"

#include "contacts/DbfTable.h"
#include "platform/codepage/CodePage.h"

QString BuildSearchExpression(const QString &field, const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return field + QLatin1String("='") + quoted + QLatin1Char('\'');
}

SearchExpression ParseSearchExpression(const QString &expression)
{
    auto fail = [&](const QString &why) -> SearchExpression {
        throw EDbfError(QStringLiteral("Invalid filter expression \"%1\": %2.").arg(expression, why));
    };
    const qsizetype n = expression.size();
    qsizetype i = 0;
    auto skipSpaces = [&] {
        while (i < n && expression[i].isSpace())
            ++i;
    };
    skipSpaces();
    const qsizetype nameStart = i;
    while (i < n && (expression[i].isLetterOrNumber() || expression[i] == QLatin1Char('_')))
        ++i;
    SearchExpression out;
    out.field = expression.mid(nameStart, i - nameStart);
    if (out.field.isEmpty())
        return fail(QStringLiteral("a field name is expected"));
    skipSpaces();
    if (i >= n || expression[i] != QLatin1Char('='))
        return fail(QStringLiteral("\"=\" is expected after the field name"));
    ++i;
    skipSpaces();
    if (i >= n || expression[i] != QLatin1Char('\''))
        return fail(QStringLiteral("the search text must be in single quotes"));
    ++i;
    bool closed = false;
    while (i < n) {
        const QChar c = expression[i++];
        if (c == QLatin1Char('\'')) {
            if (i < n && expression[i] == QLatin1Char('\'')) {
                out.text.append(c);
                ++i;
                continue;
            }
            closed = true;
            break;
        }
        out.text.append(c);
    }
    if (!closed)
        return fail(QStringLiteral("the closing quote is missing"));
    skipSpaces();
    if (i != n)
        return fail(QStringLiteral("unexpected text after the closing quote"));
    return out;
}

SearchPattern::SearchPattern(const QString &text)
{
    const bool starAtStart = text.startsWith(QLatin1Char('*'));
    const bool starAtEnd = text.endsWith(QLatin1Char('*'));
    if (text == QLatin1String("*")) {
        m_mode = Mode::All;
        return;
    }
    QStringView t(text);
    if (starAtStart && starAtEnd) {
        m_mode = Mode::Contains;
        t = t.mid(1, t.size() - 2);
    } else if (starAtEnd) {
        m_mode = Mode::StartsWith;
        t.chop(1);
    } else if (starAtStart) {
        m_mode = Mode::EndsWith;
        t = t.mid(1);
    } else {
        m_mode = Mode::Equal;
    }
    m_needle = foldCase(t);
    if (m_needle.empty() && m_mode != Mode::Equal)
        m_mode = Mode::All;
}

bool SearchPattern::matchesFolded(std::u16string_view value) const
{
    switch (m_mode) {
    case Mode::All:
        return true;
    case Mode::Equal:
        return value == m_needle;
    case Mode::StartsWith:
        return value.substr(0, m_needle.size()) == m_needle;
    case Mode::EndsWith:
        return value.size() >= m_needle.size() && value.substr(value.size() - m_needle.size()) == m_needle;
    case Mode::Contains:
        return value.find(m_needle) != std::u16string_view::npos;
    }
    return false;
}

bool SearchPattern::matches(QStringView value) const
{
    while (!value.isEmpty() && value.back() == QLatin1Char(' '))
        value.chop(1);
    const std::u16string folded = foldCase(value);
    return matchesFolded(folded);
}

bool SearchTextMatches(QStringView value, const QString &text)
{
    return SearchPattern(text).matches(value);
}
