#include "meetings/MeetingAudioSource.h"

#include "meetings/MeetingsSeam.h"
#include "platform/Service.h"
#include "sim/SimAudioInput.h"
#include "sim/SimDesktop.h"
#include "sim/SimProcesses.h"

#include <gtest/gtest.h>

namespace murmelo {
namespace {

namespace Source = MeetingAudioSource;

// A desktop with a music player, a call application and a browser, each with helper
// processes below it; this program is pid 500.
class MeetingAudioSourceTest : public ::testing::Test {
protected:
    MeetingAudioSourceTest() {
        music = desk.addApp("org.gnome.rhythmbox3", "Rhythmbox").identity.pid;
        zoom = desk.addApp("zoom", "Zoom").identity.pid;
        firefox = desk.addApp("firefox", "Firefox").identity.pid;
        safari = desk.addApp("com.apple.Safari", "Safari").identity.pid;
        webkit = desk.addApp("com.apple.WebKit.GPU", "").identity.pid;
        processes.add(qint32(music), 1, 0, "/usr/bin/rhythmbox");
        processes.add(qint32(zoom), 1, 0, "/opt/zoom/zoom");
        processes.add(qint32(firefox), 1, 0, "/usr/lib/firefox/firefox");
        processes.add(qint32(safari), 1, 0, "/safari");
        processes.add(qint32(webkit), 1, 0, "/webkit");
        processes.add(7001, qint32(firefox), 0, "/usr/lib/firefox/firefox");  // a content process
        processes.add(7002, qint32(firefox), 0, "/usr/lib/firefox/firefox");
        processes.add(7003, 7001, 0, "/a");  // further down the browser
        processes.add(7004, 7003, 0, "/b");
        processes.add(7005, 7004, 0, "/c");
        processes.add(7006, 7005, 0, "/d");
        processes.add(500, 1, 0, "/murmelo");
    }
    void play(std::initializer_list<qint64> pids) {
        mic.streams.clear();
        for (qint64 pid : pids) mic.streams.push_back({pid, QString("stream"), QString("bin")});
    }

    sim::SimDesktop desk;
    sim::SimProcesses processes{500};
    sim::SimAudioInput mic;
    ScopedService<Workspace> desk_{desk};
    ScopedService<Processes> processes_{processes};
    ScopedService<AudioInput> mic_{mic};
    qint64 music = 0, zoom = 0, firefox = 0, safari = 0, webkit = 0;
};

TEST_F(MeetingAudioSourceTest, TheCallApplicationNamesTheMeetingAndGivesItsProcess) {
    struct Case {
        const char* name;
        std::vector<qint64> playing;
        std::optional<QString> current;
        std::optional<qint64> callPid;
    };
    const Case cases[] = {
        {"nothing", {}, std::nullopt, std::nullopt},
        {"only this program", {500}, std::nullopt, std::nullopt},
        {"music before the call", {music, zoom}, QString("Zoom"), zoom},
        // A music player names the folder, but is no call to read names from.
        {"music alone", {music}, QString("Rhythmbox"), std::nullopt},
        {"a browser's helpers", {7002, 7001}, QString("Firefox"), firefox},
        {"a WebKit helper", {webkit}, QString("Safari"), safari},
        {"the browser is the fifth ancestor", {7006}, std::nullopt, std::nullopt},
        {"the browser is the fourth ancestor", {7005}, QString("Firefox"), firefox},
        {"a process gone", {9999}, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        mic.streams.clear();
        for (qint64 pid : c.playing) mic.streams.push_back({pid, QString("stream"), QString("bin")});
        EXPECT_EQ(Source::current(), c.current);
        EXPECT_EQ(Source::callAppPID(), c.callPid);
    }
}

TEST_F(MeetingAudioSourceTest, OneEntryPerApplicationWithoutThisProgram) {
    play({7001, 7002, music, 500, 7006});
    const QList<Source::Entry> expected = {{"Firefox", "firefox", firefox}, {"Rhythmbox", "org.gnome.rhythmbox3", music}};
    EXPECT_EQ(Source::playing(), expected);
    EXPECT_EQ(Source::parentPID(7003), 7001);
    EXPECT_EQ(Source::parentPID(4242), std::nullopt);
    processes.setReadable(false);
    EXPECT_EQ(Source::parentPID(7003), std::nullopt);
    EXPECT_TRUE(Source::isCallApp("Google-Chrome"));
    EXPECT_TRUE(Source::isCallApp("us.zoom.xos"));
    EXPECT_FALSE(Source::isCallApp("org.gnome.rhythmbox3"));
}

TEST_F(MeetingAudioSourceTest, TheSeamAnswersTheCallWindowQuestions) {
    play({music, zoom});
    MeetingsSeam seam;
    EXPECT_EQ(seam.meetingCallAppPID(), zoom);
    EXPECT_EQ(seam.localizedApplicationName(zoom), "Zoom");
    EXPECT_EQ(seam.localizedApplicationName(9999), "");
}

}  // namespace
}  // namespace murmelo
