#pragma once
#include "ui/Water.h"

#include <QRectF>
#include <QWidget>
#include <functional>

class QHBoxLayout;
class QLabel;

namespace murmelo {

// --- Plain models: what each control shows, checked without a screen ---------------

// A caption: bold text in the strong caption colour.
struct CapModel {
    QString text;
    Water w;
    const QFont& font() const { return F::bold(); }
    QColor color() const { return w.capStrong(); }
};

// A switch drawing. Geometry is inside the track's own box, y up.
struct SwModel {
    bool on = false;
    Water w;

    QSizeF trackSize() const { return w.settings ? QSizeF(38, 22) : QSizeF(28, 16); }
    double knobDiameter() const { return w.settings ? 16 : 12; }
    double knobInset() const { return w.settings ? 3 : 2; }
    // The knob sits at the trailing end when on, the leading end when off.
    QRectF knobFrame() const;
    QColor trackColor() const { return on ? w.acc() : w.swOff(); }
    QColor knobColor() const { return on ? w.knobOn() : w.knob(); }
    // Shadow under the knob: black at this opacity, blur radius, offset downwards.
    double shadowOpacity() const { return w.settings ? 0.34 : 0; }
    double shadowRadius() const { return w.settings ? 2 : 0; }
    double shadowOffsetY() const { return w.settings ? 1 : 0; }
};

// A clickable row around any content, highlighted while the pointer is over it.
struct HoverRowModel {
    Water w;
    std::function<void()> action;
    bool over = false;

    static constexpr double padding = 7;
    static constexpr double spacing = 8;
    static constexpr double cornerRadius = 7;
    double height() const;
    QColor background() const { return over ? w.hover() : QColor(Qt::transparent); }
};

// A toggle row: icon, name, optional hint, spacer, switch.
struct TogRowModel {
    QString icon;
    QString name;
    QString hint;
    bool on = false;
    Water w;
    std::function<void()> action;
    bool over = false;

    static constexpr double padding = 6;
    static constexpr double spacing = 9;
    static constexpr double height = 29;
    static constexpr double iconWidth = 14;
    static constexpr double minSpacer = 4;
    static constexpr double cornerRadius = 6;

    QColor background() const { return over ? srgb(1, 1, 1, 0.05) : QColor(Qt::transparent); }
    QColor iconColor() const;
    QColor nameColor() const { return w.ink(); }
    QColor hintColor() const { return w.cap(); }
    SwModel sw() const { return {on, w}; }

    // Frames (y up, inside the row) for a row of the given width, with the natural widths
    // of the name and the hint: the hint gives way first, then the name.
    struct Layout {
        QRectF icon, name, hint, sw;
        bool showsHint = false;
    };
    Layout layout(double width, double nameWidth, double hintWidth) const;
};

// --- Widgets: they only draw their model ---------------------------------------

class Cap : public QWidget {
public:
    Cap(const QString& text, const Water& w, QWidget* parent = nullptr);
    CapModel model;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
};

class Sw : public QWidget {
public:
    Sw(bool on, const Water& w, QWidget* parent = nullptr);
    SwModel model;
    void setOn(bool on);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
};

// Paints a switch into a box of its track size whose top-left is at origin.
void paintSw(QPainter& painter, const SwModel& model, QPointF origin);

class HoverRow : public QWidget {
public:
    HoverRow(const Water& w, std::function<void()> action, QWidget* parent = nullptr);
    HoverRowModel model;
    // The content goes in here, left to right.
    QHBoxLayout* content() const { return content_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    QHBoxLayout* content_;
};

class TogRow : public QWidget {
public:
    TogRow(const QString& icon, const QString& name, const QString& hint, bool on, const Water& w,
           std::function<void()> action, QWidget* parent = nullptr);
    TogRowModel model;
    QSize sizeHint() const override;
    TogRowModel::Layout currentLayout() const;

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
};

}  // namespace murmelo
