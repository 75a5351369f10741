#pragma once

#include "app/WindowRegistry.h"
#include "telephony/CallController.h"

#include <QPoint>
#include <QSize>
#include <QWidget>

class QPushButton;

// The compact panel: the application's main window, a column of large
// buttons that run the main contact window's commands.
class TfrmSimple : public QWidget {
    Q_OBJECT
public:
    explicit TfrmSimple(WindowRegistry &registry, QWidget *parent = nullptr);

    // Start-up: the main window's FormShow, then the number list beside us.
    void FormShow();
    void FormHide();
    void btnMainClick();
    void btnDialClick();
    void btnNextClick();
    void btnPlayClick();
    void btnRecordClick();
    void btnEmailClick();
    void btnFaxClick();
    void btnScriptClick();
    void btnAbortClick();
    // The call state the main window's timer published.
    void applyCallState(const CallButtons &state);

    struct Placement {
        QPoint numberList;
        QPoint panel;
    };
    // The number list on the left, a 4-pixel gap, the pair centred
    // horizontally and the panel centred vertically (outer sizes).
    static Placement PlaceSideBySide(const QSize &screen, const QSize &panelOuter, const QSize &listOuter);

    QPushButton *btnMain = nullptr, *btnPlay = nullptr, *btnNext = nullptr, *btnDial = nullptr,
                *btnFax = nullptr, *btnScript = nullptr, *btnEmail = nullptr, *btnRecord = nullptr,
                *btnAbort = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    WindowRegistry *m_registry;
    bool m_shownOnce = false;
};
