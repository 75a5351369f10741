#pragma once

#include "ui/DataSource.h"

#include <QWidget>
#include <map>

class QToolButton;
class Dialogs;

// A record navigator with captions under the glyphs. Which buttons it has is
// fixed at construction; their enabled state follows the data source. Errors
// of its actions are dropped without a message: the table stays as the
// failed step left it.
class TCaptionedDBNavigator : public QWidget {
    Q_OBJECT
public:
    enum Button { nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbPost, nbCancel };

    TCaptionedDBNavigator(DataSource &source, Dialogs &dialogs, QList<Button> buttons,
                          QWidget *parent = nullptr);

    QToolButton *button(Button b) const;
    static QString Caption(Button b);
    static QString Hint(Button b);

    // Runs a button's action as a click does (disabled buttons do nothing).
    void BtnClick(Button b);
    // Recomputes which buttons are enabled.
    void updateButtons();

private:
    void act(Button b);

    DataSource *m_source;
    Dialogs *m_dialogs;
    std::map<Button, QToolButton *> m_buttons;
};
