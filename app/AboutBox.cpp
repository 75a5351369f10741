#include "app/AboutBox.h"

#include "platform/shell/Shell.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

QString TfrmAbout::websiteAddress()
{
    return QStringLiteral("https://brenvoy.example");
}

TfrmAbout::TfrmAbout(Shell &shell, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      m_shell(shell)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Brenvoy"));
    // The box was laid out for an 8 pt sans-serif dialog font.
    QFont f(QStringLiteral("MS Sans Serif"), 8);
    f.setFamilies(
        {QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    f.setStyleHint(QFont::SansSerif);
    setFont(f);
    setFixedSize(kClientWidth, kClientHeight);

    lblProduct = new QLabel(QStringLiteral("Brenvoy"), this);
    lblProduct->setObjectName(QStringLiteral("lblProduct"));
    QFont bold = f;
    bold.setPointSize(12);
    bold.setBold(true);
    lblProduct->setFont(bold);

    lblDescription = new QLabel(
        QStringLiteral("Calls, voice messages, e-mails and faxes\nfor your business contacts"), this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));

    lblNotice = new QLabel(QStringLiteral("Free software. Use at your own risk."), this);
    lblNotice->setObjectName(QStringLiteral("lblNotice"));

    lblWebsite = new QLabel(websiteAddress(), this);
    lblWebsite->setObjectName(QStringLiteral("lblWebsite"));
    lblWebsite->setTextInteractionFlags(Qt::TextSelectableByMouse);

    Button1 = new QPushButton(QStringLiteral("Visit Website"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

    for (QLabel *l : {lblProduct, lblDescription, lblNotice, lblWebsite}) {
        l->setAlignment(Qt::AlignHCenter);
        l->setWordWrap(true);
    }
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(lblProduct);
    layout->addWidget(lblDescription);
    layout->addStretch(1);
    layout->addWidget(lblNotice);
    layout->addWidget(lblWebsite);
    layout->addWidget(Button1, 0, Qt::AlignHCenter);
}

void TfrmAbout::Button1Click()
{
    // Whether a browser came up is not reported; the box closes either way.
    m_shell.ShellExecute(QStringLiteral("open"), websiteAddress(), QString(), QString(), ShowCommand::Normal);
    close();
}

void TfrmAbout::showEvent(QShowEvent *event)
{
    if (QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }
    QDialog::showEvent(event);
}
