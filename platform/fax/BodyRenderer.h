#pragma once

// Turns a document into fax pages: RTF, plain text, PDF, TIFF, PNG and JPEG,
// told apart by their content rather than their name.

#include <QImage>
#include <QString>
#include <vector>

namespace fax {

enum class BodyKind { Unknown, Rtf, PlainText, Pdf, Tiff, Png, Jpeg };

BodyKind detectBodyKind(const QString &path);

// Pages are Format_Grayscale8, kPageWidth wide. Throws EFaxError with a text
// naming the file and the reason when the document cannot be rendered.
std::vector<QImage> renderBody(const QString &path);

// The same for a document already in memory as RTF.
std::vector<QImage> renderRtf(const QByteArray &rtf);

} // namespace fax
