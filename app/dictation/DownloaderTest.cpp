#include "dictation/Downloader.h"

#include "LocalHttpServer.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "dictation/ModelCatalog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThreadPool>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

using test::readFile;
using test::sha;

struct Outcome {
    int done = 0;
    bool ok = false;
    std::optional<QString> error;
    int verifying = 0;
    QList<std::tuple<double, qint64, qint64>> progress;
    QStringList order;
};

}  // namespace

class DownloaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = env.root() + "/models";
        dest = folder + "/ggml-tiny.bin";
        QDir().mkpath(folder);
        QFile f(dest);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("the old model");
    }

    // Runs one download to its end; the floor is 1000 bytes instead of 50 MB.
    Outcome run(const QUrl& url, const std::optional<QString>& digest, bool advanceToTimeout = false) {
        Outcome out;
        Downloader d(1000);
        d.onProgress = [&](double f, qint64 w, qint64 e) {
            out.progress.append({f, w, e});
            if (out.order.isEmpty() || out.order.last() != "progress") out.order << "progress";
        };
        d.onVerifying = [&] { ++out.verifying; out.order << "verifying"; };
        d.onDone = [&](bool ok, std::optional<QString> error) {
            ++out.done;
            out.ok = ok;
            out.error = error;
            out.order << "done";
        };
        d.start(url, dest, digest);
        if (advanceToTimeout) {
            env.waitFor([&] { return server.requests() > 0; });
            env.advance(MODEL_DOWNLOAD_TIMEOUT);
        }
        EXPECT_TRUE(env.waitFor([&] { return out.done > 0; }));
        // Late reports would show up here: the checking worker has returned, and what it or
        // the network posted is served.
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        env.runPending();
        return out;
    }
    // Only the destination is left in the folder: no partial or hidden files.
    QStringList leftovers() const {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    test::TestEnvironment env;
    test::LocalHttpServer server;
    QString folder;
    QString dest;
    const QByteArray model = QByteArray(300000, 'm') + "end";
};

TEST_F(DownloaderTest, AGoodFileReplacesTheOldOne) {
    server.set("/m.bin", {200, model});
    const Outcome out = run(server.url("/m.bin"), sha(model).toUpper());  // either case matches
    EXPECT_EQ(out.done, 1);
    EXPECT_TRUE(out.ok);
    EXPECT_EQ(out.error, std::nullopt);
    EXPECT_EQ(readFile(dest), model);
    EXPECT_EQ(leftovers(), QStringList{"ggml-tiny.bin"});
    EXPECT_EQ(out.verifying, 1);
    EXPECT_EQ(out.order, (QStringList{"progress", "verifying", "done"}));
    ASSERT_FALSE(out.progress.isEmpty());
    EXPECT_EQ(out.progress.last(), std::make_tuple(1.0, qint64(model.size()), qint64(model.size())));
}

TEST_F(DownloaderTest, FailuresLeaveTheOldModel) {
    struct Case {
        const char* name;
        test::LocalHttpServer::Reply reply;
        bool wrongDigest = false;
        QString error;  // the start of the message
    };
    const QByteArray page(200, 'p');
    const std::vector<Case> cases{
        {"small page", {200, page}, false, "HTTP 200, получено " + humanBytes(200)},
        {"not found", {404, QByteArray(5000, 'n')}, false, "HTTP 404, получено " + humanBytes(5000)},
        {"wrong digest", {200, model}, true, "контрольная сумма не сошлась: файл повреждён при загрузке или подменён.\n"},
        {"broken connection", {200, model, true, 100000}, false, ""},
    };
    for (const Case& c : cases) {
        server.set("/m.bin", c.reply);
        const QString digest = c.wrongDigest ? sha("other") : sha(c.reply.body);
        const Outcome out = run(server.url("/m.bin"), digest);
        EXPECT_EQ(out.done, 1) << c.name;
        EXPECT_FALSE(out.ok) << c.name;
        ASSERT_TRUE(out.error) << c.name;
        EXPECT_FALSE(out.error->isEmpty()) << c.name;
        EXPECT_TRUE(out.error->startsWith(c.error)) << c.name << ": " << out.error->toStdString();
        EXPECT_EQ(readFile(dest), "the old model") << c.name;
        EXPECT_EQ(leftovers(), QStringList{"ggml-tiny.bin"}) << c.name;
        EXPECT_EQ(out.verifying, c.wrongDigest ? 1 : 0) << c.name;
    }
    // The mismatch shows twelve characters of each digest, and is logged on one line.
    const QString expected = sha("other");
    const QString mismatch = "контрольная сумма не сошлась: файл повреждён при загрузке или подменён.\nОжидалось " +
                             expected.left(12) + "…, получено " + sha(model).left(12) + "…";
    EXPECT_TRUE(env.logContains("модель: " + QString(mismatch).replace('\n', ' ')));
}

TEST_F(DownloaderTest, WithoutLengthOrDigest) {
    server.set("/m.bin", {200, model, false});
    const Outcome out = run(server.url("/m.bin"), std::nullopt);
    EXPECT_TRUE(out.ok);
    EXPECT_EQ(out.verifying, 0);
    EXPECT_EQ(readFile(dest), model);
    ASSERT_FALSE(out.progress.isEmpty());
    for (const auto& [fraction, written, expected] : out.progress) {
        EXPECT_EQ(fraction, 0.0);
        EXPECT_LT(expected, 1);
    }
    EXPECT_EQ(std::get<1>(out.progress.last()), model.size());
}

TEST_F(DownloaderTest, ARelativeRedirectIsFollowed) {
    server.set("/moved", test::LocalHttpServer::redirect("/m.bin"));
    server.set("/m.bin", {200, model});
    const Outcome out = run(server.url("/moved"), sha(model));
    EXPECT_TRUE(out.ok);
    EXPECT_EQ(readFile(dest), model);
    EXPECT_EQ(server.requests(), 2);
    // Progress is the file's, not the redirect's.
    ASSERT_FALSE(out.progress.isEmpty());
    for (const auto& [fraction, written, expected] : out.progress) EXPECT_EQ(expected, model.size());
}

TEST_F(DownloaderTest, RefusedAddressesAndTimeOut) {
    Outcome out = run(QUrl(), sha(model));
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(out.error, QStringLiteral("адрес загрузки модели не задан"));
    // Plain http elsewhere is refused before anything is asked of the network.
    out = run(QUrl("http://models.example.invalid/m.bin"), sha(model));
    EXPECT_FALSE(out.ok);
    EXPECT_TRUE(out.error->startsWith("адрес загрузки модели отклонён")) << out.error->toStdString();
    EXPECT_EQ(server.requests(), 0);
    EXPECT_EQ(readFile(dest), "the old model");

    server.set("/slow.bin", {200, model, true, -1, true});
    out = run(server.url("/slow.bin"), std::nullopt, true);
    EXPECT_EQ(out.done, 1);
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(out.error, QStringLiteral("время загрузки истекло"));
    EXPECT_EQ(readFile(dest), "the old model");
    EXPECT_EQ(leftovers(), QStringList{"ggml-tiny.bin"});
}

TEST(ModelChecksum, DigestsAndMessages) {
    test::TestEnvironment env;
    const QString path = env.root() + "/f";
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("abc");
    f.close();
    EXPECT_EQ(sha256Hex(path), QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    EXPECT_EQ(modelChecksumError(path, "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"), std::nullopt);
    EXPECT_EQ(modelChecksumError(path, "ABCDEF0123456789"),
              QStringLiteral("контрольная сумма не сошлась: файл повреждён при загрузке или подменён.\n"
                             "Ожидалось ABCDEF012345…, получено ba7816bf8f01…"));
    EXPECT_EQ(sha256Hex(env.root() + "/none"), std::nullopt);
    EXPECT_EQ(modelChecksumError(env.root() + "/none", "00"), QStringLiteral("файл не читается для проверки суммы"));
}
