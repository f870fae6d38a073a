#pragma once
#include <QImage>
#include <QWidget>
#include <memory>

class QVariantAnimation;

namespace murmelo {

class WindowVisibility;

// The application's animated orb mark: a slowly turning colour ring around a softly breathing
// blue core, at any size (lengths scale from 84 points). An animated logo moves only while its
// window can be seen; hiding the window puts it at rest, showing it starts both motions again
// from rest. Main thread only.
class OrbLogo : public QWidget {
public:
    explicit OrbLogo(double size = 84, bool animated = true, QWidget* parent = nullptr);
    ~OrbLogo() override;

    double logoSize() const { return size_; }
    bool animated() const { return animated_; }
    // Whether the logo's window is visible (as the probe last said).
    bool running() const { return running_; }
    bool hasProbe() const { return probe_ != nullptr; }
    // The body's two motions: breathing of the core and the ring's turn; none at rest.
    const QVariantAnimation* pulse() const { return pulse_.get(); }
    const QVariantAnimation* spin() const { return spin_.get(); }
    // The core's scale and the ring's turn in degrees, as drawn now.
    double coreScale() const;
    double ringDegrees() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void setRunning(bool running);
    // The body made afresh: at rest, and moving when the logo may move.
    void rebuildBody();
    const QImage& ring(double devicePixelRatio);

    double size_;
    bool animated_;
    bool running_ = false;
    WindowVisibility* probe_ = nullptr;
    std::unique_ptr<QVariantAnimation> pulse_, spin_;
    QImage ring_;
};

}  // namespace murmelo
