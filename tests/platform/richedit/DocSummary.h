#pragma once

#include <QString>
#include <QTextDocument>
#include <ostream>
#include <vector>

// A document reduced to what the editor can set, for comparing documents
// read and written different ways. Adjacent runs of equal format are one.
struct RunSummary {
    QString text;
    QString family;
    double size = 0;
    bool bold = false, italic = false, underline = false, strike = false;
    QString color; // "#rrggbb", empty for the automatic colour
    bool operator==(const RunSummary &) const = default;
};

struct ParaSummary {
    QString text;
    char align = 'L';           // L, C, R, J
    int li = 0, fi = 0, ri = 0; // twips
    char list = '-';            // '-' none, 'b' bullet, 'd' decimal
    std::vector<RunSummary> runs;
    bool operator==(const ParaSummary &) const = default;
};

std::vector<ParaSummary> summarize(const QTextDocument &doc);

void PrintTo(const QString &s, std::ostream *os);
void PrintTo(const RunSummary &r, std::ostream *os);
void PrintTo(const ParaSummary &p, std::ostream *os);
