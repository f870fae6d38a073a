#pragma once
#include "keepawake/StayAwake.h"
#include "settings/PrefsOwners.h"
#include "settings/PrefsState.h"

#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

namespace murmelo {

class PrefsView;

// The settings window's controller: owns the model, builds the window on the first show,
// fills the model from the owners (refresh) and brings the window forward on a page. The
// window survives a close; the next show reuses it. Main thread only.
class PrefsWindow : public QObject {
    Q_OBJECT
public:
    explicit PrefsWindow(PrefsOwners& owners);
    ~PrefsWindow() override;

    // The installed controller, or the process's one over the real owners.
    static PrefsWindow& shared();

    void show(PrefsTab tab = PrefsTab::home);
    // The statistics page of the current month over the home page.
    void showStatistics();

    void refresh();
    void refreshKeys();
    void refreshHomeSettings();
    void refreshStayAwake();
    // The model's status line: "Модель: <short title> · <suffix>".
    void setFooter(const PrefsOwners::Model& active, const QString& suffix);

    // Closing: stops the poll, detaches from the clipboard history and stores the free-text
    // editors the user changed.
    void windowWillClose();

    // Keep-awake completions of the application page's actions. Each holds the controller
    // weakly.
    std::function<void(const StayAwake::ArmResult&)> stayAwakeArmCompletion();
    // After the user switched keep-awake off: a refresh 6.0 s later, when the service has
    // let go.
    void scheduleStayAwakeRefresh();
    // After a re-arm or a repair.
    std::function<void()> stayAwakeSettledCompletion();
    static QString stayAwakeHoldTitle(int hours);

    // The settings root view for a model, without a window (pictures of the settings).
    std::unique_ptr<QWidget> snapshotContent(PrefsState& state) const;

    // Font sizes of the settings text areas, proportional and monospaced.
    static constexpr double textFontSize = 13;
    static constexpr double monoFontSize = 11;

    // The frame after a refit to a content height, in bottom-left coordinates: the top edge
    // stays; nothing when the height differs by 0.5 pt or less.
    static std::optional<QRectF> refittedFrame(const QRectF& frame, double newFrameHeight);

    PrefsState& state() { return state_; }
    QWidget* window() const { return window_.get(); }
    PrefsView* host() const { return host_; }
    PrefsOwners& owners() { return owners_; }

private:
    // One free-text editor of the model and the text it was last loaded with: a difference is
    // the user's unsaved typing, which no refresh replaces and which alone is stored at close.
    struct EditorBuffer {
        PrefsField field;
        QString loaded;
    };

    void build();
    void refit();
    void loadEditor(EditorBuffer& buffer, const QString& ownerText);
    bool edited(const EditorBuffer& buffer) const;
    const QString& editorText(PrefsField field) const;
    void rebuildVocabScopes();
    void rebuildReplyScopes();
    void persistCurrentVocabBuffer();
    QString myWordsBudgetLine();
    // What the model files the selection does not use take on disk.
    qint64 unusedModelBytes();
    void refreshDiskLine();
    void refreshSelectionLine();
    void checkActivation();

    struct Unfilled;

    PrefsOwners& owners_;
    std::unique_ptr<Unfilled> unfilled_;
    PrefsState state_;
    std::unique_ptr<QWidget> window_;
    PrefsView* host_ = nullptr;
    // The application whose own vocabulary the words editor shows; none for the shared one.
    std::optional<std::pair<QString, QString>> vocabScope_;
    EditorBuffer vocabBuffer_{PrefsField::vocabText, {}};
    EditorBuffer replacementsBuffer_{PrefsField::replacementsText, {}};
    EditorBuffer myWordsBuffer_{PrefsField::myWordsText, {}};
    EditorBuffer commandsBuffer_{PrefsField::commandsText, {}};
};

}  // namespace murmelo
