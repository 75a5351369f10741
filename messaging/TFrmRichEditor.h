#pragma once

#include "messaging/RulerMarker.h"
#include "messaging/RulerPanel.h"
#include "messaging/UpDown.h"
#include "platform/richedit/RichEdit.h"

#include <QStringList>
#include <QWidget>
#include <functional>

class Dialogs;
class QAction;
class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QPrinter;
class QStatusBar;
class QToolBar;
class QToolButton;

// The fax editor: a rich-text editor for the fax body with its toolbars,
// ruler and status bar. Created once and kept for the run; the template
// window embeds it. Its document is read and written as RTF.
class TFrmRichEditor : public QWidget {
    Q_OBJECT
public:
    // arguments: the program's command line as QCoreApplication gives it
    // (the program first); the file named by the first argument is loaded
    // when the window is shown.
    TFrmRichEditor(Dialogs &dialogs, QStringList arguments, QWidget *parent = nullptr);

    // Controls, top to bottom.
    QToolBar *StandardToolBar;
    QToolBar *ToolBar1;
    QComboBox *FontName;
    QLineEdit *FontSize;
    UpDown *UpDown2;
    QToolButton *BoldButton;
    QToolButton *ItalicButton;
    QToolButton *UnderlineButton;
    QToolButton *LeftAlign;
    QToolButton *CenterAlign;
    QToolButton *RightAlign;
    QToolButton *BulletsButton;
    RulerPanel *Ruler;
    RulerMarker *FirstInd;
    RulerMarker *LeftInd;
    RulerMarker *RightInd;
    QFrame *RulerLine;
    QFrame *Bevel1;
    RichEdit *Editor;
    QStatusBar *StatusBar;
    QLabel *StatusPanels[3];

    QAction *FileNewCmd;
    QAction *FileOpenCmd;
    QAction *FileSaveCmd;
    QAction *FileSaveAsCmd;
    QAction *FilePrintCmd;
    QAction *FileExitCmd;
    QAction *EditUndoCmd;
    QAction *EditCutCmd;
    QAction *EditCopyCmd;
    QAction *EditPasteCmd;

    // The print dialog; true when the operator chose to print. Replaceable
    // so tests print to a file without a modal dialog.
    std::function<bool(QPrinter &)> PrintDialogExecute;

    QString FileName() const { return m_fileName; }
    bool Updating() const { return m_updating; }

    // Action handlers.
    void FileNew();
    void FileOpen();
    void FileSave();
    void FileSaveAs();
    void FilePrint();
    void FileExit();
    void EditUndo();
    void EditCut();
    void EditCopy();
    void EditPaste();

    // Formatting handlers; they do nothing while the toolbar is updating.
    void FontNameChange();
    void FontSizeChange();
    void BoldButtonClick();
    void ItalicButtonClick();
    void UnderlineButtonClick();
    void AlignButtonClick(QToolButton *button);
    void BulletsButtonClick();

    // Ruler handlers: the three markers share down and move.
    void RulerItemMouseDown(RulerMarker *marker, int x);
    void RulerItemMouseMove(RulerMarker *marker, int x);
    void FirstIndMouseUp();
    void LeftIndMouseUp();
    void RightIndMouseUp();
    void RulerResize();

    // Brings the toolbar, ruler and caret position in line with the selection.
    void SelectionChange();
    void EditorChange();
    void UpdateCursorPos();
    void ActionUpdate();

    // Loads a file into the editor (Open, a drop, the start-up argument).
    void PerformFileOpen(const QString &path);
    // The save offer: false when the operator cancelled the calling command.
    bool CheckFileSave();
    // Files dropped on the window or the editor: the first one is opened.
    void FilesDropped(const QStringList &files);

protected:
    void showEvent(QShowEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void dragEnterEvent(QDragEnterEvent *e) override;
    void dropEvent(QDropEvent *e) override;

private:
    void SetFileName(const QString &name);
    void SetEditRect();
    void applyCharFormat(const QTextCharFormat &modifier);
    void run(const std::function<void()> &handler);

    Dialogs &m_dialogs;
    QStringList m_arguments;
    bool m_argumentLoaded = false;
    QString m_fileName;
    QString m_dialogFolder;
    bool m_updating = false;
    bool m_dragging = false;
    int m_dragOfs = 0;
    QButtonGroup *m_alignGroup;
};
