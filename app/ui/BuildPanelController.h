#pragma once
#include <QColor>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QStringList>
#include <QWidget>
#include <optional>

namespace murmelo {

// What the build panel shows and where, worked out from the build stamp. Frames are in
// points inside the panel with the origin at the bottom left.
struct BuildPanelModel {
    static constexpr double W = 232;
    static constexpr double PAD = 10;
    static constexpr double GAP = 3;
    static constexpr double MARGIN = 14;
    static constexpr int MAX_LINES = 4;
    static constexpr double LINE_HEIGHT = 14;

    QString title;
    QString detail;
    QStringList lines;    // the lines shown
    int availableLines = 0;  // all lines of what is new
    double height = 0;
    QRectF titleFrame, detailFrame, dividerFrame, closeFrame;
    QList<QRectF> lineFrames;

    // The panel for the current stamp; nothing when there is no line to show.
    static std::optional<BuildPanelModel> current();
    // The panel's top-left corner in Qt screen coordinates: MARGIN inside the bottom-right
    // corner of the screen's available area.
    QPointF topLeftOn(const QRect& available) const;
    QString logLine() const;

    // The dark heads-up surface and its text colours.
    static QColor surface();
    static QColor border();
    static QColor label();
    static QColor tertiaryLabel();
    static QColor quaternaryLabel();
    static QColor separator();
};

// The small floating panel of a work build listing what is new in it.
class BuildPanelController : public QObject {
    Q_OBJECT
public:
    static BuildPanelController& shared();

    // Shows, rebuilds or removes the panel as the stamp and "buildPanelShown" say.
    void refresh();
    // Removes the panel without a word in the log.
    void hide();
    // The panel's close button: gone for this session only.
    void closeClicked();

    QWidget* panel() const { return panel_; }

private:
    QPointer<QWidget> panel_;
};

}  // namespace murmelo
