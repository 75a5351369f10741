#pragma once

#include <QBoxLayout>
#include <QPushButton>

namespace fax {

// A button at the end of a window's button row, named so tests find it.
inline QPushButton *addRowButton(QBoxLayout *row, QWidget *parent, const QString &text, const char *name)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    row->addWidget(b);
    return b;
}

} // namespace fax
