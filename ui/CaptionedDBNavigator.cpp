#include "ui/CaptionedDBNavigator.h"

#include "ui/Dialogs.h"

#include <QHBoxLayout>
#include <QStyle>
#include <QToolButton>

QString TCaptionedDBNavigator::Caption(Button b)
{
    static const char *const captions[] = {"First",  "Prior", "Next", "Last",  "Insert",
                                           "Delete", "Edit",  "Save", "Cancel"};
    return QString::fromLatin1(captions[b]);
}

QString TCaptionedDBNavigator::Hint(Button b)
{
    static const char *const hints[] = {"First record", "Prev record",   "Next record",
                                        "Last record",  "Insert record", "Delete record",
                                        "Edit record",  "Save changes",  "Cancel changes"};
    return QString::fromLatin1(hints[b]);
}

namespace {
QStyle::StandardPixmap glyph(TCaptionedDBNavigator::Button b)
{
    switch (b) {
    case TCaptionedDBNavigator::nbFirst:
        return QStyle::SP_MediaSkipBackward;
    case TCaptionedDBNavigator::nbPrior:
        return QStyle::SP_MediaSeekBackward;
    case TCaptionedDBNavigator::nbNext:
        return QStyle::SP_MediaSeekForward;
    case TCaptionedDBNavigator::nbLast:
        return QStyle::SP_MediaSkipForward;
    case TCaptionedDBNavigator::nbInsert:
        return QStyle::SP_FileDialogNewFolder;
    case TCaptionedDBNavigator::nbDelete:
        return QStyle::SP_TrashIcon;
    case TCaptionedDBNavigator::nbEdit:
        return QStyle::SP_FileDialogDetailedView;
    case TCaptionedDBNavigator::nbPost:
        return QStyle::SP_DialogApplyButton;
    case TCaptionedDBNavigator::nbCancel:
        return QStyle::SP_DialogCancelButton;
    }
    return QStyle::SP_CustomBase;
}
} // namespace

TCaptionedDBNavigator::TCaptionedDBNavigator(DataSource &source, Dialogs &dialogs, QList<Button> buttons,
                                             QWidget *parent)
    : QWidget(parent), m_source(&source), m_dialogs(&dialogs)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    for (Button b : buttons) {
        auto *btn = new QToolButton(this);
        btn->setObjectName(QStringLiteral("nav") + Caption(b));
        btn->setText(Caption(b));
        btn->setStatusTip(Hint(b));
        btn->setIcon(style()->standardIcon(glyph(b)));
        btn->setIconSize(QSize(16, 16));
        btn->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        btn->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        // The buttons take no focus, so a control being edited keeps it.
        btn->setFocusPolicy(Qt::NoFocus);
        connect(btn, &QToolButton::clicked, this, [this, b] { BtnClick(b); });
        row->addWidget(btn);
        m_buttons[b] = btn;
    }
    connect(&source, &DataSource::recordChanged, this, &TCaptionedDBNavigator::updateButtons);
    connect(&source, &DataSource::stateChanged, this, &TCaptionedDBNavigator::updateButtons);
    updateButtons();
}

QToolButton *TCaptionedDBNavigator::button(Button b) const
{
    auto it = m_buttons.find(b);
    return it == m_buttons.end() ? nullptr : it->second;
}

void TCaptionedDBNavigator::updateButtons()
{
    const TDbfTable &t = m_source->DataSet();
    const bool active = t.Active();
    const bool canModify = m_source->CanModify();
    const bool editing = m_source->Editing();
    const bool empty = !active || t.IsEmpty();
    // While the pass after open runs, more records follow the ones known.
    const bool loading = active && t.Loading();
    const qint64 count = active ? t.LoadedCount() : 0;
    const qint64 here = active ? t.VisibleIndexOf(t.GetBookmark()) : -1;
    // During an insert the new record is not in the visible list yet.
    const bool atFirst = empty || here == 0 || (here < 0 && !editing);
    const bool atLast = empty || (!loading && here == count - 1) || (here < 0 && !editing);
    auto set = [this](Button b, bool on) {
        if (QToolButton *btn = button(b))
            btn->setEnabled(on);
    };
    set(nbFirst, active && !atFirst);
    set(nbPrior, active && !atFirst);
    set(nbNext, active && !atLast);
    set(nbLast, active && !atLast);
    set(nbInsert, canModify);
    set(nbEdit, canModify && !editing);
    set(nbDelete, canModify && !empty);
    set(nbPost, editing);
    set(nbCancel, editing);
}

void TCaptionedDBNavigator::BtnClick(Button b)
{
    QToolButton *btn = button(b);
    if (!btn || !btn->isEnabled())
        return;
    try {
        act(b);
    } catch (...) {
        // Navigator errors are dropped on purpose; the table keeps its state.
    }
    updateButtons();
}

void TCaptionedDBNavigator::act(Button b)
{
    TDbfTable &t = m_source->DataSet();
    switch (b) {
    case nbFirst:
        m_source->first();
        break;
    case nbPrior:
        m_source->prior();
        break;
    case nbNext:
        m_source->next();
        break;
    case nbLast:
        m_source->last();
        break;
    case nbInsert:
        m_source->checkBrowseMode();
        t.Insert();
        break;
    case nbDelete:
        if (m_dialogs->messageBox(QStringLiteral("Delete a record?"), QStringLiteral("Confirm"),
                                  MsgButtons::OkCancel, MsgIcon::Question) == MsgResult::Ok) {
            m_source->checkBrowseMode();
            t.Delete();
            m_source->notifyDataSetChanged();
        }
        break;
    case nbEdit:
        t.Edit();
        break;
    case nbPost:
        m_source->post();
        break;
    case nbCancel:
        m_source->cancel();
        break;
    }
}
