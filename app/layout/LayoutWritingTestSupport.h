#pragma once
#include "layout/LayoutCorrectionApply.h"
#include "layout/LayoutEditorTestSupport.h"
#include "layout/LayoutKeyTruth.h"
#include "layout/LayoutSourceSelection.h"
#include "layout/LayoutTestSupport.h"
#include "layout/ManualInputSourceProfileV1.h"

namespace murmelo::test {

inline const QString US = ManualInputSourceProfileV1::englishUS;
inline const QString RU = ManualInputSourceProfileV1::russianApple;

// Key codes of the letters the tests type, by position on the US keyboard.
namespace Keys {
inline constexpr qint64 a = 0, h = 4, g = 5, d = 2, b = 11, t = 17, n = 45, semicolon = 41, quote = 39,
                        space = 49, tab = 48, ret = 36, backspace = 51, z = 6;
}

inline InputEvent keyEvent(qint64 code, const QString& text, quint64 flags = 0) {
    InputEvent e;
    e.keyCode = code;
    e.unicode = text;
    e.flags = flags;
    return e;
}

// A switched-on engine with its hands in a simulated editor ("Kate", its field focused, the
// US source current): output, own selections, key truth and corrections, all bound.
struct WritingRig : EditorFixture {
    HeardCues heard;
    QStringList& cues = heard.cues;
    std::unique_ptr<LayoutSourceSelection> selection;
    std::unique_ptr<LayoutKeyTruth> truth;
    std::unique_ptr<LayoutCorrectionApply> apply;
    QStringList disagreements;

    void SetUp() override {
        EditorFixture::SetUp();
        SimulatedLayouts::forgetAll();
        env.defaults().set("layoutSwitchEnabled", true);
        build();
    }
    void TearDown() override {
        apply.reset();
        truth.reset();
        selection.reset();
        EditorFixture::TearDown();
        SimulatedLayouts::forgetAll();
    }
    // (Re)builds the engine's parts around the current engine.
    void build() {
        engine->loaded = true;
        apply.reset();
        truth.reset();
        selection.reset();
        makeOutput();
        selection = std::make_unique<LayoutSourceSelection>(*engine, heard);
        truth = std::make_unique<LayoutKeyTruth>(*engine);
        apply = std::make_unique<LayoutCorrectionApply>(*engine, *gates);
        useOutput(steps, *out, *selection);
        useGates(steps, *gates);
        useKeyTruth(steps, *truth);
        useCorrection(steps, *apply);
        steps.noteDisagreement = [this](const QString& w, const QString& why, std::optional<QUuid>) {
            disagreements << w + "|" + why;
        };
    }
    void rebuild(const QHash<QString, QString>& vars) {
        apply.reset();
        truth.reset();
        selection.reset();
        makeEngine(vars);
        build();
    }
    // What the user typed so far, as the field and the engine's word have it.
    void typed(const QString& text) {
        field->value = text;
        field->select(text.size());
    }
    bool press(const InputEvent& e) { return engine->handleKeyDown(e); }
    // The user's key: what the engine lets through reaches the field, as on a desktop.
    bool pressThrough(const InputEvent& e) {
        const bool swallowed = engine->handleKeyDown(e);
        if (!swallowed) {
            if (e.keyCode == Keys::backspace) sim::SimDesktop::deleteBackward(*field);
            else if (!e.unicode.isEmpty()) sim::SimDesktop::insertText(*field, e.unicode);
        }
        return swallowed;
    }
    // Types a text on the US keys (letters by their key codes), each key through the engine.
    void typeThrough(const QString& text) {
        for (QChar c : text) pressThrough(keyEvent(codeOf(c), QString(c)));
    }
    static qint64 codeOf(QChar c) {
        static const QHash<QChar, qint64> codes = {
            {'a', 0}, {'s', 1}, {'d', 2}, {'f', 3}, {'h', 4}, {'g', 5}, {'z', 6}, {'x', 7}, {'c', 8}, {'v', 9},
            {'b', 11}, {'q', 12}, {'w', 13}, {'e', 14}, {'r', 15}, {'y', 16}, {'t', 17}, {'o', 31}, {'u', 32},
            {'i', 34}, {'p', 35}, {'l', 37}, {'j', 38}, {'k', 40}, {'n', 45}, {'m', 46}, {' ', 49}, {'\t', 48},
        };
        return codes.value(c, 0);
    }
    QString fieldText() const { return field->value; }
};

}  // namespace murmelo::test
