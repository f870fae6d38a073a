#pragma once
#include <QPointF>
#include <QRectF>
#include <QString>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace murmelo {

// One screen in points with the origin at the bottom-left of the first screen and y up.
// The auxiliary top areas are the menu-bar areas beside a camera housing; Linux screens
// have none.
struct ScreenInfo {
    QString name;
    QRectF frame;
    QRectF visibleFrame;
    double backingScaleFactor = 1;
    std::optional<QRectF> auxiliaryTopLeftArea;
    std::optional<QRectF> auxiliaryTopRightArea;
    bool operator==(const ScreenInfo&) const = default;
};

// The screens, the pointer over them and whether translucent windows can be composited.
class Screens {
public:
    virtual ~Screens() = default;
    // In the platform's order; the first is the one the coordinates start from.
    virtual std::vector<ScreenInfo> screens() const = 0;
    // The pointer in the same coordinates.
    virtual QPointF mouseLocation() const = 0;
    // Whether a compositing manager blends translucent windows.
    virtual bool compositing() const = 0;

    // Called on the main thread when a screen is added, removed or changes.
    int addChangeObserver(std::function<void()> observer);
    void removeChangeObserver(int id);

    // A rectangle of these coordinates in the windowing system's (top-left origin, y down).
    QRectF toNative(const QRectF& rect) const;

    static Screens& shared();
    static void install(Screens* screens);

protected:
    void notifyChanged();

private:
    std::map<int, std::function<void()>> observers_;
    int nextId_ = 1;
};

}  // namespace murmelo
