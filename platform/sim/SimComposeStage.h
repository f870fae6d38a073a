#pragma once
#include "platform/ComposeStage.h"
#include "sim/SimDesktop.h"

#include <QStringList>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace murmelo::sim {

// One character of the stage's field and who put it there.
struct ComposeCell {
    QString ch;           // one user-perceived character
    bool human = false;   // the user typed it
    QString origin;       // "human", the writer's origin name, or "field" for text changed outside the stage
    bool operator==(const ComposeCell&) const = default;
};

// One write the switcher made into the field.
struct ComposeWrite {
    QString origin;
    int erased = 0;
    QString inserted;
    int humanErased = 0;  // how many of the erased characters the user had typed
    bool operator==(const ComposeWrite&) const = default;
};

// One single key the switcher sent.
struct ComposeKey {
    quint16 keyCode = 0;
    quint64 flags = 0;
    QString origin;
};

// The stand over a field of the simulated desktop: the field's text and selection are the
// stage's text and caret, and beside them the stage remembers who typed each character, logs
// every write, models a keyboard whose layout lags behind the selected input source, and can
// lose writes on purpose. Text changed in the field by anything else (the simulated keys or
// accessibility) is taken over as it stands, marked "field". A test drives it as the user and
// the environment (humanKey, humanBackspace, humanSelectSource, tickKeystroke and the public
// fields) and inspects it afterwards.
class SimComposeStage : public ComposeStage {
public:
    // Both the reported and the keyboard's source start as sourceID. Without a field the stage
    // makes one of its own that belongs to no application.
    explicit SimComposeStage(const QString& sourceID, std::shared_ptr<SimField> field = nullptr);

    const std::shared_ptr<SimField>& field() const { return field_; }

    // ComposeStage
    void machineInsert(const QString& text, const QString& origin) override;
    void machinePaste(const QString& text, const QString& origin) override;
    void machineErase(int count, const QString& origin) override;
    void machineKey(quint16 keyCode, quint64 flags, const QString& origin) override;
    QString axValue() override;
    qsizetype axCaret() override;
    void axSetCaret(qsizetype offset) override;
    bool axReplace(AXRange range, const QString& replacement, const QString& origin) override;
    QString sourceID() const override { return tisAnswersInstead ? *tisAnswersInstead : realSourceID; }
    void setSourceID(const QString& sourceID) override { realSourceID = sourceID; }
    void selectSource(const QString& sourceID) override;
    void reselectSource(const QString& sourceID) override;

    // ---- the user and the environment
    // One key press of the user; a swallowed key is remembered as meant but never reaches the field.
    void humanKey(const QString& ch, bool swallowed = false);
    void humanBackspace();
    void humanSelectSource(const QString& sourceID);
    // One physical keystroke passes: a lagging keyboard counts down towards the selected source.
    void tickKeystroke();
    // Caret and selection as character (cell) indices; the selection runs from the anchor to the caret.
    int caret();
    void setCaret(int cell);
    void select(int anchor, int caret);

    // Where insertions, erasures and reads go instead of the cells, when set.
    std::function<QString()> fieldRead;
    std::function<void(const QString&)> fieldInsert;
    std::function<void(int)> fieldErase;
    // When N >= 1, every N-th machineInsert is lost.
    int dropEveryNthWrite = 0;
    int droppedChars = 0;
    // Inserts and pastes made after the first lost write.
    int writesAfterFirstDrop = 0;
    std::vector<ComposeWrite> writes;
    std::vector<ComposeKey> keys;

    QString realSourceID;
    // The identifier the input-source service reports instead of the real one.
    std::optional<QString> tisAnswersInstead;
    // The source the physical keyboard actually types with.
    QString hidSource;
    // How many keystrokes the keyboard keeps the old layout after a selection.
    std::function<int()> lagKeystrokes = [] { return 0; };
    // The key table used to read keys follows the reported source, not the keyboard.
    bool staleTapTable = false;
    int idleReselects = 0;
    int tisSelects = 0;
    int humanKeystrokes = 0;
    int humanBackspaces = 0;
    // What the user meant to type, swallowed keys included.
    QStringList plainChars;
    // The character a physical key (named by its US character) types under a source; the key
    // itself until set.
    std::function<QString(const QString& sourceID, const QString& key)> keyMap;

    // ---- inspection
    QString text();
    QString plainText() const { return plainChars.join(QString()); }
    std::vector<ComposeCell> cells();
    int humanCharsOnScreen();
    int humanCharsErasedByUs() const;
    bool keyboardIsMoving() const { return pending_.has_value(); }
    QString delivered(const QString& key) const;
    QString rendered(const QString& key) const;

private:
    void adoptField();
    void show();
    int cellIndex(qsizetype utf16) const;
    qsizetype utf16Offset(int cell) const;
    int removeSelection();
    int removeCells(int from, int to);
    void insertCells(const QString& text, bool human, const QString& origin);
    void insertText(const QString& text, bool human, const QString& origin);
    void copySelection();
    QString selectedText() const;
    void moveCaret(int to, bool extend);
    int wordStartBefore(int cell) const;
    int wordEndAfter(int cell) const;
    QString typed(const QString& sourceID, const QString& key) const;

    std::shared_ptr<SimField> field_;
    std::vector<ComposeCell> cells_;
    int caret_ = 0;
    int anchor_ = 0;
    // What the field held when the stage last wrote it, to notice changes made elsewhere.
    QString shownValue_;
    qsizetype shownStart_ = 0;
    qsizetype shownLength_ = 0;
    int machineWriteCount_ = 0;
    bool sawDrop_ = false;
    std::optional<std::pair<QString, int>> pending_;
    std::recursive_mutex lock_;
};

}  // namespace murmelo::sim
