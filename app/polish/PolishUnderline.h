#pragma once
#include "platform/Accessibility.h"

#include <QRectF>
#include <QString>
#include <QWidget>
#include <vector>

namespace murmelo {

// Thin underlines under the words polish really changed in another application's field, in
// small floating panels. A mark follows its own occurrence of the text while the person
// edits around it, is drawn for 20 s, and reverts its change when its line is clicked or by
// the revert chord (the newest mark). Only the line takes the mouse: a click on the word
// itself goes to the application. Main thread only.
namespace PolishUnderline {

inline constexpr double SHOWN_FOR = 20.0;
inline constexpr int MAX_MARKS = 200;
// At most this many marks per polish.
inline constexpr int MARKS_PER_SHOW = 12;
// How far (UTF-16 units) a mark may move between two readings of the field.
inline constexpr qsizetype FOLLOW_WINDOW = 64;
// Seconds between two readings of the field while marks exist.
inline constexpr double TICK = 0.25;
// How long a fresh mark waits for its text to show in the field (keys land a little later).
inline constexpr double LANDING_WAIT = 1.5;
// Height of the strip under the word that shows the line and takes the clicks.
inline constexpr double STRIP = 5.0;

struct Change {
    AXRange after;
    AXRange before;
    bool operator==(const Change&) const = default;
};

struct Mark {
    int id = 0;
    AXRange range;
    QString text;
    QString was;
    double born = 0;  // uptime seconds
    // Its text was seen in the field at its range; until then it is neither drawn nor followed.
    bool seen = false;
};

// "polishUnderline"; on when absent.
bool isEnabled();
// The word-level changes between the two texts, as UTF-16 ranges in each.
std::vector<Change> changes(const QString& before, const QString& after);
std::vector<AXRange> changedSpans(const QString& before, const QString& after);

void show(const AXElementPtr& el, qsizetype base, const QString& before, const QString& after);
void clear();
void revert(int id);
void revertLast();

// The word that touches the position, on whole characters; empty when none does.
QString wordAround(const QString& text, qsizetype at);
// Where a mark whose range was `range` in `old` stands in `now`; none when its own occurrence
// cannot be told (the edit touched it, or the text moved too far). `caret`, when known, tells
// where a typed or erased run ended.
std::optional<AXRange> follow(AXRange range, const QString& old, const QString& now, std::optional<qsizetype> caret);
// The panel frame for a word's screen rectangle (top-left origin, y down), in the bottom-up
// model with the primary screen's top at `top`.
QRectF panelFrame(const QRectF& wordRect, double top);

class MarkView;
// Puts a panel over the word with its strip below; only the strip takes the mouse.
void placePanel(MarkView& view, const QRectF& wordRect, double top);

// What tests look at.
const std::vector<Mark>& marks();
std::vector<QWidget*> visiblePanels();
void resetForTesting();

// The view of one underline.
class MarkView : public QWidget {
public:
    explicit MarkView(QWidget* parent = nullptr);
    int markID = 0;
    bool hot = false;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
};

}  // namespace PolishUnderline
}  // namespace murmelo
