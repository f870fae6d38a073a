#include "dictation/ModelCatalog.h"
#include "dictation/ModelMenuSection.h"
#include "dictation/ModelPerformance.h"
#include "dictation/RecognitionLanguage.h"

#include "TestEnvironment.h"
#include "base/Localization.h"
#include "ui/AppState.h"

#include <QAction>
#include <QFile>
#include <QSet>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

QStringList ids(const QList<ModelChoice>& models) {
    QStringList out;
    for (const ModelChoice& m : models) out << m.id;
    return out;
}

auto downloaded(QSet<QString> present) {
    return [present](const ModelChoice& m) { return present.contains(m.id); };
}

}  // namespace

TEST(ModelCatalog, EntriesAndSelection) {
    test::TestEnvironment env;
    EXPECT_EQ(ids(MODELS()), (QStringList{"turbo", "q5", "large-v3-q5", "tiny", "parakeet-tdt-v3"}));
    EXPECT_EQ(ids(WHISPER_MODELS()), (QStringList{"turbo", "q5", "large-v3-q5", "tiny"}));
    for (const ModelChoice& m : MODELS()) {
        EXPECT_EQ(m.menuTitle, m.shortTitle) << m.id.toStdString();
        EXPECT_EQ(m.sha256.isEmpty(), m.engine == ASREngine::sherpa) << m.id.toStdString();
        EXPECT_EQ(m.files.isEmpty(), m.engine == ASREngine::whisper) << m.id.toStdString();
    }
    const ModelChoice parakeet = MODELS().last();
    EXPECT_FALSE(parakeet.supportsPinnedLanguage());
    EXPECT_FALSE(parakeet.acceptsRecognitionLanguage(QString("ru")));
    EXPECT_TRUE(parakeet.acceptsRecognitionLanguage(std::nullopt));
    EXPECT_TRUE(MODELS().first().acceptsRecognitionLanguage(QString("ru")));

    // Nothing stored: the second entry.
    EXPECT_EQ(currentSelectedID(), "q5");
    ASSERT_TRUE(currentModel());
    EXPECT_EQ(currentModel()->id, MODELS()[1].id);
    setSelectedID("tiny");
    EXPECT_EQ(currentModel()->filename, "ggml-tiny.bin");
    setSelectedID("medium-from-another-build");
    EXPECT_EQ(currentSelectedID(), "medium-from-another-build");
    EXPECT_FALSE(currentModel());
}

TEST(ModelCatalog, StartDecision) {
    using Kind = ModelStartDecision::Kind;
    struct Row {
        const char* name;
        QString selected;
        QSet<QString> present;
        Kind kind;
        QString use;
        bool selectedIsKnown;
    };
    const Row rows[] = {
        {"selected and downloaded", "q5", {"q5", "tiny"}, Kind::start, "q5", true},
        {"catalog order, not the nearest", "tiny", {"q5", "turbo"}, Kind::substitute, "turbo", true},
        {"only the transducer", "q5", {"parakeet-tdt-v3"}, Kind::substitute, "parakeet-tdt-v3", true},
        {"unknown selection", "medium", {"tiny"}, Kind::substitute, "tiny", false},
        {"nothing downloaded", "q5", {}, Kind::nothingDownloaded, "", false},
    };
    for (const Row& r : rows) {
        const ModelStartDecision d = modelStartDecision(r.selected, MODELS(), downloaded(r.present));
        EXPECT_EQ(d.kind, r.kind) << r.name;
        EXPECT_EQ(d.model ? d.model->id : QString(), r.use) << r.name;
        EXPECT_EQ(d.selected, r.selected) << r.name;
        if (r.kind == Kind::substitute) {
            EXPECT_EQ(d.selectedIsKnown, r.selectedIsKnown) << r.name;
        }
    }
    const ModelStartDecision empty = modelStartDecision("q5", {}, [](const ModelChoice&) { return true; });
    EXPECT_EQ(empty.kind, Kind::nothingDownloaded);
    EXPECT_EQ(empty.selected, "q5");
}

TEST(ModelCatalog, RecognitionLanguagePin) {
    test::TestEnvironment env;
    EXPECT_EQ(RecognitionLanguage::current(), "auto");
    EXPECT_FALSE(RecognitionLanguage::requestField());
    RecognitionLanguage::setCurrent("xx");
    EXPECT_EQ(env.defaults().stringValue("recogLanguage"), "xx");
    EXPECT_EQ(RecognitionLanguage::current(), "auto");
    EXPECT_FALSE(RecognitionLanguage::requestField());
    RecognitionLanguage::setCurrent("ru");
    EXPECT_EQ(RecognitionLanguage::requestField(), QString("ru"));
    env.defaults().set("recogLanguage", 7);
    EXPECT_EQ(RecognitionLanguage::current(), "auto");
    EXPECT_EQ(RecognitionLanguage::choices().size(), 15);
}

TEST(ModelCatalog, DescriptionsSpeedAndSizes) {
    test::TestEnvironment env;
    EXPECT_EQ(MODELS()[1].localizedDescription(), "547 МБ · Сжатая версия turbo, выбранная по умолчанию.");
    ModelChoice other;
    other.desc = "своё описание";
    EXPECT_EQ(other.localizedDescription(), "своё описание");

    EXPECT_FALSE(ModelPerformance::estimate("q5", "Apple M4 Max"));
    const auto range = ModelPerformance::estimate("q5", " Apple M5 Pro \n");
    ASSERT_TRUE(range);
    EXPECT_EQ(ModelPerformance::formattedRange(*range, "ru"), "0,7–2");
    EXPECT_EQ(ModelPerformance::formattedRange({1.5, 5.0}, "en"), "1.5–5");
    EXPECT_FALSE(ModelPerformance::estimate("medium", "Apple M5 Pro"));
    EXPECT_FALSE(ModelPerformance::hardwareName().isEmpty());

    // The machine's name in the speed note comes from /proc/cpuinfo; an ARM kernel's often
    // names no processor, and then the note speaks of this computer.
    const QByteArray intel = "processor\t: 0\nvendor_id\t: GenuineIntel\nmodel name\t: Intel(R) Core(TM) i7-8650U CPU @ "
                             "1.90GHz\nflags\t\t: fpu\n\nprocessor\t: 1\nmodel name\t: Intel(R) Core(TM) i7-8650U CPU @ 1.90GHz\n";
    const QByteArray arm = "processor\t: 0\nBogoMIPS\t: 108.00\nFeatures\t: fp asimd\nCPU implementer\t: 0x41\n"
                           "CPU part\t: 0xd08\n";
    EXPECT_EQ(ModelPerformance::processorName(intel), "Intel(R) Core(TM) i7-8650U CPU @ 1.90GHz");
    EXPECT_EQ(ModelPerformance::processorName(arm), std::nullopt);
    EXPECT_EQ(ModelPerformance::processorName("model name\t:   \n"), std::nullopt);
    EXPECT_EQ(ModelPerformance::hardwareName(ModelPerformance::processorName(intel)),
              "Intel(R) Core(TM) i7-8650U CPU @ 1.90GHz");
    EXPECT_EQ(ModelPerformance::hardwareName(ModelPerformance::processorName(arm)), "этого компьютера");
    Localization::resetForTesting(QStringList{"en"});
    EXPECT_EQ(ModelPerformance::hardwareName(std::nullopt), "this computer");
    Localization::resetForTesting(QStringList{"ru"});

    EXPECT_TRUE(humanBytes(0).contains('0'));
    // 1024-based units: a decimal formatter would say one gigabyte.
    EXPECT_TRUE(humanBytes(1000000000).startsWith("953,7")) << humanBytes(1000000000).toStdString();
    EXPECT_TRUE(humanBytes(1536).startsWith("1,5")) << humanBytes(1536).toStdString();

    EXPECT_EQ(fileSize(env.root() + "/missing.bin"), 0);
    QFile f(env.root() + "/five.bin");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("12345");
    f.close();
    EXPECT_EQ(fileSize(f.fileName()), 5);
}

TEST(ModelCatalog, MenuLineNamesTheSelectedModel) {
    test::TestEnvironment env;
    refreshModelMenu();  // no menu yet: nothing happens
    QAction item("Модель: —");
    AppState::shared().modelItem = &item;
    refreshModelMenu();
    EXPECT_EQ(item.text(), "Модель: Whisper large-v3-turbo · Q5_0");
    setSelectedID("gone");
    refreshModelMenu();
    EXPECT_EQ(item.text(), "Модель: —");
    AppState::shared().modelItem = nullptr;
}
