#include "meetings/MeetingPreflight.h"

#include "LocalHttpServer.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "meetings/MeetingStore.h"
#include "platform/Service.h"
#include "sim/SimAudioInput.h"
#include "sim/SimKeyStore.h"

#include <QThreadPool>
#include <gtest/gtest.h>

#include <future>

namespace murmelo {
namespace {

namespace MP = MeetingPreflight;

// Everything in place.
MP::Facts fine() {
    MP::Facts f;
    f.systemAudio = true;
    f.microphone = true;
    f.inputName = QStringLiteral("Встроенный микрофон");
    f.serverAnswers = true;
    f.freeGB = 120.4;
    f.untranscribed = 0;
    f.cloudAllowed = true;
    f.providerReady = true;
    return f;
}

TEST(MeetingPreflightReport, FailedChecksComeFirstWithTheirSymbolAndTheSummaryCounts) {
    struct Case {
        const char* name;
        std::function<void(MP::Facts&)> change;
        QString expected;
    };
    const QString header = QStringLiteral("=== готовность к записи встречи ===\n");
    const QString system = QStringLiteral("звук собеседника (монитор вывода): есть - собеседник пишется отдельным каналом\n");
    const QString mic = QStringLiteral("✓ микрофон: есть\n");
    const QString device = QStringLiteral("✓ устройство входа: Встроенный микрофон\n");
    const QString server = QStringLiteral("✓ распознавание (whisper): отвечает\n");
    const QString disk = QStringLiteral("✓ место на диске: 120 ГБ свободно (получас записи ≈ 0.11 ГБ)\n");
    const QString orphans = QStringLiteral("✓ записи без расшифровки: нет\n");
    const QString notes = QStringLiteral("✓ заметки облачной моделью: разрешены, ключ есть\n");
    const Case cases[] = {
        {"all in place", [](MP::Facts&) {},
         header + "✓ " + system + mic + device + server + disk + orphans + notes + "\nвсё на месте"},
        {"no microphone, server down",
         [](MP::Facts& f) {
             f.microphone = false;
             f.inputName = QStringLiteral("нет устройства");
             f.serverAnswers = false;
         },
         header + "✗ микрофон: НЕТ - записывать нечем\n"
                  "⚠ распознавание (whisper): молчит - запись сохранится, расшифровка будет позже\n" +
             "✓ " + system + "✓ устройство входа: нет устройства\n" + disk + orphans + notes +
             "\nне в порядке: 2 из 7 (есть смертельное)"},
        {"0.9 GB free, no monitor, two waiting, notes without key",
         [](MP::Facts& f) {
             f.freeGB = 0.9;
             f.systemAudio = false;
             f.untranscribed = 2;
             f.providerReady = false;
         },
         header + "⚠ звук собеседника (монитор вывода): НЕТ - запись пойдёт только с микрофона, в наушниках собеседника не будет\n"
                  "✗ место на диске: 1 ГБ свободно (получас записи ≈ 0.11 ГБ)\n"
                  "⚠ записи без расшифровки: 2 шт. - разговор на диске есть, текста нет\n" +
             mic + device + server + "✓ заметки облачной моделью: разрешены, НО КЛЮЧА НЕТ\n" +
             "\nне в порядке: 3 из 7 (есть смертельное)"},
        {"only degraded, notes off, no device name",
         [](MP::Facts& f) {
             f.serverAnswers = false;
             f.cloudAllowed = false;
         },
         header + "⚠ распознавание (whisper): молчит - запись сохранится, расшифровка будет позже\n" + "✓ " + system +
             mic + device + disk + orphans + "✓ заметки облачной моделью: выключены - наружу ничего не уйдёт\n" +
             "\nне в порядке: 1 из 7"},
    };
    for (const Case& c : cases) {
        MP::Facts f = fine();
        c.change(f);
        EXPECT_EQ(MP::format(MP::checks(f)), c.expected) << c.name;
    }
}

TEST(MeetingPreflightReport, AnEmptyDeviceNameAndLittleSpaceAreFatal) {
    MP::Facts f = fine();
    f.inputName.clear();
    f.freeGB = 0.999;
    const QList<MP::Check> checks = MP::checks(f);
    ASSERT_EQ(checks.size(), 7);
    EXPECT_EQ(checks[2], (MP::Check{"устройство входа", false, true, "не определено"}));
    EXPECT_TRUE(checks[4].fatal);
    EXPECT_FALSE(checks[4].ok);
    f.freeGB = 1.0;
    EXPECT_TRUE(MP::checks(f)[4].ok);
    EXPECT_FALSE(MP::checks(f)[4].fatal);
}

class MeetingPreflightTest : public ::testing::Test {
protected:
    MeetingPreflightTest() { MeetingStore::setRootsForTesting(env.root() + "/meetings"); }
    ~MeetingPreflightTest() override {
        MeetingStore::setRecordingFolder(std::nullopt);
        MeetingStore::setRootsForTesting(std::nullopt);
    }
    // Runs a blocking call on another thread while this one serves the test's server.
    template <class F>
    auto offMain(F f) {
        auto future = std::async(std::launch::async, std::move(f));
        EXPECT_TRUE(env.waitFor([&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
        return future.get();
    }
    MeetingStore::Folder recorded(const char* at) {
        const auto folder = MeetingStore::create(QDateTime::fromString(QString::fromLatin1(at), Qt::ISODate), QString("Zoom"));
        test::writeFile(folder->mic(), QByteArray(44, '\0'));
        return *folder;
    }

    test::TestEnvironment env;
    sim::SimAudioInput audio;
    sim::SimKeyStore keys;
    ScopedService<AudioInput> audioScope{audio};
    ScopedService<KeyStore> keysScope{keys};
};

TEST_F(MeetingPreflightTest, AnyHttpAnswerCountsAndAClosedPortIsSilent) {
    test::LocalHttpServer server;
    server.set("/", {500, "broken"});
    EXPECT_TRUE(offMain([&] { return MP::ping(server.url("/")); }));
    EXPECT_EQ(server.requests(), 1);
    EXPECT_FALSE(offMain([] { return MP::ping(QUrl(QString("http://127.0.0.1:%1/").arg(test::freePort()))); }));
}

TEST_F(MeetingPreflightTest, TheMachineIsAskedAndTheFolderBeingRecordedIsNotWaitingForATranscript) {
    audio.device = std::nullopt;
    recorded("2026-12-01T10:00:00Z");
    const MeetingStore::Folder live = recorded("2026-12-11T10:00:00Z");
    MeetingStore::setRecordingFolder(live.url);

    const MP::Facts f = MP::gather(QUrl(QString("http://127.0.0.1:%1/").arg(test::freePort())));
    EXPECT_TRUE(f.systemAudio);
    EXPECT_FALSE(f.microphone);
    EXPECT_EQ(f.inputName, "нет устройства");
    EXPECT_FALSE(f.serverAnswers);
    EXPECT_GT(f.freeGB, 0);
    EXPECT_EQ(f.untranscribed, 1);
    EXPECT_FALSE(f.cloudAllowed);

    audio.noServer = true;
    EXPECT_FALSE(MP::gather(QUrl(QString("http://127.0.0.1:%1/").arg(test::freePort()))).systemAudio);
}

TEST_F(MeetingPreflightTest, AfterAStartTheFailedChecksAreLoggedFromAWorker) {
    audio.device = std::nullopt;
    MP::runAfterStart();
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_TRUE(env.logContains("⚠ ВСТРЕЧА: микрофон - НЕТ - записывать нечем"));
    EXPECT_FALSE(env.logContains("устройство входа"));
    EXPECT_FALSE(env.logContains("заметки облачной моделью"));
}

}  // namespace
}  // namespace murmelo
