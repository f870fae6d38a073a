#pragma once
#include <QString>
#include <QStringList>

namespace murmelo {

// A modal alert as plain data: what it says and its buttons, the first being the default.
struct AlertModel {
    enum class Style { informational, warning };
    Style style = Style::warning;
    QString title;
    QString informative;
    QStringList buttons;
};

// Shows alerts modally and returns the index of the chosen button. The application shows Qt
// dialogs; tests install their own presenter (installService) and answer for the user.
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    virtual int run(const AlertModel& alert);

    static AlertPresenter& shared();
};

}  // namespace murmelo
