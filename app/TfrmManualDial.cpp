#include "app/TfrmManualDial.h"

#include "app/TfrmMain.h"
#include "ui/ErrorGuard.h"
#include "ui/Fonts.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

TfrmManualDial::TfrmManualDial(WindowRegistry &registry, QWidget *parent)
    : QWidget(parent, Qt::Window), m_registry(&registry)
{
    setObjectName(QStringLiteral("frmManualDial"));
    setWindowTitle(QStringLiteral("Manual Dial"));
    setFont(windowsUiFont(8));
    setFixedSize(250, 80);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    QFont courier(QStringLiteral("Courier New"));
    courier.setStyleHint(QFont::TypeWriter);
    courier.setPointSize(10);
    courier.setBold(true);
    Edit1->setFont(courier);
    Edit1->setGeometry(12, 12, 226, 24);
    Button1 = new QPushButton(QStringLiteral("Dial"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(87, 44, 75, 25);
    connect(Button1, &QPushButton::clicked, this,
            [this] { guard(*m_registry->dialogs, [this] { Button1Click(); }); });
}

void TfrmManualDial::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (const QScreen *s = QGuiApplication::primaryScreen()) {
        const QRect r = s->availableGeometry();
        move(r.x() + (r.width() - frameGeometry().width()) / 2,
             r.y() + (r.height() - frameGeometry().height()) / 2);
    }
}

void TfrmManualDial::Button1Click()
{
    if (m_registry->frmMain)
        m_registry->frmMain->calls().DialManualNumber(Edit1->text());
}
