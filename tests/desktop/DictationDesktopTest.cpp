// The whole dictation on the real desktop: the program runs as the user starts it, the
// dictation key (right Ctrl) is held through XTest, the speech comes through PulseAudio's
// FIFO microphone, the stand-in recognition server answers, and the text is typed into the
// tests' target window.
#include "DesktopHarness.h"
#include "LocalHttpServer.h"
#include "StandIns.h"
#include "TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

// Last: Xlib's macros (None, Bool, Status) would break the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

using namespace murmelo;
using murmelo::test::writeFile;

namespace {

constexpr int kRightCtrlKeycode = 105;

// Three seconds of a voice-like sweep.
std::vector<qint16> speech() {
    std::vector<qint16> s(48000);
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / 16000;
        s[i] = qint16(std::lround(9000 * std::sin(2 * M_PI * (180 + 40 * t) * t)));
    }
    return s;
}

using test::speakIntoMicrophone;

QString readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The largest recording in the folder, in bytes.
qint64 recordedBytes(const QString& dir) {
    qint64 most = 0;
    for (const QFileInfo& i : QDir(dir).entryInfoList({"murmelo_rec_*.wav"}, QDir::Files)) most = std::max(most, i.size());
    return most;
}

}  // namespace

TEST(DesktopDictation, HoldingRightCtrlOverTheMicrophoneTypesTheRecognisedTextIntoTheTarget) {
    if (!test::DesktopTarget::available() || qEnvironmentVariableIsEmpty("MURMELO_MIC_FIFO"))
        GTEST_SKIP() << "needs the test desktop with its target window and FIFO microphone (scripts/desktop-session)";
    test::DesktopTarget target;
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());

    // The recognition server's stand-in, answering every recording with the phrase.
    writeFile(home.filePath("scripts/default.txt"), "привет мир\n");
    writeFile(home.filePath("model.bin"), "m");
    const quint16 port = test::freePort();
    test::StandIn server = test::spawnStandIn({test::toolPath("murmelo-whisper-stand-in"), "-m", home.filePath("model.bin"),
                                               "-l", "auto", "--port", QString::number(port), "--script-dir",
                                               home.filePath("scripts")});
    ASSERT_EQ(server.readLine(30000), "stand-in: listening at http://127.0.0.1:" + std::to_string(port));

    // The program, in a home of its own.
    QProcessEnvironment env = test::programEnvironment(home.path());
    test::putRecognitionModel(home.path());
    env.insert("MURMELO_SERVER", QString("http://127.0.0.1:%1/inference").arg(port));
    QProcess app;
    app.setProcessEnvironment(env);
    app.setProcessChannelMode(QProcess::ForwardedChannels);
    app.start(QCoreApplication::applicationDirPath() + "/murmelo", {});
    ASSERT_TRUE(app.waitForStarted(30000));
    const QString log = home.filePath("state/Murmelo/murmelo.log");
    auto logHas = [&](const QString& part) { return readAll(log).contains(part); };
    const bool ready = test::waitUntil([&] { return logHas("event-tap установлен"); }, 60);
    EXPECT_TRUE(ready) << readAll(log).toStdString();

    Display* keyboard = XOpenDisplay(nullptr);
    ASSERT_NE(keyboard, nullptr);
    if (ready) {
        ASSERT_TRUE(target.command("clear"));
        ASSERT_TRUE(target.command("focus line"));

        // The user holds the dictation key and speaks.
        XTestFakeKeyEvent(keyboard, kRightCtrlKeycode, True, 0);
        XFlush(keyboard);
        EXPECT_TRUE(test::waitUntil([&] { return logHas("=== старт записи ==="); }, 30)) << readAll(log).toStdString();
        QElapsedTimer held;
        held.start();
        const std::vector<qint16> spoken = speech();
        std::thread speaker(speakIntoMicrophone, spoken);
        const bool heard = test::waitUntil(
            [&] { return recordedBytes(home.filePath("tmp")) >= qint64(44 + spoken.size() * 2); }, 60);
        speaker.join();
        // The FIFO hands the samples over faster than they are spoken: the key stays down
        // for as long as the speech lasts, as a speaker's would.
        test::waitUntil([&] { return held.elapsed() >= 3500; }, 10);
        XTestFakeKeyEvent(keyboard, kRightCtrlKeycode, False, 0);
        XFlush(keyboard);
        EXPECT_TRUE(heard);

        const bool typed = test::waitUntil([&] { return target.line() == "привет мир"; }, 60);
        EXPECT_TRUE(typed) << "target holds: " << target.line().toStdString() << "\n" << readAll(log).toStdString();
        EXPECT_TRUE(logHas("распознано: "));
        EXPECT_TRUE(logHas("вставка: напечатано 10 симв. напрямую (без буфера)"));
    }
    XCloseDisplay(keyboard);
    app.terminate();
    if (!app.waitForFinished(20000)) app.kill();
}
