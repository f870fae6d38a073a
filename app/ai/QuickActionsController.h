#pragma once
#include "ai/CloudTransport.h"
#include "ai/QuickActionAPIClient.h"
#include "ai/QuickActionID.h"
#include "ai/QuickActionSelectionReader.h"

#include <QPointF>
#include <QRectF>
#include <QString>
#include <QUuid>
#include <memory>
#include <optional>
#include <utility>

namespace murmelo {

class QuickActionPanelController;
class QuickActionUsageStore;
class Workspace;

inline const QString QUICK_ACTIONS_ENABLED_KEY = QStringLiteral("quickActions.enabled");
inline const QString QUICK_ACTIONS_CLOUD_KEY = QStringLiteral("quickActions.cloudEnabled");
inline const QString QUICK_ACTIONS_DISABLED_APPS_KEY = QStringLiteral("quickActions.disabledApps");

bool isQuickActionsEnabled();
void setQuickActionsEnabled(bool on);
bool isQuickActionsCloudEnabled();
void setQuickActionsCloudEnabled(bool on);

// What Quick Actions use of the subsystems above them (the personal dictionary and the
// recogniser's prompt, the switcher's words and copy key, the rewrite guard, the monthly
// statistics); the shell joins them.
class QuickActionsNeighbours {
public:
    virtual ~QuickActionsNeighbours() = default;
    // The personal dictionary's form of a text when it is one word; none otherwise.
    virtual std::optional<QString> dictionaryWord(const QString& text) = 0;
    // True when the word was new.
    virtual bool addToDictionary(const QString& word) = 0;
    // How many personal words there are and how many fit the recogniser's prompt there.
    virtual std::pair<int, int> personalPromptFit(const QString& bundleID, const QString& appName) = 0;
    virtual bool knowsWord(const QString& word) = 0;
    virtual std::optional<QString> rewriteRejection(const QString& original, const QString& candidate, bool mayShrink,
                                                    bool mayGrow, bool mayChangeScript) = 0;
    virtual void noteQuickAction() = 0;
    // The marked Command-C of the switcher, into the front application.
    virtual void sendCopyKey() = 0;
};

// Follows the user's selections in other applications, shows the bar beside them and
// carries out the chosen action. Main thread only.
class QuickActionsController {
public:
    static constexpr double minDragDistance = 4;
    static constexpr double detectionDelay = 0.12;
    static constexpr double reactivationDelay = 0.12;

    // The program's one, once the shell has made it; null before.
    static QuickActionsController* installed();
    static QuickActionsController& shared();
    static void install(QuickActionsController* controller);

    QuickActionsController(QuickActionsNeighbours& neighbours, QuickActionPanelController& panel,
                           QuickActionUsageStore& usage);
    ~QuickActionsController();

    void mouseDown(QPointF at);
    void mouseUp(QPointF at, qint64 clickCount);
    bool keyDown(qint64 keyCode, quint64 flags, bool synthetic);
    void keyUp(qint64 keyCode, quint64 flags, bool synthetic);
    void dismiss();

    void perform(QuickActionID action, const QuickActionSelection& selection);
    void applyResult(const QuickActionTransformResult& result, const QuickActionSelection& selection);
    void copyResult(const QString& text, const QuickActionSelection& selection);
    void openAISettings();
    void disable(const QString& bundleID);

    static bool shouldProbeSelection(double dragDistance, qint64 clickCount);
    static bool isSelectionNavigationKey(qint64 keyCode);
    static QString model(QuickActionID action);
    static std::optional<QRectF> dragBounds(const std::optional<QPointF>& from, QPointF to);
    // The result as shown: the model's warning or confirmation note, new numbers, truncation.
    static QuickActionTransformResult amended(const QuickActionTransformResult& result,
                                              const QuickActionSelection& selection);

    QuickActionSelectionReader& reader() { return reader_; }
    bool hasActiveTask() const { return activeTask_.has_value(); }

private:
    void scheduleDetection(QPointF anchor, bool allowClipboardFallback, bool preferCursorAnchor,
                           std::optional<QPointF> dragOrigin);
    void detected(const std::optional<QuickActionSelection>& found, std::optional<QPointF> dragOrigin, QPointF anchor);
    void cloudCompleted(const QuickActionOutcome& outcome, QuickActionID action, const QuickActionSelection& selection);
    void pasteBack(const QuickActionTransformResult& result, const QuickActionSelection& selection);
    void copyIntentionally(const QString& text);
    bool onBarOrCard(QPointF point) const;

    QuickActionsNeighbours& neighbours_;
    QuickActionPanelController& panel_;
    QuickActionUsageStore& usage_;
    QuickActionSelectionReader reader_;
    std::optional<QPointF> mouseDownPoint_;
    QUuid detectionGeneration_ = QUuid::createUuid();
    std::optional<CloudTask> activeTask_;
    Workspace* workspace_ = nullptr;
    int activationObserver_ = 0;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace murmelo
