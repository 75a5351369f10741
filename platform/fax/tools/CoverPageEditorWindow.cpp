#include "platform/fax/tools/CoverPageEditorWindow.h"

#include "platform/fax/FaxError.h"
#include "platform/fax/FaxTiff.h"
#include "platform/fax/tools/ButtonRow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

const char *const kFilter = "Cover pages (*.bcp);;All files (*)";

QString describe(const fax::CoverPageItem &it)
{
    return it.isField ? QStringLiteral("[%1]").arg(fax::coverPageFieldCaption(it.text)) : it.text;
}

// What the preview fills the fields with.
fax::CoverPageValues sampleValues()
{
    fax::CoverPageValues v;
    v.recipient = QStringLiteral("Recipient Name");
    v.recipientFax = QStringLiteral("555-0100");
    v.sender = QStringLiteral("Sender Name");
    v.senderFax = QStringLiteral("555-0199");
    v.senderCompany = QStringLiteral("Sender Company");
    v.senderPhone = QStringLiteral("555-0198");
    v.subject = QStringLiteral("Subject of the fax");
    v.note = QStringLiteral("A note to the recipient.");
    v.date = QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
    v.pages = 2;
    return v;
}

} // namespace

CoverPageEditorWindow::CoverPageEditorWindow(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("CoverPageEditorWindow"));
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&New"), this, &CoverPageEditorWindow::newFromGeneric);
    file->addAction(QStringLiteral("&Open..."), QKeySequence::Open, this, &CoverPageEditorWindow::open);
    file->addAction(QStringLiteral("&Save"), QKeySequence::Save, this, &CoverPageEditorWindow::save);
    file->addAction(QStringLiteral("Save &As..."), this, &CoverPageEditorWindow::saveAs);
    file->addSeparator();
    file->addAction(QStringLiteral("E&xit"), this, &QWidget::close);

    auto *central = new QWidget(this);
    auto *row = new QHBoxLayout(central);
    auto *left = new QVBoxLayout;
    lstItems = new QListWidget(central);
    lstItems->setObjectName(QStringLiteral("lstItems"));
    left->addWidget(lstItems);
    auto *buttons = new QHBoxLayout;
    const auto button = [&](const QString &text, const char *name) {
        return fax::addRowButton(buttons, central, text, name);
    };
    btnAddText = button(QStringLiteral("Add &Text"), "btnAddText");
    btnAddField = button(QStringLiteral("Add &Field"), "btnAddField");
    btnRemove = button(QStringLiteral("&Remove"), "btnRemove");
    left->addLayout(buttons);

    auto *form = new QFormLayout;
    editText = new QLineEdit(central);
    editText->setObjectName(QStringLiteral("editText"));
    cbField = new QComboBox(central);
    cbField->setObjectName(QStringLiteral("cbField"));
    for (const QString &f : fax::coverPageFields())
        cbField->addItem(fax::coverPageFieldCaption(f), f);
    auto spin = [&](const char *name, int max) {
        auto *s = new QSpinBox(central);
        s->setObjectName(QLatin1String(name));
        s->setRange(0, max);
        return s;
    };
    spinX = spin("spinX", fax::kPageWidth - 1);
    spinY = spin("spinY", fax::kPageHeight - 1);
    spinWidth = spin("spinWidth", fax::kPageWidth);
    spinHeight = spin("spinHeight", fax::kPageHeight);
    spinSize = spin("spinSize", 200);
    spinSize->setMinimum(4);
    chkBold = new QCheckBox(QStringLiteral("Bold"), central);
    chkBold->setObjectName(QStringLiteral("chkBold"));
    form->addRow(QStringLiteral("Text:"), editText);
    form->addRow(QStringLiteral("Field:"), cbField);
    form->addRow(QStringLiteral("Left:"), spinX);
    form->addRow(QStringLiteral("Top:"), spinY);
    form->addRow(QStringLiteral("Width:"), spinWidth);
    form->addRow(QStringLiteral("Height:"), spinHeight);
    form->addRow(QStringLiteral("Font size:"), spinSize);
    form->addRow(QString(), chkBold);
    left->addLayout(form);
    row->addLayout(left);

    lblPreview = new QLabel(central);
    lblPreview->setObjectName(QStringLiteral("lblPreview"));
    lblPreview->setFrameShape(QFrame::Box);
    row->addWidget(lblPreview);
    setCentralWidget(central);

    connect(lstItems, &QListWidget::currentRowChanged, this, &CoverPageEditorWindow::showItem);
    connect(btnAddText, &QPushButton::clicked, this, &CoverPageEditorWindow::addText);
    connect(btnAddField, &QPushButton::clicked, this, &CoverPageEditorWindow::addField);
    connect(btnRemove, &QPushButton::clicked, this, &CoverPageEditorWindow::removeItem);
    connect(editText, &QLineEdit::textEdited, this, &CoverPageEditorWindow::itemEdited);
    connect(cbField, &QComboBox::activated, this, &CoverPageEditorWindow::itemEdited);
    for (QSpinBox *s : {spinX, spinY, spinWidth, spinHeight, spinSize})
        connect(s, &QSpinBox::valueChanged, this, &CoverPageEditorWindow::itemEdited);
    connect(chkBold, &QCheckBox::toggled, this, &CoverPageEditorWindow::itemEdited);

    newFromGeneric();
}

void CoverPageEditorWindow::newFromGeneric()
{
    m_page = fax::CoverPage::generic();
    m_file.clear();
    showItems();
}

bool CoverPageEditorWindow::openFile(const QString &path)
{
    try {
        m_page = fax::CoverPage::load(path);
    } catch (const EFaxError &e) {
        QMessageBox::warning(this, windowTitle(), e.text());
        return false;
    }
    m_file = path;
    showItems();
    return true;
}

bool CoverPageEditorWindow::saveTo(const QString &path)
{
    try {
        m_page.save(path);
    } catch (const EFaxError &e) {
        QMessageBox::warning(this, windowTitle(), e.text());
        return false;
    }
    m_file = path;
    updateTitle();
    return true;
}

void CoverPageEditorWindow::open()
{
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("Open Cover Page"), m_file, QLatin1String(kFilter));
    if (!path.isEmpty())
        openFile(path);
}

void CoverPageEditorWindow::save()
{
    if (m_file.isEmpty())
        saveAs();
    else
        saveTo(m_file);
}

void CoverPageEditorWindow::saveAs()
{
    QFileDialog dlg(this, QStringLiteral("Save Cover Page As"), m_file, QLatin1String(kFilter));
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setDefaultSuffix(QStringLiteral("bcp"));
    if (dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty())
        saveTo(dlg.selectedFiles().first());
}

void CoverPageEditorWindow::addText()
{
    m_page.items << fax::CoverPageItem{false, QStringLiteral("Text"), QRect(150, 1800, 1400, 100), 14, false};
    showItems();
    lstItems->setCurrentRow(int(m_page.items.size()) - 1);
}

void CoverPageEditorWindow::addField()
{
    m_page.items << fax::CoverPageItem{true, QStringLiteral("subject"), QRect(150, 1950, 1400, 100), 14,
                                       false};
    showItems();
    lstItems->setCurrentRow(int(m_page.items.size()) - 1);
}

void CoverPageEditorWindow::removeItem()
{
    const int row = lstItems->currentRow();
    if (row < 0 || row >= m_page.items.size())
        return;
    m_page.items.removeAt(row);
    showItems();
    lstItems->setCurrentRow(qMin(row, int(m_page.items.size()) - 1));
}

void CoverPageEditorWindow::showItems()
{
    m_loading = true;
    lstItems->clear();
    for (const fax::CoverPageItem &it : m_page.items)
        lstItems->addItem(describe(it));
    m_loading = false;
    showItem();
    updatePreview();
    updateTitle();
}

void CoverPageEditorWindow::showItem()
{
    const int row = lstItems->currentRow();
    const bool has = row >= 0 && row < m_page.items.size();
    for (QWidget *w : std::initializer_list<QWidget *>{editText, cbField, spinX, spinY, spinWidth, spinHeight,
                                                       spinSize, chkBold, btnRemove})
        w->setEnabled(has);
    if (!has)
        return;
    m_loading = true;
    const fax::CoverPageItem &it = m_page.items[row];
    editText->setEnabled(!it.isField);
    cbField->setEnabled(it.isField);
    editText->setText(it.isField ? QString() : it.text);
    cbField->setCurrentIndex(it.isField ? cbField->findData(it.text) : -1);
    spinX->setValue(it.rect.x());
    spinY->setValue(it.rect.y());
    spinWidth->setValue(it.rect.width());
    spinHeight->setValue(it.rect.height());
    spinSize->setValue(it.pointSize);
    chkBold->setChecked(it.bold);
    m_loading = false;
}

void CoverPageEditorWindow::itemEdited()
{
    const int row = lstItems->currentRow();
    if (m_loading || row < 0 || row >= m_page.items.size())
        return;
    fax::CoverPageItem &it = m_page.items[row];
    if (it.isField)
        it.text = cbField->currentData().toString();
    else
        it.text = editText->text();
    // Boxes stay on the page, as a saved file must have them.
    const int x = spinX->value(), y = spinY->value();
    it.rect = QRect(x, y, qBound(1, spinWidth->value(), fax::kPageWidth - x),
                    qBound(1, spinHeight->value(), fax::kPageHeight - y));
    it.pointSize = spinSize->value();
    it.bold = chkBold->isChecked();
    lstItems->item(row)->setText(describe(it));
    updatePreview();
}

void CoverPageEditorWindow::updatePreview()
{
    const QImage page = m_page.render(sampleValues());
    lblPreview->setPixmap(
        QPixmap::fromImage(page.scaled(fax::kPageWidth / 3, int(fax::kPageHeight / 3 * 204.0 / 196.0),
                                       Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
}

void CoverPageEditorWindow::updateTitle()
{
    setWindowTitle(QStringLiteral("Fax Cover Page Editor - %1")
                       .arg(m_file.isEmpty() ? QStringLiteral("Untitled") : QFileInfo(m_file).fileName()));
}
