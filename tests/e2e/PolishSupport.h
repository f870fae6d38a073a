#pragma once
// The desk with the application's switcher engine and polish joined to its tap as start-up
// joins them (the right Shift reaches polish through manual conversion), polish switched on,
// and the corrector stand-in answering from a script.
#include "Desk.h"
#include "LocalHttpServer.h"
#include "StandIns.h"
#include "TestFiles.h"

#include "layout/LayoutGates.h"
#include "layout/LayoutManualConversion.h"
#include "layout/LayoutOutput.h"
#include "layout/LayoutSwitcher.h"
#include "layout/LayoutSwitcherTap.h"
#include "layout/LayoutSwitcherTestSupport.h"
#include "platform/Service.h"
#include "polish/CorrectorClient.h"
#include "polish/PolishCard.h"
#include "polish/PolishEditDelivery.h"
#include "polish/PolishRoutes.h"
#include "polish/PolishTap.h"
#include "polish/PolishTestSupport.h"
#include "polish/PolishUnderline.h"

#include <gtest/gtest.h>
#include <optional>

namespace murmelo::e2e {

class PolishDesk : public ::testing::Test {
protected:
    static constexpr quint16 kRightShift = 60;
    static constexpr quint64 kShiftFlag = 0x20000;

    PolishDesk() {
        PolishUnderline::resetForTesting();
        desk.setting("polishEnabled", true);
        steps.notePolishDown = [this] { routes.notePolishDown(); };
        steps.notePolishUp = [this] { routes.notePolishUp(); };
        steps.cancelPendingPolish = [this](const QString& reason) { routes.cancelPendingPolish(reason); };
        steps.noteSpaceTyped = [this] { routes.noteSpaceTyped(); };
        test::useManualConversion(steps, manual);
        steps.sendKey = [this](quint16 keyCode, quint64 flags) { output.sendKey(keyCode, flags); };
    }
    ~PolishDesk() override { PolishUnderline::resetForTesting(); }

    // The corrector stand-in with scripted answers, listening before the test goes on.
    void startCorrector(const QByteArray& script) {
        const QString root = desk.env.root();
        test::writeFile(root + "/corrector/model.bin", "w");
        test::writeFile(root + "/corrector/tokenizer.json", "{}");
        test::writeFile(root + "/script.tsv", script);
        const quint16 port = test::freePort();
        corrector.emplace(test::spawnStandIn({test::toolPath("murmelo-corrector-stand-in"), "--port", QString::number(port),
                                              "--model-dir", root + "/corrector", "--script", root + "/script.tsv"}));
        ASSERT_FALSE(corrector->readLine().empty());
        endpoint.url = QUrl(QStringLiteral("http://127.0.0.1:%1/correct").arg(port));
    }

    // The user taps the polish key (the right Shift); virtual time runs to the polish. The
    // time of the release.
    double tapPolishKey() {
        desk.press(kRightShift, kShiftFlag);
        const double released = desk.now();
        desk.wait(PolishTap::TAP_DELAY);
        return released;
    }

    // Serves the corrector's sockets until the field shows the text.
    bool fieldBecomes(const QString& text) {
        return desk.env.waitFor([&] { return desk.fieldText() == text; }, 20000);
    }

    Desk desk;
    test::PartSlots steps;
    test::SlotParts parts{steps};
    LayoutSwitcher engine{parts};
    LayoutAppGates gates{engine};
    LayoutOutput output{engine, gates};
    // The polish key and Space reach the routes, as the shell's polish port hands them on.
    struct RoutesPolish final : SwitcherPolish {
        PolishRoutes& routes;
        explicit RoutesPolish(PolishRoutes& r) : routes(r) {}
        void notePolishDown() override { routes.notePolishDown(); }
        void notePolishUp() override { routes.notePolishUp(); }
        void cancelPendingPolish(const QString& reason) override { routes.cancelPendingPolish(reason); }
        void noteSpaceTyped() override { routes.noteSpaceTyped(); }
        void notePolishLiveTyping() override {}
        void auditUndoEdit(const AXElementPtr&, const DeliveryRepair::EditPacket&, quint64) override {}
    } routesPolish{routes};
    LayoutSwitcherTap tap{engine, manual, routesPolish};
    ScopedService<TapLayoutSwitcher> tapScope{tap};
    test::ProtectedWords words;
    ApplicationEditHealing healing{output};
    PolishEditDelivery delivery{engine, output, healing};
    RuFormsWordForms forms;
    PolishCardController card{forms};
    PolishRoutes routes{engine, output, words, delivery, card};
    LayoutManualConversion manual{engine};
    CorrectorEndpoint endpoint;
    ScopedService<CorrectorEndpoint> endpointScope{endpoint};
    std::optional<test::StandIn> corrector;
};

}  // namespace murmelo::e2e
