#include "ai/CloudActionHistory.h"
#include "ai/CloudResultWindow.h"
#include "ui/WindowVisibility.h"

#include "TestEnvironment.h"

#include <QApplication>
#include <QKeyEvent>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

using Action = CloudResultAction;

CloudResultRequest make(const QString& title, const QString& meta, const QString& text, const QString& warning,
                        bool confirm, const QString& primaryTitle, bool copy = true, bool primary = true,
                        bool compact = false) {
    CloudResultRequest r;
    r.title = title, r.meta = meta, r.text = text, r.warning = warning, r.needsConfirmation = confirm;
    r.primaryTitle = primaryTitle, r.showsSecondaryCopy = copy, r.showsPrimaryAction = primary, r.compact = compact;
    return r;
}

TEST(CloudResultLayoutTest, FormsRowsAndButtons) {
    struct Case {
        const char* name;
        bool compact, error, copy, primary, confirm, edited, blank;
        QString meta, warning;
        // Expected.
        QStringList buttons;  // "action:title:icon:enabled"
        bool header, warningRow, editedRow;
        QString contextLine;
    };
    const auto describe = [](const CloudResultLayout& l) {
        QStringList out;
        const char* names[] = {"primary", "copy", "cancel", "revert", "settings"};
        for (const CloudResultButton& b : l.buttons)
            out << QString("%1:%2:%3:%4").arg(names[int(b.action)], b.title, b.icon, b.enabled ? "on" : "off");
        return out;
    };
    const Case cases[] = {
        {"full, editable selection", false, false, true, true, false, false, false, "Mousepad", "",
         {"cancel::xmark:on", "copy:Копировать:doc.on.doc:on", "primary:Заменить  Ctrl+↩:text.insert:on"}, true, false,
         false, "Mousepad"},
        {"full, read-only, no meta: the hint with the verb in lower case", false, false, false, true, true, true, false,
         "", "проверьте сумму",
         {"cancel::xmark:on", "primary:Заменить  Ctrl+↩:text.insert:on"}, true, true, true,
         "Ctrl+↩ — заменить · Esc — закрыть"},
        {"full, emptied text: no delivery", false, false, true, true, false, true, true, "m", "",
         {"cancel::xmark:on", "copy:Копировать:doc.on.doc:on", "primary:Заменить  Ctrl+↩:text.insert:off"}, true, false,
         true, "m"},
        {"compact with copy", true, false, true, true, false, true, false, "m", "осторожно",
         {"copy::doc.on.doc:on", "primary::rectangle.2.swap:on"}, false, false, false, ""},
        {"compact without copy", true, false, false, true, false, false, false, "m", "",
         {"primary::doc.on.doc:on"}, false, false, false, ""},
        {"error without settings", false, true, true, true, false, false, false, "", "",
         {"cancel::xmark:on"}, true, false, false, "Esc — закрыть · надиктовка цела, она в истории"},
        {"error with settings", false, true, true, true, false, false, false, "", "",
         {"cancel::xmark:on", "settings:Настройки…:gearshape:on"}, true, false, false,
         "Esc — закрыть · надиктовка цела, она в истории"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CloudResultState st;
        CloudResultRequest r = make("Исправлено", c.meta, "текст", c.warning, c.confirm, "Заменить", c.copy, c.primary, c.compact);
        st.fill(r);
        if (c.error) st.fillError("нет связи", QString(c.name).contains("with settings"));
        if (c.edited) st.noteUserText(c.blank ? " \n" : "текст!");
        const CloudResultLayout l = CloudResultLayout::of(st);
        EXPECT_EQ(describe(l), c.buttons);
        EXPECT_EQ(l.header, c.header);
        EXPECT_EQ(l.warningRow.has_value(), c.warningRow);
        EXPECT_EQ(l.editedRow, c.editedRow);
        if (c.header) {
            EXPECT_EQ(l.contextLine, c.contextLine);
        }
        EXPECT_EQ(l.textEditable, !c.error);
        EXPECT_EQ(l.textBottomInset, c.compact ? 38 : 0);
        if (c.error) {
            EXPECT_TRUE(l.dotIsWarning);
        }
        if (c.compact) {
            EXPECT_EQ(l.compactWarning.has_value(), !c.warning.isEmpty());
        }
    }
}

TEST(CloudResultStateTest, RevisionEditsRevertAndTheErrorForm) {
    CloudResultState st;
    EXPECT_EQ(st.cardHeight, 76);
    EXPECT_EQ(st.revision, 0);
    EXPECT_TRUE(st.isEditable && st.showsActions && st.showsSecondaryCopy && st.showsPrimaryAction);
    EXPECT_FALSE(st.compact || st.showsSettings || st.edited || st.needsConfirmation);
    int changes = 0;
    QObject::connect(&st, &CloudResultState::changed, [&] { ++changes; });

    const CloudResultRequest r = make("Т", "", "\nответ\n", "", false, "Вставить");
    st.fill(r);
    st.fill(r);  // the same text again still reloads
    EXPECT_EQ(st.revision, 2);
    EXPECT_EQ(st.incoming, "\nответ\n");
    st.noteUserText("ответ!");
    EXPECT_TRUE(st.edited);
    const int before = changes;
    st.noteUserText("ответ!!");  // no flip, no publication
    EXPECT_EQ(changes, before);
    st.noteUserText("\nответ\n");
    EXPECT_FALSE(st.edited);
    st.noteUserText("другое");
    st.revert();
    EXPECT_FALSE(st.edited);
    EXPECT_EQ(st.incoming, "\nответ\n");
    EXPECT_EQ(st.revision, 3);

    st.fillError("Нет связи", false);
    EXPECT_EQ(st.primaryTitle, "Вставить");
    EXPECT_TRUE(st.needsConfirmation);
    EXPECT_FALSE(st.isEditable || st.showsActions || st.edited);
    EXPECT_TRUE(st.original.isEmpty());
    EXPECT_EQ(st.incoming, "Нет связи");
}

TEST(CloudResultSizing, CardHeightAndTheWidthSearch) {
    EXPECT_EQ(CloudResultWindow::cardHeight(10, 400), 76);
    EXPECT_EQ(CloudResultWindow::cardHeight(100.2, 400), 101 + 28 + 4);
    EXPECT_EQ(CloudResultWindow::cardHeight(1000, 300), 300);
    EXPECT_EQ(CloudResultWindow::cardHeight(1000, 20), 76);  // a ceiling below the floor counts as the floor
    // The text column: the card's width less padding and insets, at least 120, at most 620.
    double seen = 0;
    const auto measure = [&](const QString&, double w) { return seen = w, 40.0; };
    CloudResultWindow::cardHeightThatFits("x", 420, 500, measure);
    EXPECT_EQ(seen, 420 - 36 - 2 - 28);
    CloudResultWindow::cardHeightThatFits("x", 760, 500, measure);
    EXPECT_EQ(seen, 620 - 28);
    CloudResultWindow::cardHeightThatFits("x", 100, 500, measure);
    EXPECT_EQ(seen, 120);

    int probes = 0;
    const auto area = [&](double a) {
        return [&probes, a](double w) { return ++probes, a / w; };
    };
    // Short content: the narrowest width, lifted to the minimum height.
    EXPECT_EQ(CloudResultWindow::fitSize(420, 760, 20, 4.0 / 3, 900, 220, area(420 * 150)), QSizeF(420, 220));
    // Content of area A fits at w when A / w <= 3w / 4: the first grid width past sqrt(4A/3).
    probes = 0;
    const QSizeF mid = CloudResultWindow::fitSize(420, 760, 20, 4.0 / 3, 900, 220, area(300000));
    EXPECT_EQ(mid, QSizeF(640, 300000 / 640.0));
    EXPECT_LE(probes, 1 + 5 + 1);
    // Too tall at the widest: the widest width, the height capped.
    EXPECT_EQ(CloudResultWindow::fitSize(420, 760, 20, 4.0 / 3, 900, 220, area(760 * 2000)), QSizeF(760, 900));
    // A narrow screen: one candidate.
    EXPECT_EQ(CloudResultWindow::fitSize(420, 420, 20, 4.0 / 3, 900, 220, area(420 * 100)), QSizeF(420, 220));
}

// The card itself, on the offscreen platform.
class CloudResultWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.close();
        window.useHistory(&history);
    }
    void TearDown() override {
        window.close();
        window.useHistory(nullptr);
    }
    CloudResultRequest request(const QString& text) {
        CloudResultRequest r = make("Исправлена опечатка", "Mousepad", text, "", false, "Заменить");
        r.historyTitle = "Исправлена опечатка";
        r.onPrimary = [this](const QString& t) { primaries << t; };
        r.onCopy = [this](const QString& t) { copies << t; };
        r.onCancel = [this] { ++cancels; };
        return r;
    }
    void key(int k, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = {}) {
        QKeyEvent press(QEvent::KeyPress, k, mods, text);
        QKeyEvent release(QEvent::KeyRelease, k, mods, text);
        QApplication::sendEvent(window.state().textView.data(), &press);
        QApplication::sendEvent(window.state().textView.data(), &release);
    }
    void type(const QString& text) {
        for (const QChar c : text) key(0, Qt::NoModifier, QString(c));
    }

    test::TestEnvironment env;
    CloudActionHistory history{env.defaults()};
    CloudResultWindow& window = CloudResultWindow::shared();
    QStringList primaries, copies;
    int cancels = 0;
};

TEST_F(CloudResultWindowTest, CtrlReturnDeliversTheEditedTextOnce) {
    window.show(request("привет мир\n"));
    ASSERT_TRUE(window.isVisible());
    ASSERT_TRUE(window.state().textView);
    EXPECT_EQ(window.state().textView->toPlainText(), "привет мир\n");
    EXPECT_EQ(window.state().textView->textCursor().position(), 11);  // the caret at the end
    type("!");
    EXPECT_TRUE(window.state().edited);
    key(Qt::Key_Return, Qt::ControlModifier);
    key(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(primaries, QStringList{"привет мир\n!"});
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(cancels, 0);
    EXPECT_TRUE(env.logContains("окно результата: «Исправлена опечатка», 12 симв., текст правил человек"));
    // The history holds the text as received, not as edited.
    ASSERT_EQ(history.items.size(), 1);
    EXPECT_EQ(history.items[0].title, "Исправлена опечатка");
    EXPECT_EQ(history.items[0].text, "привет мир");
}

TEST_F(CloudResultWindowTest, AnEmptiedCardDeliversNothing) {
    window.show(request("да"));
    key(Qt::Key_Backspace);
    key(Qt::Key_Backspace);
    EXPECT_TRUE(window.state().textIsBlank);
    key(Qt::Key_Return, Qt::ControlModifier);
    window.perform(Action::primary);
    EXPECT_TRUE(primaries.isEmpty());
    EXPECT_TRUE(window.isVisible());
    window.perform(Action::revert);
    EXPECT_EQ(window.state().textView->toPlainText(), "да");
    EXPECT_FALSE(window.state().edited);
    window.perform(Action::copy);
    EXPECT_EQ(copies, QStringList{"да"});
}

TEST_F(CloudResultWindowTest, EscCancelsOnceAndAReplacedRequestHearsNothing) {
    int firstCancels = 0;
    CloudResultRequest first = request("один");
    first.onCancel = [&] { ++firstCancels; };
    first.historyTitle.reset();
    window.show(first);
    window.show(request("два"));  // replaces: the first request's callbacks never run
    EXPECT_EQ(window.state().textView->toPlainText(), "два");
    key(Qt::Key_Escape);
    key(Qt::Key_Escape);
    EXPECT_EQ(firstCancels, 0);
    EXPECT_EQ(cancels, 1);
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.contains(QPointF(0, 0)));
    EXPECT_EQ(history.items.size(), 1);  // only the request with a history title

    // An error replaces a result without a callback, cannot be delivered, and Esc only hides it.
    window.show(request("три"));
    window.showError("Нет связи с сервисом ответов: x", false);
    EXPECT_FALSE(window.hasRequest());
    EXPECT_TRUE(window.state().textView->isReadOnly());
    window.perform(Action::primary);
    window.perform(Action::copy);
    key(Qt::Key_Escape);
    EXPECT_EQ(cancels, 1);
    EXPECT_TRUE(primaries.isEmpty() && copies.isEmpty());
    EXPECT_FALSE(window.isVisible());
}

TEST_F(CloudResultWindowTest, A900CharacterResultTakesTheWidthTheSearchGives) {
    QString text;
    while (text.size() < 900) text += "Слово за словом складывается длинный ответ. ";
    text.truncate(900);
    window.show(request(text));
    const QSize size = window.panel()->size();
    const auto visible = QGuiApplication::primaryScreen()->availableGeometry().size();
    const double widest = std::max(420.0, std::min(visible.width() * 0.5, 760.0));
    EXPECT_TRUE(size.width() == int(widest) || (size.width() - 420) % 20 == 0) << size.width();
    EXPECT_GE(size.height(), 220);
    // The chosen width fits the aspect; one step narrower does not.
    CloudResultView& view = *window.view();
    const double ceiling = visible.height() * 0.5;
    const auto heightAt = [&](int w) {
        window.state().setCardHeight(CloudResultWindow::cardHeightThatFits(text, w, ceiling));
        return view.heightAtWidth(w);
    };
    if (size.width() < int(widest)) {
        EXPECT_LE(heightAt(size.width()), size.width() * 0.75);
    }
    if (size.width() > 420) {
        EXPECT_GT(heightAt(size.width() - 20), (size.width() - 20) * 0.75);
    }
    EXPECT_TRUE(env.logContains(QString("окно результата: %1×%2 pt, правый нижний угол").arg(size.width()).arg(size.height())));
}

TEST_F(CloudResultWindowTest, TheThreeFormsRender) {
    CloudResultRequest compact = request("short");
    compact.compact = true;
    compact.warning = "проверьте";
    for (int form = 0; form < 3; ++form) {
        SCOPED_TRACE(form);
        if (form == 0) window.show(request("Полная карточка с результатом."));
        if (form == 1) window.show(compact);
        if (form == 2) window.showError("Сервис ответов вернул ошибку 500: x", true);
        const QImage image = window.panel()->grab().toImage();
        ASSERT_FALSE(image.isNull());
        EXPECT_GE(image.width(), form == 1 ? 340 : 420);
        // Something is drawn beyond a single fill.
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 4)
            for (int x = 0; x < image.width(); x += 4) colours.insert(image.pixel(x, y));
        EXPECT_GT(colours.size(), 8);
    }
}

TEST_F(CloudResultWindowTest, ArrivalSparkReduceMotionAndTheFocusCheck) {
    const auto sparks = [&] {
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return window.panel() ? window.panel()->findChildren<QWidget*>("arrivalSpark").size() : 0;
    };
    env.defaults().set("reduceMotion", true);
    window.show(request("без движения"));
    EXPECT_EQ(sparks(), 0);
    EXPECT_EQ(window.panel()->windowOpacity(), 1.0);
    window.close();

    env.defaults().set("reduceMotion", false);
    window.show(request("раз"));
    EXPECT_EQ(sparks(), 1);
    window.close();
    EXPECT_EQ(sparks(), 0);  // a hidden card ends its arrival
    window.show(request("два"));
    env.advance(0.5);
    window.close();
    window.show(request("три"));  // the second arrival within 0.8 s
    EXPECT_EQ(sparks(), 1);
    env.advance(0.4);  // the first removal finds another spark and leaves it
    EXPECT_EQ(sparks(), 1);
    env.advance(0.5);
    EXPECT_EQ(sparks(), 0);

    // A card that lost the keyboard before the check takes it back, and says so.
    window.show(request("четыре"));
    QWidget other;
    other.show();
    other.activateWindow();
    QApplication::processEvents();
    ASSERT_FALSE(window.isKey());
    env.advance(CloudResultWindow::focusCheckDelay);
    QApplication::processEvents();
    EXPECT_TRUE(window.isKey());
    EXPECT_TRUE(env.logContains("окно результата: клавиатуру без активации не дали — активирую Murmelo"));
}

TEST(WindowVisibilityTest, ReportsComeLaterOnTheMainQueue) {
    test::TestEnvironment env;
    QList<bool> seen;
    QWidget w;
    w.resize(50, 50);
    WindowVisibility probe([&](bool v) { seen << v; });
    w.winId();
    probe.attach(w.windowHandle());
    EXPECT_TRUE(seen.isEmpty());
    env.runPending();
    EXPECT_EQ(seen, (QList<bool>{false, false}));
    seen.clear();
    QList<bool> other;
    probe.setOnChange([&](bool v) { other << v; });
    probe.attach(nullptr);
    env.runPending();
    EXPECT_TRUE(seen.isEmpty());
    EXPECT_EQ(other, QList<bool>{false});
}

}  // namespace
