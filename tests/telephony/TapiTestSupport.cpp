#include "tests/telephony/TapiTestSupport.h"

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
    auto le32 = [](quint32 v) {
        QByteArray b(4, 0);
        qToLittleEndian(v, b.data());
        return b;
    };
    auto le16 = [](quint16 v) {
        QByteArray b(2, 0);
        qToLittleEndian(v, b.data());
        return b;
    };
    const int block = channels * bits / 8;
    QByteArray fmt = le16(1) + le16(quint16(channels)) + le32(quint32(rate)) + le32(quint32(rate * block)) +
                     le16(quint16(block)) + le16(quint16(bits));
    QByteArray body = "WAVE" + QByteArray("fmt ") + le32(quint32(fmt.size())) + fmt + "data" +
                      le32(quint32(data.size())) + data;
    if (data.size() % 2)
        body += '\0';
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("RIFF" + le32(quint32(body.size())) + body);
}

QByteArray rampSamples(int count, int seed)
{
    QByteArray out(count * 2, Qt::Uninitialized);
    for (int i = 0; i < count; ++i)
        qToLittleEndian(qint16(((i * 7 + seed) % 20000) - 10000), out.data() + 2 * i);
    return out;
}
