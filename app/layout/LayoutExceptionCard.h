#pragma once
#include "platform/MainQueue.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QWidget>
#include <memory>
#include <optional>

namespace murmelo {

// The card body: the message on the water card, a hairline border, rounded corners. It
// never takes focus and lets clicks through to the window below.
class LayoutExceptionCardBody : public QWidget {
public:
    static constexpr double padX = 14;
    static constexpr double padY = 10;
    static constexpr double minWidth = 180;
    static constexpr double cornerRadius = 12;

    LayoutExceptionCardBody(const QString& text, bool dark);
    const QString& text() const { return text_; }
    bool isDark() const { return dark_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString text_;
    bool dark_;
};

// The toast that says a word went into the layout exceptions or left them: bottom-right of
// the screen under the pointer, 2.5 s, at most one at a time.
class LayoutExceptionCardController {
public:
    enum class Change { added, removed };

    static constexpr double lifetime = 2.5;
    static inline const QString ENABLED_KEY = QStringLiteral("layoutExceptionCard");

    // A stored Boolean decides; anything else, or nothing, leaves the card on.
    static bool isEnabled();
    static QString text(const QString& word, Change change);
    // The origin in the bottom-left-origin model: 16 points in from the bottom-right corner
    // of the visible frame; (0, 0) without a screen.
    static QPointF cardOrigin(const std::optional<QRectF>& visibleFrame, const QSizeF& size);

    LayoutExceptionCardController() = default;
    ~LayoutExceptionCardController();
    LayoutExceptionCardController(const LayoutExceptionCardController&) = delete;
    LayoutExceptionCardController& operator=(const LayoutExceptionCardController&) = delete;

    static LayoutExceptionCardController& shared();
    static void install(LayoutExceptionCardController* controller);

    // Any thread: the card is built later on the main queue.
    void show(const QString& word, Change change);
    void hide();

    bool isShowing() const { return panel_ != nullptr; }
    LayoutExceptionCardBody* panel() const { return panel_.get(); }
    int shownCount() const { return shown_; }

private:
    void build(const QString& word, Change change);

    std::unique_ptr<LayoutExceptionCardBody> panel_;
    TimerHandle hideWork_;
    int shown_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace murmelo
