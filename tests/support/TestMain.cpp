#include "base/Localization.h"

#include <QApplication>
#include <gmock/gmock.h>

// Every test process gets an offscreen GUI application so that widgets and painting work
// without a screen.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Interface texts in Russian, whatever the machine's own language.
    murmelo::Localization::resetForTesting(QStringList{QStringLiteral("ru")});
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
