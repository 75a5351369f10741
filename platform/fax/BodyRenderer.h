#pragma once

// Turns a document into fax pages: RTF, plain text, PDF, TIFF, PNG and JPEG,
// told apart by their content rather than their name.

#include <QImage>
#include <QString>
#include <functional>
#include <vector>

namespace fax {

enum class BodyKind { Unknown, Rtf, PlainText, Pdf, Tiff, Png, Jpeg };

BodyKind detectBodyKind(const QString &path);

// Receives each page as it is rendered, so a long document is never held
// whole: Format_Grayscale8, kPageWidth wide.
using PageSink = std::function<void(const QImage &page)>;

// Returns the number of pages. Throws EFaxError with a text naming the file
// and the reason when the document cannot be rendered.
int renderBody(const QString &path, const PageSink &sink);

// The pages of a document in memory as RTF.
std::vector<QImage> renderRtf(const QByteArray &rtf);

} // namespace fax
