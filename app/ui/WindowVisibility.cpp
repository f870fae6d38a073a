#include "ui/WindowVisibility.h"

#include "platform/MainQueue.h"

#include <QEvent>

namespace murmelo {

WindowVisibility::WindowVisibility(std::function<void(bool)> onChange, QObject* parent)
    : QObject(parent), onChange_(std::move(onChange)) {}

WindowVisibility::~WindowVisibility() {
    if (window_) window_->removeEventFilter(this);
}

bool WindowVisibility::isVisible(const QWindow* window) {
    return window && window->isVisible() && window->isExposed() && !(window->windowStates() & Qt::WindowMinimized);
}

void WindowVisibility::attach(QWindow* window) {
    if (window_) window_->removeEventFilter(this);
    window_ = window;
    if (window_) {
        window_->installEventFilter(this);
        report();  // the first look, as if observed at once
    }
    report();
}

bool WindowVisibility::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_) {
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::WindowStateChange:
        case QEvent::Expose:
        case QEvent::Close: report(); break;
        default: break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void WindowVisibility::report() {
    std::weak_ptr<int> alive = alive_;
    MainQueue::shared().post([this, alive] {
        if (alive.expired() || !onChange_) return;
        onChange_(isVisible(window_));
    });
}

}  // namespace murmelo
