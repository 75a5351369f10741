#include "tests/telephony/TapiTestSupport.h"

#include "tests/support/RiffBytes.h"

#include "telephony/TDeviceSelectionForm.h"

#include <QtEndian>

std::shared_ptr<SelectionAnswer> answerDeviceSelection(const QString &choice)
{
    auto answer = std::make_shared<SelectionAnswer>();
    QTimer::singleShot(0, [answer, choice] {
        auto *form = dynamic_cast<TDeviceSelectionForm *>(QApplication::activeModalWidget());
        for (QWidget *w : QApplication::topLevelWidgets())
            if (!form && w->isVisible())
                form = dynamic_cast<TDeviceSelectionForm *>(w);
        if (!form)
            return;
        answer->shown = true;
        for (int i = 0; i < form->lbDevices->count(); ++i)
            answer->listed << form->lbDevices->item(i)->text();
        answer->preselected = form->selectedEntry();
        const auto items = form->lbDevices->findItems(choice, Qt::MatchExactly);
        if (choice.isEmpty() || items.isEmpty()) {
            form->btnCancel->click();
            return;
        }
        form->lbDevices->setCurrentItem(items.first());
        form->btnOK->click();
    });
    return answer;
}

void writeWaveFile(const QString &path, int rate, int channels, int bits, const QByteArray &data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(waveFileBytes(1, rate, channels, bits, data));
}

QByteArray rampSamples(int count, int seed)
{
    QByteArray out(count * 2, Qt::Uninitialized);
    for (int i = 0; i < count; ++i)
        qToLittleEndian(qint16(((i * 7 + seed) % 20000) - 10000), out.data() + 2 * i);
    return out;
}
