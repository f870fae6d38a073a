#pragma once
// Quick Actions over the simulated desktop: one screen, an editor with a field, the
// clipboard, the switcher's copy key as the simulated application answers it, and the
// neighbours recorded. Title widths are 7 points a character.
#include "ai/AIProvider.h"
#include "ai/AiKeyFixture.h"
#include "ai/CloudActionHistory.h"
#include "ai/CloudResultWindow.h"
#include "ai/QuickActionUsageStore.h"
#include "ai/QuickActionsController.h"
#include "ai/QuickActionsUI.h"
#include "input/ClipboardManager.h"
#include "platform/KeyEventPoster.h"
#include "sim/SimAccessibility.h"
#include "sim/SimDesktop.h"
#include "sim/SimEventTap.h"
#include "sim/SimKeyPoster.h"
#include "sim/SimPasteboard.h"
#include "sim/SimScreens.h"

#include <QRegularExpression>
#include <QStringList>
#include <set>

namespace murmelo::test {

struct RecordedNeighbours : QuickActionsNeighbours {
    std::set<QString> known;
    std::set<QString> dictionary;
    std::optional<QString> rejection;
    int quickActionsNoted = 0;
    int copyKeys = 0;
    // What the front application does with the copy key, when not the usual.
    std::function<void()> onCopyKey;
    std::optional<QString> dictionaryWord(const QString& text) override {
        const QString t = text.trimmed();
        if (t.isEmpty() || t.contains(QLatin1Char(' ')) || t.contains(QRegularExpression(QStringLiteral("\\d"))))
            return std::nullopt;
        return t.toLower();
    }
    bool addToDictionary(const QString& word) override { return dictionary.insert(word).second; }
    std::pair<int, int> personalPromptFit(const QString&, const QString&) override {
        return {int(dictionary.size()), int(dictionary.size())};
    }
    bool knowsWord(const QString& word) override { return known.count(word) > 0; }
    std::optional<QString> rewriteRejection(const QString&, const QString&, bool, bool, bool) override { return rejection; }
    void noteQuickAction() override { ++quickActionsNoted; }
    void sendCopyKey() override {
        ++copyKeys;
        if (onCopyKey) return onCopyKey();
        KeyEventPoster::shared().post({8, true, KeyFlags::command});
        KeyEventPoster::shared().post({8, false, KeyFlags::command});
    }
};

class QuickActionsFixture : public AiKeyFixture {
protected:
    QuickActionsFixture() {
        screens.setScreens({sim::SimScreens::screen(QRectF(0, 0, 1280, 800))});
        QuickActionBarMetrics::setTextWidth([](const QString& t) { return 7.0 * double(t.size()); });
        clipboard.start();
        // Results shown on the card are recorded in this test's history, not the program's.
        CloudResultWindow::shared().useHistory(&history);
        field = desktop.addField("org.kde.kate", "AXTextArea", "превет мир");
        field->frame = QRectF(100, 200, 400, 20);  // top-left origin: 580..600 up from the bottom
        desktop.focus("org.kde.kate", field);
    }
    ~QuickActionsFixture() override {
        // The result card is the program's one: a result shown here must not cover the next test.
        CloudResultWindow::shared().close();
        CloudResultWindow::shared().useHistory(nullptr);
        QuickActionBarMetrics::setTextWidth({});
    }

    // A mouse press and release at a point of the bottom-left model.
    void click(QPointF at, int clicks = 1) {
        controller.mouseDown(at);
        controller.mouseUp(at, clicks);
    }
    void drag(QPointF from, QPointF to) {
        controller.mouseDown(from);
        controller.mouseUp(to, 1);
    }
    // Selects a range of the field, as a double click would, and waits out the detection.
    void doubleClickSelect(qsizetype start, qsizetype length, QPointF at = {300, 590}) {
        controller.mouseDown(at);
        controller.mouseUp(at, 1);
        field->select(start, length);
        controller.mouseDown(at);
        controller.mouseUp(at, 2);
        env.advance(QuickActionsController::detectionDelay);
    }

    sim::SimDesktop desktop;
    sim::SimPasteboard pasteboard;
    sim::SimKeyPoster poster{desktop, pasteboard};
    sim::SimAccessibility ax{desktop};
    sim::SimScreens screens;
    sim::SimEventTap tap{desktop};
    ClipboardManager clipboard{&pasteboard};
    ScopedService<Workspace> workspaceScope{desktop};
    ScopedService<Pasteboard> pasteboardScope{pasteboard};
    ScopedService<KeyEventPoster> posterScope{poster};
    ScopedService<Accessibility> axScope{ax};
    ScopedService<Screens> screensScope{screens};
    ScopedService<EventTap> tapScope{tap};
    ScopedService<ClipboardManager> clipboardScope{clipboard};
    std::shared_ptr<sim::SimField> field;
    CloudActionHistory history{Defaults::shared()};
    RecordedNeighbours neighbours;
    QuickActionUsageStore usage{Defaults::shared()};
    QuickActionPanelController panel;
    QuickActionsController controller{neighbours, panel, usage};
    ScopedService<QuickActionsController> controllerScope{controller};
};

}  // namespace murmelo::test
