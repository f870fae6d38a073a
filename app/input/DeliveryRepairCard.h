#pragma once
#include "input/TextWriteTrace.h"
#include "platform/MainQueue.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <memory>
#include <optional>

class QWidget;

namespace murmelo {

// The floating card that tells the user a write did not arrive and offers to put the text
// in again by hand. At most one card; it hides itself after 30 s.
class DeliveryRepairCardController {
public:
    enum class Kind { dictation, polish, undo };

    static constexpr double lifetime = 30.0;

    // What the card shows, without a screen.
    struct Model {
        Kind kind = Kind::dictation;
        int chars = 0;
        QString app;
        QString title;
        QString body;
        QString insertButton;
        QString okButton;
    };
    static Model model(int chars, const QString& app, Kind kind);
    static QString logTag(Kind kind);
    static TextWriteOrigin origin(Kind kind);
    // The card's origin in the bottom-left-origin model: 16 points in from the bottom-right
    // corner of the visible frame of the screen under the pointer.
    static QPointF cardOrigin(const std::optional<QRectF>& visibleFrame, const QSizeF& size);

    DeliveryRepairCardController();
    ~DeliveryRepairCardController();

    static DeliveryRepairCardController& shared();
    static void install(DeliveryRepairCardController* controller);

    // Any thread: the card is built later on the main queue.
    void show(const QString& expected, const QString& app, Kind kind);
    void hide();
    // The reinsert button.
    void reinsert();

    bool isShowing() const { return panel_ != nullptr; }
    const std::optional<QString>& pendingText() const { return pendingText_; }
    const Model& currentModel() const { return model_; }
    QWidget* panel() const { return panel_.get(); }
    // How many cards were built (tests read it).
    int shownCount() const { return shown_; }

private:
    void build(const QString& expected, const QString& app, Kind kind);

    std::unique_ptr<QWidget> panel_;
    TimerHandle hideWork_;
    std::optional<QString> pendingText_;
    QString pendingApp_;
    Kind pendingKind_ = Kind::dictation;
    Model model_;
    int shown_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace murmelo
