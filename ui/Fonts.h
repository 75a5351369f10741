#pragma once

#include <QApplication>
#include <QFont>
#include <QStringList>

// The windows were laid out for Tahoma and MS Sans Serif, which Linux does
// not have: take the closest installed sans-serif at the same point size.
inline QFont windowsUiFont(qreal pointSize = 8)
{
    QFont f;
    f.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                   QStringLiteral("Nimbus Sans"), QStringLiteral("DejaVu Sans")});
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(pointSize);
    return f;
}

// The windows' font for everything else the program shows: menus, message
// boxes, file dialogs and tool tips. Setting the application font drops the
// desktop theme's per-class fonts, which are larger.
inline void useProgramFont()
{
    QApplication::setFont(windowsUiFont(8));
}
