#pragma once

#include <QString>
#include <QStringView>

#include <string>
#include <string_view>

// The search filter of the contact views: FIELD='text', a single quote in
// the text doubled. The text is matched against the field value without its
// trailing spaces, ignoring case, with a star at either end meaning "starts
// with", "ends with" or, at both ends, "contains". "*" alone matches all.

struct SearchExpression {
    QString field;
    QString text;
};

// FIELD='text' with every quote in text doubled.
QString BuildSearchExpression(const QString &field, const QString &text);

// Reads FIELD='text' back (spaces around the parts allowed). Throws EDbfError
// with a message naming what is wrong when the expression has another form.
SearchExpression ParseSearchExpression(const QString &expression);

class SearchPattern {
public:
    enum class Mode { Equal, StartsWith, EndsWith, Contains, All };

    SearchPattern() = default;
    explicit SearchPattern(const QString &text);

    Mode mode() const { return m_mode; }
    // value: the field as read (trailing spaces already removed or not).
    bool matches(QStringView value) const;
    // value already case-folded, trailing spaces removed.
    bool matchesFolded(std::u16string_view value) const;

private:
    Mode m_mode = Mode::All;
    std::u16string m_needle; // case-folded
};

// One-shot form of SearchPattern(text).matches(value).
bool SearchTextMatches(QStringView value, const QString &text);
