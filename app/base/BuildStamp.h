#pragma once
#include <QString>
#include <QStringList>
#include <optional>

namespace murmelo {

// Whether a work build shows its floating build panel (absent means shown).
inline constexpr const char* BUILD_PANEL_KEY = "buildPanelShown";

// The build stamp of the running copy, read from the information the build wrote in.
namespace BuildStamp {

// The branch-name prefix the badge leaves out.
inline constexpr const char* badgePrefix = "feature/";

std::optional<QString> branch();
std::optional<QString> commit();
std::optional<QString> time();
std::optional<QString> root();
bool dirty();
// Up to three recent commit lines, newest first.
QStringList recent();
// Up to six lines of what is new on this branch; the recent lines when there are none.
QStringList whatsNew();
// Built from a branch other than the main line.
bool isWork();
bool showsPanel();
// A short form of the branch for the status item ("?" without a branch).
QString badge();
// "branch · commit[ + несохранённые правки][ · time]".
QString line();

}  // namespace BuildStamp
}  // namespace murmelo
