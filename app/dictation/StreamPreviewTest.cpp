#include "dictation/StreamPreview.h"

#include "TestEnvironment.h"
#include "dictation/Wav.h"
#include "platform/Folders.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

QByteArray samples(qint64 n) {
    QByteArray b(n, '\0');
    for (qint64 i = 0; i < n; ++i) b[i] = char(i % 251);
    return b;
}

TEST(PartialAudio, TakesTheSamplesBehindTheDataMarker) {
    EXPECT_EQ(partialPCM(wavHeader(0) + samples(1)), samples(1));
    EXPECT_EQ(partialPCM(QByteArray(44, 'x')), std::nullopt);  // too short
    EXPECT_EQ(partialPCM(wavHeader(0)), std::nullopt);         // nothing recorded yet
    // No marker in the first 1024 bytes: the samples start at 44.
    const QByteArray noMarker = QByteArray(44, 'h') + samples(2000);
    EXPECT_EQ(partialPCM(noMarker), samples(2000));
    // A marker past 1024 bytes is not looked for.
    const QByteArray late = QByteArray(1100, 'h') + "data" + samples(10);
    EXPECT_EQ(partialPCM(late)->size(), late.size() - 44);
}

TEST(PartialAudio, KeepsTheLastTwentyFiveSecondsOnWholeSamples) {
    const QByteArray forty = samples(16000 * 2 * 40);
    EXPECT_EQ(partialPCM(wavHeader(0) + forty), forty.right(800000));
    // One odd byte more: the cut moves a byte further to stay on a sample.
    const QByteArray odd = samples(16000 * 2 * 40 + 1);
    EXPECT_EQ(partialPCM(wavHeader(0) + odd), odd.right(799999));
}

TEST(PreviewPlacement, StandsBesideThePointerAndFlipsAtTheEdge) {
    const QRectF screen(0, 0, 1440, 900);
    auto orbAt = [](QPointF p) { return QRectF(p.x() + 16, p.y() - 132, 130, 130); };
    const PreviewAnchor middle = previewAnchor(orbAt({700, 450}), screen, false, 380);
    EXPECT_DOUBLE_EQ(middle.x, 700 + 115);
    EXPECT_DOUBLE_EQ(middle.top, 450 - 45);
    const PreviewAnchor nearRight = previewAnchor(orbAt({1440 - 500, 450}), screen, false, 380);
    EXPECT_DOUBLE_EQ(nearRight.x, 1440 - 500 - 333);
    const PreviewAnchor fits = previewAnchor(orbAt({1440 - 501, 450}), screen, false, 380);
    EXPECT_DOUBLE_EQ(fits.x, 1440 - 501 + 115);
    // Right to left: on the left first, on the right when there is no room.
    EXPECT_DOUBLE_EQ(previewAnchor(orbAt({700, 450}), screen, true, 380).x, 700 - 333);
    EXPECT_DOUBLE_EQ(previewAnchor(orbAt({100, 450}), screen, true, 380).x, 100 + 115);
    // The top stays on the screen; without a screen nothing is clamped.
    EXPECT_DOUBLE_EQ(previewAnchor(orbAt({700, 1000}), screen, false, 380).top, 894);
    EXPECT_DOUBLE_EQ(previewAnchor(orbAt({700, 1000}), std::nullopt, false, 380).top, 955);
}

struct Preview : ::testing::Test {
    test::TestEnvironment env;
    StreamPreview preview;
    QString file = Folders::join(env.root(), "rec.wav");
    struct Request {
        QByteArray contentType, body;
        std::function<void(HttpResult)> done;
    };
    QList<Request> requests;

    Preview() {
        preview.pointer = [] { return QPointF(300, 300); };
        preview.send = [this](const QUrl&, const QByteArray& type, const QByteArray& body,
                              std::function<void(HttpResult)> done) { requests.append({type, body, std::move(done)}); };
    }
    void record(qint64 bytes) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(wavHeader(0) + samples(bytes));
    }
    static HttpResult answer(const QByteArray& body) { return HttpResult{true, 200, body, {}, 0}; }
};

TEST_F(Preview, SendsFromThreeQuartersOfASecondAndShowsTheAnswer) {
    record(16000);
    preview.start(file);
    EXPECT_EQ(preview.panel().text(), "…");
    env.advance(1.2);
    EXPECT_TRUE(requests.isEmpty());

    record(24001);
    env.advance(1.2);
    ASSERT_EQ(requests.size(), 1);
    EXPECT_TRUE(requests[0].contentType.startsWith("multipart/form-data; boundary=Boundary-prev-"));
    EXPECT_TRUE(requests[0].body.contains("filename=\"p.wav\""));
    EXPECT_TRUE(requests[0].body.contains("name=\"response_format\"\r\n\r\ntext"));
    // One request at a time.
    env.advance(1.2);
    EXPECT_EQ(requests.size(), 1);

    requests[0].done(answer(" привет мир\n"));
    EXPECT_EQ(preview.panel().text(), "привет мир");
    EXPECT_FALSE(preview.busy());
    env.advance(1.2);
    EXPECT_EQ(requests.size(), 2);
}

TEST_F(Preview, EmptyFillerAndStaleAnswersAreNotShown) {
    record(30000);
    preview.start(file);
    env.advance(1.2);
    ASSERT_EQ(requests.size(), 1);
    requests[0].done(answer(""));
    EXPECT_EQ(preview.panel().text(), "…");
    env.advance(1.2);
    ASSERT_EQ(requests.size(), 2);
    requests[1].done(answer("\xff\xfe"));
    EXPECT_EQ(preview.panel().text(), "…");
    env.advance(1.2);
    ASSERT_EQ(requests.size(), 3);
    requests[2].done(answer(" Спасибо за просмотр!"));
    EXPECT_EQ(preview.panel().text(), "…");

    env.advance(1.2);
    ASSERT_EQ(requests.size(), 4);
    preview.hide();
    preview.start(file);
    requests[3].done(answer("старый ответ"));
    EXPECT_EQ(preview.panel().text(), "…");
    // Hidden, nothing ticks any more.
    preview.hide();
    env.advance(5);
    EXPECT_EQ(requests.size(), 4);
}

TEST_F(Preview, TurnedOffItDoesNothing) {
    env.defaults().set(STREAM_PREVIEW_ENABLED_KEY, false);
    record(30000);
    preview.start(file);
    env.advance(3);
    EXPECT_TRUE(requests.isEmpty());
    EXPECT_FALSE(preview.panel().isVisible());
}

}  // namespace
