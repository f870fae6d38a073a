#pragma once
#include "presence/DropRenderer.h"

#include <QOpenGLWindow>
#include <memory>

namespace murmelo {

class GlDropView;
class SolarPasses;
class WaterPass;

// A drop window: an OpenGL window with an alpha channel whose context shares the drop's
// programs. Update requests and swapped frames are the frame clock's display link, exposure
// its occlusion.
class DropGlWindow : public QOpenGLWindow {
public:
    explicit DropGlWindow(GlDropView& owner);
    ~DropGlWindow() override;

protected:
    void initializeGL() override;
    void paintGL() override;
    void exposeEvent(QExposeEvent* event) override;

private:
    GlDropView& owner_;
    std::unique_ptr<SolarPasses> passes_;
    std::unique_ptr<WaterPass> water_;
};

// The drop view drawn with OpenGL: the renderer's frames go to its own window.
class GlDropView : public DropRenderer {
public:
    GlDropView(const DropRenderTransform& transform, OrbDesign design, std::function<double()> micLevel);
    ~GlDropView() override;
    QWindow* window() override { return window_.get(); }

protected:
    bool canDraw() const override;
    bool submitSolar(const SolarUniforms& u) override;
    bool submitWater(const DropUniforms& u) override;
    bool windowVisible() const override;

private:
    friend class DropGlWindow;
    OrbDesign design_;
    SolarUniforms frame_;
    DropUniforms waterFrame_;
    bool cloudFrame_ = false;
    std::unique_ptr<DropGlWindow> window_;
};

}  // namespace murmelo
