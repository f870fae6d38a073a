#pragma once
#include <QObject>
#include <QPointer>
#include <QWindow>
#include <functional>

namespace murmelo {

// Reports whether a window can be seen: on attaching, and after every show, hide, state
// change (minimise, restore) and exposure change, always later on the main queue, never
// inside the event. Reports are not de-duplicated. X11 has no occlusion state: a window with
// nothing of it exposed counts as covered. Main thread only.
class WindowVisibility : public QObject {
public:
    explicit WindowVisibility(std::function<void(bool)> onChange, QObject* parent = nullptr);
    ~WindowVisibility() override;

    // Later reports go only to the new function.
    void setOnChange(std::function<void(bool)> onChange) { onChange_ = std::move(onChange); }
    // Watches this window from now on (nullptr: none, which reports false).
    void attach(QWindow* window);

    static bool isVisible(const QWindow* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void report();

    std::function<void(bool)> onChange_;
    QPointer<QWindow> window_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace murmelo
