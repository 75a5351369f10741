#include "platform/fax/FaxTiff.h"

#include "platform/fax/FaxError.h"

#include <QFile>
#include <tiffio.h>

#include <algorithm>
#include <memory>

namespace fax {

namespace {

// libtiff reports through global handlers; the file name and our own text
// are enough for the operator, so its messages are not printed.
void silentHandler(const char *, const char *, va_list) {}

struct Silence {
    Silence()
    {
        TIFFSetWarningHandler(silentHandler);
        TIFFSetErrorHandler(silentHandler);
    }
};

TIFF *openTiff(const QString &path, const char *mode)
{
    static Silence silence;
    return TIFFOpen(QFile::encodeName(path).constData(), mode);
}

// A document page bigger than this is not a page.
constexpr quint64 kMaxPixels = 60ull * 1000 * 1000;
constexpr quint32 kMaxSide = 60000;

} // namespace

struct FaxTiffWriter::Tiff {
    TIFF *tif = nullptr;
};

FaxTiffWriter::FaxTiffWriter(const QString &path, int totalPages)
    : m_tif(new Tiff), m_path(path), m_total(totalPages)
{
    m_tif->tif = openTiff(path, "w");
    if (!m_tif->tif) {
        delete m_tif;
        throw EFaxError(QStringLiteral("Cannot create the fax image file %1").arg(path));
    }
}

FaxTiffWriter::~FaxTiffWriter()
{
    if (m_tif->tif)
        TIFFClose(m_tif->tif);
    delete m_tif;
}

void FaxTiffWriter::startPage(int width, int height)
{
    TIFF *t = m_tif->tif;
    TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, quint32(width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, quint32(height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_LSB2MSB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, quint32(height));
    TIFFSetField(t, TIFFTAG_XRESOLUTION, float(kXDpi));
    TIFFSetField(t, TIFFTAG_YRESOLUTION, float(kYDpi));
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(t, TIFFTAG_PAGENUMBER, quint16(m_written), quint16(m_total < 0 ? 0 : m_total));
    TIFFSetField(t, TIFFTAG_SOFTWARE, "Brenvoy fax service");
}

void packRows(const QImage &gray, int first, int last, PackedPage &into, int at)
{
    const int w = gray.width(), stride = into.stride(), full = w / 8;
    for (int y = first; y <= last; ++y) {
        const uchar *src = gray.constScanLine(y);
        uchar *dst = into.bits.data() + size_t(at + y - first) * size_t(stride);
        // Eight pixels a byte, without a branch per pixel.
        for (int bx = 0; bx < full; ++bx) {
            const uchar *p = src + bx * 8;
            uchar b = 0;
            for (int k = 0; k < 8; ++k)
                b |= uchar((p[k] < 128) << (7 - k));
            dst[bx] = b;
        }
        if (full < stride) {
            uchar b = 0;
            for (int x = full * 8; x < w; ++x)
                b |= uchar((src[x] < 128) << (7 - (x & 7)));
            dst[full] = b;
        }
    }
}

PackedPage packPage(const QImage &page)
{
    const QImage gray =
        page.format() == QImage::Format_Grayscale8 ? page : page.convertToFormat(QImage::Format_Grayscale8);
    PackedPage out;
    out.width = gray.width();
    out.height = gray.height();
    out.bits.assign(size_t(out.stride()) * size_t(out.height), 0);
    if (out.height > 0)
        packRows(gray, 0, out.height - 1, out, 0);
    return out;
}

void FaxTiffWriter::addPage(const QImage &page)
{
    addPage(packPage(page));
}

void FaxTiffWriter::addPage(const PackedPage &page)
{
    startPage(page.width, page.height);
    // libtiff may change the row it is given; each row goes through a copy.
    std::vector<uchar> line(size_t(page.stride()));
    for (int y = 0; y < page.height; ++y) {
        std::copy_n(page.bits.data() + size_t(y) * line.size(), line.size(), line.data());
        if (TIFFWriteScanline(m_tif->tif, line.data(), quint32(y), 0) < 0)
            throw EFaxError(QStringLiteral("Cannot write the fax image file %1").arg(m_path));
    }
    if (!TIFFWriteDirectory(m_tif->tif))
        throw EFaxError(QStringLiteral("Cannot write the fax image file %1").arg(m_path));
    ++m_written;
}

void FaxTiffWriter::addPagesOf(const QString &faxTiffPath)
{
    std::unique_ptr<TIFF, void (*)(TIFF *)> in(openTiff(faxTiffPath, "r"), TIFFClose);
    if (!in)
        throw EFaxError(QStringLiteral("Cannot read the fax image file %1").arg(faxTiffPath));
    do {
        quint32 w = 0, h = 0;
        quint16 compression = 0;
        TIFFGetField(in.get(), TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(in.get(), TIFFTAG_IMAGELENGTH, &h);
        TIFFGetField(in.get(), TIFFTAG_COMPRESSION, &compression);
        if (compression != COMPRESSION_CCITTFAX4 || TIFFNumberOfStrips(in.get()) != 1 || w == 0 || h == 0)
            throw EFaxError(QStringLiteral("%1 is not a fax image file of this service").arg(faxTiffPath));
        const tmsize_t size = TIFFRawStripSize(in.get(), 0);
        if (size <= 0 || quint64(size) > kMaxPixels / 8)
            throw EFaxError(QStringLiteral("%1 is not a fax image file of this service").arg(faxTiffPath));
        std::vector<uchar> raw(static_cast<size_t>(size));
        if (TIFFReadRawStrip(in.get(), 0, raw.data(), size) != size)
            throw EFaxError(QStringLiteral("Cannot read the fax image file %1").arg(faxTiffPath));
        startPage(int(w), int(h));
        if (TIFFWriteRawStrip(m_tif->tif, 0, raw.data(), size) != size || !TIFFWriteDirectory(m_tif->tif))
            throw EFaxError(QStringLiteral("Cannot write the fax image file %1").arg(m_path));
        ++m_written;
    } while (TIFFReadDirectory(in.get()));
}

void FaxTiffWriter::close()
{
    TIFF *t = m_tif->tif;
    m_tif->tif = nullptr;
    if (!t)
        return;
    TIFFClose(t);
    if (m_total >= 0 && m_written != m_total)
        throw EFaxError(QStringLiteral("The fax image file %1 is incomplete").arg(m_path));
}

std::vector<TiffPage> readTiffPages(const QString &path, int maxPages)
{
    std::vector<TiffPage> pages;
    forEachTiffPage(path, maxPages, [&](const TiffPage &p) { pages.push_back(p); });
    return pages;
}

void forEachTiffPage(const QString &path, int maxPages, const std::function<void(const TiffPage &)> &fn)
{
    std::unique_ptr<TIFF, void (*)(TIFF *)> in(openTiff(path, "r"), TIFFClose);
    if (!in)
        throw EFaxError(QStringLiteral("%1 is not a readable TIFF image").arg(path));
    int count = 0;
    do {
        if (count >= maxPages)
            throw EFaxError(QStringLiteral("%1 has more than %2 pages").arg(path).arg(maxPages));
        quint32 w = 0, h = 0;
        TIFFGetField(in.get(), TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(in.get(), TIFFTAG_IMAGELENGTH, &h);
        if (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide || quint64(w) * h > kMaxPixels)
            throw EFaxError(QStringLiteral("%1 has a page of %2 x %3 pixels, too large for a fax")
                                .arg(path)
                                .arg(w)
                                .arg(h));
        std::vector<quint32> rgba(size_t(w) * h);
        if (!TIFFReadRGBAImageOriented(in.get(), w, h, rgba.data(), ORIENTATION_TOPLEFT, 0))
            throw EFaxError(QStringLiteral("%1 holds an image that cannot be read").arg(path));
        TiffPage page;
        page.image = QImage(int(w), int(h), QImage::Format_Grayscale8);
        for (quint32 y = 0; y < h; ++y) {
            uchar *dst = page.image.scanLine(int(y));
            const quint32 *src = rgba.data() + size_t(y) * w;
            for (quint32 x = 0; x < w; ++x) {
                const quint32 p = src[x];
                // Transparent pixels are paper.
                const int a = TIFFGetA(p);
                const int g = (TIFFGetR(p) * 11 + TIFFGetG(p) * 16 + TIFFGetB(p) * 5) / 32;
                dst[x] = uchar((g * a + 255 * (255 - a)) / 255);
            }
        }
        float xr = 0, yr = 0;
        quint16 unit = RESUNIT_INCH;
        TIFFGetFieldDefaulted(in.get(), TIFFTAG_RESOLUTIONUNIT, &unit);
        if (TIFFGetField(in.get(), TIFFTAG_XRESOLUTION, &xr) &&
            TIFFGetField(in.get(), TIFFTAG_YRESOLUTION, &yr) && unit != RESUNIT_NONE) {
            const double k = unit == RESUNIT_CENTIMETER ? 2.54 : 1.0;
            page.xDpi = xr * k;
            page.yDpi = yr * k;
        }
        ++count;
        fn(page);
    } while (TIFFReadDirectory(in.get()));
}

} // namespace fax
