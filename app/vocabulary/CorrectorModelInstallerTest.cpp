#include "vocabulary/CorrectorModelInstaller.h"

#include "LocalHttpServer.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

using test::readFile;
using test::writeFile;

CorrectorModelArtifact artifact(const QString& url = {}, const QByteArray& archive = {}) {
    CorrectorModelArtifact a;
    a.filename = "vudi_ct2_int8.tar.gz";
    a.dirname = "vudi_ct2_int8";
    a.url = url;
    a.sha256 = test::sha(archive);
    a.bytes = archive.size();
    return a;
}

class CorrectorModelInstallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        models = env.root() + "/models";
        target = models + "/vudi_ct2_int8";
        writeFile(target + "/model.bin", "old weights");
        writeFile(target + "/tokenizer.json", "old tokenizer");
    }

    // A gzip tar archive of a folder built from the given files (path inside the archive -> bytes).
    QByteArray makeArchive(const QList<std::pair<QString, QByteArray>>& files, const QString& name = "a") {
        const QString src = env.root() + "/src-" + name;
        QDir(src).removeRecursively();
        QDir().mkpath(src);
        QStringList tops;
        for (const auto& [path, data] : files) {
            writeFile(src + "/" + path, data);
            const QString top = path.section('/', 0, 0);
            if (!tops.contains(top)) tops << top;
        }
        const QString out = env.root() + "/" + name + ".tar.gz";
        test::tar(QStringList{"-czf", out, "-C", src} + tops);
        return readFile(out);
    }
    QByteArray goodArchive() {
        return makeArchive({{"vudi_ct2_int8/model.bin", QByteArray(3000, 'w')},
                            {"vudi_ct2_int8/tokenizer.json", "{\"new\":true}"},
                            {"vudi_ct2_int8/config.json", "{}"}},
                           "good");
    }
    QString archivePath() const { return models + "/vudi_ct2_int8.tar.gz"; }
    QStringList entries() const {
        return QDir(models).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    std::unique_ptr<CorrectorModelInstaller> makeInstaller(const CorrectorModelArtifact& a) {
        CorrectorModelInstaller::Config config;
        config.artifact = a;
        config.modelsDir = models;
        config.minimumBytes = 100;
        config.startServer = [this] { ++serverStarts; };
        return std::make_unique<CorrectorModelInstaller>(config);
    }
    struct Outcome {
        int done = 0;
        std::optional<QString> error;
    };
    Outcome run(CorrectorModelInstaller& installer) {
        Outcome out;
        installer.install({}, [&](std::optional<QString> e) {
            ++out.done;
            out.error = e;
        });
        EXPECT_TRUE(env.waitFor([&] { return out.done > 0; }));
        return out;
    }

    test::TestEnvironment env;
    test::LocalHttpServer server;
    QString models, target;
    int serverStarts = 0;
};

}  // namespace

TEST_F(CorrectorModelInstallerTest, AGoodArchiveIsSwappedInAndDeleted) {
    const QByteArray archive = goodArchive();
    server.set("/load/vudi_ct2_int8.tar.gz", {200, archive});
    auto installer = makeInstaller(artifact(server.url("/load/vudi_ct2_int8.tar.gz").toString(), archive));
    QList<qint64> written;
    Outcome out;
    installer->install([&](double, qint64 w, qint64) { written << w; },
                       [&](std::optional<QString> e) {
                           ++out.done;
                           out.error = e;
                       });
    EXPECT_TRUE(installer->isRunning());
    ASSERT_TRUE(env.waitFor([&] { return out.done > 0; }));
    EXPECT_EQ(out.error, std::nullopt);
    EXPECT_FALSE(installer->isRunning());
    EXPECT_EQ(readFile(target + "/tokenizer.json"), "{\"new\":true}");
    EXPECT_EQ(readFile(target + "/config.json"), "{}");
    EXPECT_EQ(entries(), QStringList{"vudi_ct2_int8"}) << "archive, scratch and previous folders are gone";
    EXPECT_EQ(serverStarts, 1);
    ASSERT_FALSE(written.isEmpty());
    EXPECT_EQ(written.last(), archive.size());
    EXPECT_TRUE(env.logContains("corrector: качаю веса ("));
    EXPECT_TRUE(env.logContains("corrector: веса на месте (" + target + ") — поднимаю сайдкар"));
}

TEST_F(CorrectorModelInstallerTest, ArchivesThatAreNotCorrectorWeightsLeaveTheOldModel) {
    const struct {
        const char* name;
        QList<std::pair<QString, QByteArray>> files;
        QString reason;
    } cases[] = {
        {"no tokenizer", {{"vudi_ct2_int8/model.bin", "w"}}, "в архиве нет tokenizer.json — это не веса корректора"},
        {"other top folder", {{"other/model.bin", "w"}, {"other/tokenizer.json", "t"}},
         "в архиве нет model.bin — это не веса корректора"},
        {"nothing at all", {{"vudi_ct2_int8/readme", "r"}}, "в архиве нет model.bin — это не веса корректора"},
    };
    for (const auto& c : cases) {
        writeFile(archivePath(), makeArchive(c.files, "bad"));
        EXPECT_EQ(unpackCorrectorModel(archivePath(), models, artifact()), c.reason) << c.name;
        EXPECT_EQ(readFile(target + "/model.bin"), "old weights") << c.name;
        EXPECT_EQ(entries(), (QStringList{"vudi_ct2_int8", "vudi_ct2_int8.tar.gz"})) << c.name;
    }
}

TEST_F(CorrectorModelInstallerTest, ACorruptArchiveReportsTheToolStatusAndItsErrors) {
    writeFile(archivePath(), "this is not gzip");
    const auto reason = unpackCorrectorModel(archivePath(), models, artifact());
    ASSERT_TRUE(reason.has_value());
    EXPECT_TRUE(reason->startsWith("архив не распаковался (tar 2): ")) << reason->toStdString();
    EXPECT_FALSE(reason->endsWith("\n"));
    EXPECT_GT(reason->size(), QString("архив не распаковался (tar 2): ").size());
    EXPECT_EQ(readFile(target + "/model.bin"), "old weights");
}

TEST_F(CorrectorModelInstallerTest, ACrashBetweenTheSwapStepsLosesNoModel) {
    // The old model was moved aside and the new one never arrived; a scratch folder is left.
    ASSERT_TRUE(QDir().rename(target, models + "/.vudi_ct2_int8.old"));
    writeFile(models + "/.vudi_ct2_int8.unpack/junk", "x");
    writeFile(archivePath(), "broken");
    EXPECT_TRUE(unpackCorrectorModel(archivePath(), models, artifact()).has_value());
    EXPECT_EQ(readFile(target + "/model.bin"), "old weights");
    EXPECT_EQ(entries(), (QStringList{"vudi_ct2_int8", "vudi_ct2_int8.tar.gz"}));

    // With the old model in place, a stale previous folder is simply removed.
    writeFile(models + "/.vudi_ct2_int8.old/model.bin", "older");
    writeFile(archivePath(), goodArchive());
    EXPECT_EQ(unpackCorrectorModel(archivePath(), models, artifact()), std::nullopt);
    EXPECT_EQ(readFile(target + "/tokenizer.json"), "{\"new\":true}");
    EXPECT_EQ(entries(), (QStringList{"vudi_ct2_int8", "vudi_ct2_int8.tar.gz"}));
}

TEST_F(CorrectorModelInstallerTest, AFailedUnpackKeepsTheArchiveAndStartsNothing) {
    const QByteArray archive = makeArchive({{"vudi_ct2_int8/model.bin", QByteArray(300, 'w')}});
    server.set("/load/vudi_ct2_int8.tar.gz", {200, archive});
    auto installer = makeInstaller(artifact(server.url("/load/vudi_ct2_int8.tar.gz").toString(), archive));
    const Outcome out = run(*installer);
    EXPECT_EQ(out.error, "в архиве нет tokenizer.json — это не веса корректора");
    EXPECT_EQ(serverStarts, 0);
    EXPECT_EQ(readFile(archivePath()), archive);
    EXPECT_EQ(readFile(target + "/model.bin"), "old weights");
    EXPECT_TRUE(env.logContains("corrector: веса скачались, но не распаковались — в архиве нет tokenizer.json"));
}

TEST_F(CorrectorModelInstallerTest, DownloadFailuresChangeNothingInTheModelsFolder) {
    const QByteArray archive = goodArchive();
    server.set("/load/vudi_ct2_int8.tar.gz", {200, archive});
    CorrectorModelArtifact wrongDigest = artifact(server.url("/load/vudi_ct2_int8.tar.gz").toString(), archive);
    wrongDigest.sha256 = QString(64, '0');
    const struct {
        const char* name;
        CorrectorModelArtifact artifact;
    } cases[] = {
        {"not found", artifact(server.url("/load/missing.tar.gz").toString(), archive)},
        {"wrong checksum", wrongDigest},
    };
    for (const auto& c : cases) {
        auto installer = makeInstaller(c.artifact);
        const Outcome out = run(*installer);
        EXPECT_EQ(out.done, 1) << c.name;
        EXPECT_TRUE(out.error.has_value() && !out.error->isEmpty()) << c.name;
        EXPECT_EQ(entries(), QStringList{"vudi_ct2_int8"}) << c.name;
        EXPECT_EQ(serverStarts, 0) << c.name;
    }
    EXPECT_TRUE(env.logContains("corrector: веса не скачались — HTTP 404"));
}

TEST_F(CorrectorModelInstallerTest, ASecondInstallIsRefusedAndNoAddressIsReported) {
    const QByteArray archive = goodArchive();
    server.set("/load/vudi_ct2_int8.tar.gz", {200, archive});
    auto installer = makeInstaller(artifact(server.url("/load/vudi_ct2_int8.tar.gz").toString(), archive));
    int second = 0;
    Outcome out;
    installer->install({}, [&](std::optional<QString> e) {
        ++out.done;
        out.error = e;
    });
    installer->install({}, [&](std::optional<QString>) { ++second; });
    EXPECT_TRUE(env.logContains("corrector: загрузка весов уже идёт — второй раз не начинаю"));
    ASSERT_TRUE(env.waitFor([&] { return out.done > 0; }));
    EXPECT_EQ(out.error, std::nullopt);
    EXPECT_EQ(second, 0);

    auto unaddressed = makeInstaller(artifact());
    const Outcome none = run(*unaddressed);
    EXPECT_EQ(none.error, "веса корректора негде взять: адрес артефакта не задан в сборке");
    EXPECT_TRUE(env.logContains("corrector: веса корректора негде взять: адрес артефакта не задан в сборке"));
    EXPECT_TRUE(env.logContains("corrector: у модели корректора нет общедоступного адреса — его задают при сборке "
                                "(MURMELO_CORRECTOR_MODEL_HOST)"));
}
