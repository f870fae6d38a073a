#pragma once
#include <QString>
#include <QStringList>

#include <optional>

namespace murmelo {

// One alert of the learning dialogs as a plain model: its texts, its buttons (the first is
// the default), and what it holds besides: the editor with the scope pop-up, or the list
// of rules.
struct LearningAlert {
    enum class Kind {
        nothingToCorrect,    // A
        editLast,            // B
        confirmRule,         // C
        offerScenario,       // D
        scenarioAdded,       // E
        scenarioRefused,     // F
        noUsableCorrection,  // G
        noRules,             // H
        rules,               // I
        confirmDeleteAll,    // J
    };
    Kind kind = Kind::nothingToCorrect;
    QString message;
    QString informativeText;
    QStringList buttons;
    // The program has no window of its own in front: it comes forward first, except for
    // an alert that directly follows another one of the same flow.
    bool activateFirst = false;
    // The editor of the last dictation (B).
    std::optional<QString> editorText;
    // Pop-up items: the scopes (B) or the rules (I), with each rule's id.
    QStringList popupItems;
    QStringList popupIds;
    bool operator==(const LearningAlert&) const = default;
};

// What the user did: the button pressed (its index; -1 when the alert was closed another
// way), the editor's text and the chosen pop-up item.
struct LearningAnswer {
    int button = -1;
    QString editedText;
    int selectedItem = 0;
};

// Shows an alert modally and returns the answer. The application shows Qt dialogs; tests
// install their own and answer for the user.
class DictationLearningPresenter {
public:
    virtual ~DictationLearningPresenter() = default;
    virtual LearningAnswer run(const LearningAlert& alert) = 0;
};

// The two flows of the status menu: correcting the last dictation (a learned replacement,
// or a confirmed clean-up scenario for a numbered list), and the learned corrections.
// Keeps nothing between calls; main thread only.
class DictationLearningController {
public:
    static DictationLearningController& shared();

    void showCorrection();
    void showRules();

    // How a text stands in the rule list: at most 35 characters, else 32 and "…".
    static QString shortened(const QString& text);

private:
    LearningAnswer run(const LearningAlert& alert);
};

}  // namespace murmelo
