#pragma once

#include <QWidget>
#include <functional>

// An indent marker on the fax editor's ruler: an arrow drawn in place of
// the Wingdings glyphs (0xEA down, 0xE9 up, 0xF1 outlined up) Linux lacks.
// Mouse events go to the window's handlers with x in marker coordinates.
class RulerMarker : public QWidget {
    Q_OBJECT
public:
    enum class Glyph { Down, Up, OutlineUp };
    RulerMarker(Glyph glyph, QWidget *parent);

    int Left() const { return x(); }
    void setLeft(int left) { move(left, y()); }

    std::function<void(RulerMarker *, int)> OnMouseDown;
    std::function<void(RulerMarker *, int)> OnMouseMove;
    std::function<void(RulerMarker *, int)> OnMouseUp;

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

private:
    Glyph m_glyph;
};
