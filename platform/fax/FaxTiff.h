#pragma once

// Fax pages on disk: multi-page TIFF class F (1 bit, CCITT group 4,
// 204 x 196 dpi, min-is-white), written and read with libtiff.

#include <QImage>
#include <QString>
#include <functional>
#include <vector>

namespace fax {

// A fax page is 1728 pixels wide at fine resolution; the length of an A4
// sheet at 196 lines per inch.
constexpr int kPageWidth = 1728;
constexpr int kPageHeight = 2292;
constexpr double kXDpi = 204.0;
constexpr double kYDpi = 196.0;

// A page as the fax line sends it: one bit per pixel, set for black, each
// row (width + 7) / 8 bytes, the leftmost pixel in the high bit.
struct PackedPage {
    int width = 0, height = 0;
    std::vector<uchar> bits;
    int stride() const { return (width + 7) / 8; }
};
// Dark pixels (below half grey) become black.
PackedPage packPage(const QImage &page);
// The same for rows first..last of a grayscale image into rows at+0.. of
// into, which must be as wide.
void packRows(const QImage &gray, int first, int last, PackedPage &into, int at);

// Grayscale page images (kPageWidth wide) go out as 1-bit pages; dark
// pixels become black.
class FaxTiffWriter {
public:
    // Throws EFaxError when the file cannot be created. totalPages -1: not
    // known yet (a file whose pages are copied into another later).
    FaxTiffWriter(const QString &path, int totalPages);
    ~FaxTiffWriter();
    FaxTiffWriter(const FaxTiffWriter &) = delete;
    FaxTiffWriter &operator=(const FaxTiffWriter &) = delete;

    void addPage(const QImage &page);
    void addPage(const PackedPage &page);
    // Copies every page of another fax TIFF of ours without decoding it,
    // so pages shared by many jobs are compressed once.
    void addPagesOf(const QString &faxTiffPath);
    // Throws EFaxError when the file could not be completed.
    void close();

private:
    void startPage(int width, int height);
    struct Tiff;
    Tiff *m_tif;
    QString m_path;
    int m_total;
    int m_written = 0;
};

// Pages of a TIFF file as grayscale images, at most maxPages of them.
// Throws EFaxError for a file that is not a readable TIFF or whose sizes are
// beyond what a document page can be.
struct TiffPage {
    QImage image;              // Format_Grayscale8
    double xDpi = 0, yDpi = 0; // 0 when the file does not say
};
std::vector<TiffPage> readTiffPages(const QString &path, int maxPages);
// The same, one page at a time.
void forEachTiffPage(const QString &path, int maxPages, const std::function<void(const TiffPage &)> &fn);

} // namespace fax
