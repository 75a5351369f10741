#pragma once

// Cover pages: the service's generic one and cover page files of our own
// (JSON, ".bcp"). A cover page is a list of boxes on the page, each holding
// fixed text or one field filled in at sending.

#include "platform/fax/FaxTiff.h"

#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QVector>

namespace fax {

// The fields a cover page can show; names as stored in the file.
QStringList coverPageFields();
// The caption the editor shows for a field ("Recipient name", ...).
QString coverPageFieldCaption(const QString &field);

struct CoverPageItem {
    bool isField = false;
    QString text; // fixed text, or the field name
    QRect rect;   // in page pixels (kPageWidth x kPageHeight)
    int pointSize = 12;
    bool bold = false;
    bool operator==(const CoverPageItem &) const = default;
};

struct CoverPageValues {
    QString recipient, recipientFax, sender, senderFax, senderCompany, senderPhone, subject, note, date;
    int pages = 0;
    QString value(const QString &field) const;
};

class CoverPage {
public:
    QVector<CoverPageItem> items;

    static CoverPage generic();
    // Throws EFaxError with a text naming the file when it is missing or not
    // a cover page of ours.
    static CoverPage load(const QString &path);
    // Throws EFaxError when the file cannot be written.
    void save(const QString &path) const;

    // One grayscale page, kPageWidth x kPageHeight.
    QImage render(const CoverPageValues &values) const;
};

// A cover page for many recipients of one submission: everything but the
// recipient's own fields is drawn and packed once; each recipient's page
// only draws and packs the rows those fields lie in. Each page equals
// render() with the same values.
class PreparedCoverPage {
public:
    // shared: the values every recipient's page shows (the recipient fields
    // are ignored).
    PreparedCoverPage(const CoverPage &cover, const CoverPageValues &shared);
    PackedPage pageFor(const QString &recipient, const QString &recipientFax) const;

private:
    CoverPage m_cover;
    CoverPageValues m_values;
    QImage m_base;                        // without the recipient fields
    PackedPage m_packed;                  // m_base packed
    int m_bandTop = 0, m_bandBottom = -1; // rows the recipient fields may touch
};

} // namespace fax
