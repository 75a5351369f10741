#include "platform/richedit/RtfReader.h"
#include "platform/richedit/RtfWriter.h"

#include <QGuiApplication>
#include <QTextDocument>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Any bytes: the reader must neither crash nor hang, and what it read must
// survive our writer and reader with the same text.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QTextDocument doc;
    rtf::read(input, doc);
    QTextDocument again;
    rtf::read(rtf::write(doc), again);
    if (again.toPlainText() != doc.toPlainText()) {
        fprintf(stderr, "first read:  %s\nsecond read: %s\n",
                qPrintable(doc.toPlainText().toUtf8().toPercentEncoding(" ")),
                qPrintable(again.toPlainText().toUtf8().toPercentEncoding(" ")));
        abort();
    }
    return 0;
}
