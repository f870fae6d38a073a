#pragma once
#include "settings/PrefsState.h"

#include <QSize>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace murmelo {

// The settings root view: the rail of pages and the page column, drawn from the model. Until
// the pages are built the column holds the page's title and the status lines the model
// already carries.
class PrefsView : public QWidget {
public:
    static constexpr double railW = 210;
    static constexpr double railRowHeight = 36;
    static constexpr double padding = 24;

    explicit PrefsView(PrefsState& state, QWidget* parent = nullptr);

    // What the page column shows, first line the title.
    QStringList pageLines() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PrefsState& state_;
};

}  // namespace murmelo
