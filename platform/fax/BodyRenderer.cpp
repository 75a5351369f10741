#include "platform/fax/BodyRenderer.h"

#include "platform/fax/FaxError.h"
#include "platform/fax/FaxTiff.h"
#include "platform/richedit/RtfReader.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QStringDecoder>
#include <QTextDocument>
#include <QTextFrame>

#include <poppler-qt6.h>

#include <memory>

namespace fax {

namespace {

// What a document may bring: beyond these it is not a fax.
constexpr int kMaxPages = 500;
constexpr qint64 kMaxTextFile = 16ll << 20;
constexpr int kMaxImageSide = 30000;

// Rich and plain text are laid out on a page at 96 dpi and drawn scaled to
// the fax resolution, which keeps the indents of the rich-text layer.
constexpr double kLayoutDpi = 96.0;
constexpr double kMargin = 0.6 * kLayoutDpi;

EFaxError cannotRender(const QString &path, const QString &why)
{
    return EFaxError(QStringLiteral("The fax document %1 cannot be rendered: %2").arg(path, why));
}

QImage blankPage(int height = kPageHeight)
{
    QImage page(kPageWidth, height, QImage::Format_Grayscale8);
    page.fill(255);
    return page;
}

int renderDocument(QTextDocument &doc, const PageSink &sink)
{
    // Layout in a device of its own so the result does not follow the screen.
    QImage device(1, 1, QImage::Format_Grayscale8);
    device.setDotsPerMeterX(qRound(kLayoutDpi / 0.0254));
    device.setDotsPerMeterY(qRound(kLayoutDpi / 0.0254));
    doc.documentLayout()->setPaintDevice(&device);
    const QSizeF pageSize(kPageWidth * kLayoutDpi / kXDpi, kPageHeight * kLayoutDpi / kYDpi);
    QTextFrameFormat root = doc.rootFrame()->frameFormat();
    root.setMargin(kMargin);
    doc.rootFrame()->setFrameFormat(root);
    doc.setPageSize(pageSize);
    const int count = doc.pageCount();
    if (count > kMaxPages)
        throw EFaxError(
            QStringLiteral("The fax document has %1 pages, more than %2").arg(count).arg(kMaxPages));
    for (int i = 0; i < count; ++i) {
        QImage page = blankPage();
        QPainter p(&page);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.scale(kXDpi / kLayoutDpi, kYDpi / kLayoutDpi);
        p.translate(0, -i * pageSize.height());
        QAbstractTextDocumentLayout::PaintContext ctx;
        ctx.clip = QRectF(0, i * pageSize.height(), pageSize.width(), pageSize.height());
        ctx.palette.setColor(QPalette::Text, Qt::black);
        p.setClipRect(ctx.clip);
        doc.documentLayout()->draw(&p, ctx);
        p.end();
        sink(page);
    }
    return count;
}

// An image of some resolution on fax pages: scaled to the fine resolution,
// at most a page wide, cut into pages when longer than one.
void addImagePages(const QImage &source, double xDpi, double yDpi, const PageSink &sink, int &count)
{
    QImage img = source.convertToFormat(QImage::Format_Grayscale8);
    // Without a resolution an image is taken as made for the page's width.
    double sx = xDpi > 10 ? kXDpi / xDpi : double(kPageWidth) / img.width();
    double sy = yDpi > 10 ? kYDpi / yDpi : sx * kYDpi / kXDpi;
    if (img.width() * sx > kPageWidth) {
        const double k = kPageWidth / (img.width() * sx);
        sx *= k;
        sy *= k;
    }
    const int w = qMax(1, qRound(img.width() * sx));
    const int h = qMax(1, qRound(img.height() * sy));
    if (h > kMaxPages * kPageHeight)
        throw EFaxError(QStringLiteral("An image of the fax document is too long"));
    if (w != img.width() || h != img.height())
        img = img.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    for (int top = 0; top < h; top += kPageHeight) {
        if (count >= kMaxPages)
            throw EFaxError(QStringLiteral("The fax document has more than %1 pages").arg(kMaxPages));
        QImage page = blankPage();
        QPainter p(&page);
        p.drawImage(QPoint((kPageWidth - w) / 2, 0), img, QRect(0, top, w, qMin(kPageHeight, h - top)));
        p.end();
        sink(page);
        ++count;
    }
}

int renderPdf(const QString &path, const PageSink &sink)
{
    // Poppler's complaints about a broken file end up in our own text.
    static const bool quiet = [] {
        Poppler::setDebugErrorFunction([](const QString &, const QVariant &) {}, QVariant());
        return true;
    }();
    Q_UNUSED(quiet);
    std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(path);
    if (!doc)
        throw cannotRender(path, QStringLiteral("not a readable PDF file"));
    if (doc->isLocked())
        throw cannotRender(path, QStringLiteral("the PDF file is password protected"));
    const int n = doc->numPages();
    if (n <= 0)
        throw cannotRender(path, QStringLiteral("the PDF file has no pages"));
    if (n > kMaxPages)
        throw cannotRender(path, QStringLiteral("more than %1 pages").arg(kMaxPages));
    doc->setRenderHint(Poppler::Document::Antialiasing);
    doc->setRenderHint(Poppler::Document::TextAntialiasing);
    for (int i = 0; i < n; ++i) {
        std::unique_ptr<Poppler::Page> page = doc->page(i);
        if (!page)
            throw cannotRender(path, QStringLiteral("page %1 cannot be read").arg(i + 1));
        const QSizeF pt = page->pageSizeF();
        if (pt.width() < 1 || pt.height() < 1)
            throw cannotRender(path, QStringLiteral("page %1 has no size").arg(i + 1));
        // Narrow pages keep their size; wider ones shrink to the fax width.
        const double xres = qMin(kXDpi, kPageWidth / (pt.width() / 72.0));
        const double yres = xres * kYDpi / kXDpi;
        const int h = qMin(int(pt.height() / 72.0 * yres + 0.5), kPageHeight * 2);
        QImage img =
            page->renderToImage(xres, yres, 0, 0, qMin(kPageWidth, int(pt.width() / 72.0 * xres + 0.5)), h);
        if (img.isNull())
            throw cannotRender(path, QStringLiteral("page %1 cannot be drawn").arg(i + 1));
        QImage out = blankPage(qMax(kPageHeight, img.height()));
        QPainter p(&out);
        p.drawImage(QPoint((kPageWidth - img.width()) / 2, 0),
                    img.convertToFormat(QImage::Format_Grayscale8));
        p.end();
        sink(out);
    }
    return n;
}

int renderImage(const QString &path, const PageSink &sink)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!size.isValid())
        throw cannotRender(path, reader.errorString());
    if (size.width() > kMaxImageSide || size.height() > kMaxImageSide)
        throw cannotRender(
            path,
            QStringLiteral("an image of %1 x %2 pixels is too large").arg(size.width()).arg(size.height()));
    QImageReader::setAllocationLimit(1024);
    const QImage img = reader.read();
    if (img.isNull())
        throw cannotRender(path, reader.errorString());
    const auto dpi = [](int dpm) { return dpm > 0 ? dpm * 0.0254 : 0.0; };
    // Screen resolutions (72 or 96 dpi, what most writers put by default)
    // say nothing about paper: such an image is fitted to the page.
    double xd = dpi(img.dotsPerMeterX()), yd = dpi(img.dotsPerMeterY());
    if (xd < 100 || yd < 100)
        xd = yd = 0;
    int count = 0;
    addImagePages(img, xd, yd, sink, count);
    return count;
}

int renderTiff(const QString &path, const PageSink &sink)
{
    int count = 0;
    try {
        forEachTiffPage(path, kMaxPages,
                        [&](const TiffPage &tp) { addImagePages(tp.image, tp.xDpi, tp.yDpi, sink, count); });
    } catch (const EFaxError &e) {
        throw cannotRender(path, e.text());
    }
    return count;
}

bool looksLikeText(const QByteArray &data)
{
    if (data.contains('\0'))
        return false;
    int control = 0;
    for (char c : data) {
        const uchar u = uchar(c);
        if (u < 0x20 && u != '\n' && u != '\r' && u != '\t' && u != '\f')
            ++control;
    }
    return control * 100 <= data.size();
}

QByteArray readAll(const QString &path, qint64 limit)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw cannotRender(path, QFileInfo::exists(path) ? f.errorString()
                                                         : QStringLiteral("the file does not exist"));
    if (f.size() > limit)
        throw cannotRender(path, QStringLiteral("the file is too large"));
    return f.readAll();
}

} // namespace

BodyKind detectBodyKind(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return BodyKind::Unknown;
    const QByteArray head = f.read(4096);
    if (rtf::isRtf(head))
        return BodyKind::Rtf;
    if (head.startsWith("%PDF-"))
        return BodyKind::Pdf;
    if (head.startsWith("II*\0") || head.startsWith(QByteArray("MM\0*", 4)))
        return BodyKind::Tiff;
    if (head.startsWith("\x89PNG\r\n\x1a\n"))
        return BodyKind::Png;
    if (head.startsWith("\xFF\xD8\xFF"))
        return BodyKind::Jpeg;
    if (!head.isEmpty() && looksLikeText(head))
        return BodyKind::PlainText;
    return BodyKind::Unknown;
}

std::vector<QImage> renderRtf(const QByteArray &rtfData)
{
    QTextDocument doc;
    rtf::read(rtfData, doc);
    std::vector<QImage> pages;
    renderDocument(doc, [&](const QImage &page) { pages.push_back(page); });
    return pages;
}

int renderBody(const QString &path, const PageSink &sink)
{
    if (!QFileInfo(path).isFile())
        throw cannotRender(path, QStringLiteral("the file does not exist"));
    switch (detectBodyKind(path)) {
    case BodyKind::Rtf: {
        QTextDocument doc;
        rtf::read(readAll(path, kMaxTextFile), doc);
        return renderDocument(doc, sink);
    }
    case BodyKind::PlainText: {
        const QByteArray data = readAll(path, kMaxTextFile);
        auto utf8 = QStringDecoder(QStringDecoder::Utf8);
        QString text = utf8.decode(data);
        // Not UTF-8: the older files of an office are Windows-1252 or Latin-1.
        if (utf8.hasError())
            text = QString::fromLatin1(data);
        if (!looksLikeText(data))
            throw cannotRender(path, QStringLiteral("not a text file"));
        QTextDocument doc;
        QFont font(QStringLiteral("DejaVu Sans Mono"));
        font.setPointSize(10);
        doc.setDefaultFont(font);
        doc.setPlainText(text);
        return renderDocument(doc, sink);
    }
    case BodyKind::Pdf:
        return renderPdf(path, sink);
    case BodyKind::Tiff:
        return renderTiff(path, sink);
    case BodyKind::Png:
    case BodyKind::Jpeg:
        return renderImage(path, sink);
    case BodyKind::Unknown:
        break;
    }
    throw cannotRender(path, QStringLiteral("its type is not one the fax service can send "
                                            "(RTF, text, PDF, TIFF, PNG or JPEG)"));
}

} // namespace fax
