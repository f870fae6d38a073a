#include "dictation/ModelCatalog.h"

#include "base/Defaults.h"
#include "base/Localization.h"
#include "dictation/ModelAddress.h"
#include "dictation/ServerManager.h"

#include <QFileInfo>
#include <QLocale>

#ifndef MURMELO_WHISPER_MODEL_HOST
#define MURMELO_WHISPER_MODEL_HOST ""
#endif
#ifndef MURMELO_RELEASE_HOST
#define MURMELO_RELEASE_HOST ""
#endif

namespace murmelo {
namespace {

ModelChoice whisper(const char* id, const char* file, const char* sha, const QString& title) {
    ModelChoice m;
    m.id = QString::fromLatin1(id);
    m.filename = QString::fromLatin1(file);
    m.url = modelAddress(MURMELO_WHISPER_MODEL_HOST, WHISPER_MODEL_HOST,
                         QString::fromLatin1(WHISPER_MODEL_PATH) + m.filename);
    m.sha256 = QString::fromLatin1(sha);
    m.menuTitle = m.shortTitle = m.desc = title;
    m.engine = ASREngine::whisper;
    return m;
}

ModelChoice parakeet() {
    ModelChoice m;
    m.id = m.filename = QStringLiteral("parakeet-tdt-v3");
    m.url = modelAddress(MURMELO_RELEASE_HOST, RELEASE_HOST, QString::fromLatin1(PARAKEET_ARCHIVE_PATH));
    m.menuTitle = m.shortTitle = m.desc = QStringLiteral("Parakeet TDT 0.6b v3 · int8 ONNX");
    m.engine = ASREngine::sherpa;
    m.files = {
        {QStringLiteral("encoder.int8.onnx"), QStringLiteral("acfc2b4456377e15d04f0243af540b7fe7c992f8d898d751cf134c3a55fd2247")},
        {QStringLiteral("decoder.int8.onnx"), QStringLiteral("179e50c43d1a9de79c8a24149a2f9bac6eb5981823f2a2ed88d655b24248db4e")},
        {QStringLiteral("joiner.int8.onnx"), QStringLiteral("3164c13fc2821009440d20fcb5fdc78bff28b4db2f8d0f0b329101719c0948b3")},
        {QStringLiteral("tokens.txt"), QStringLiteral("d58544679ea4bc6ac563d1f545eb7d474bd6cfa467f0a6e2c1dc1c7d37e3c35d")},
    };
    return m;
}

const QString DEFAULT_SELECTION = QStringLiteral("q5");

}  // namespace

const QList<ModelChoice>& MODELS() {
    static const QList<ModelChoice> catalog{
        whisper("turbo", "ggml-large-v3-turbo.bin", "1fc70f774d38eb169993ac391eea357ef47c88757ef72ee5943879b7e8e2bc69",
                QStringLiteral("Whisper large-v3-turbo")),
        whisper("q5", "ggml-large-v3-turbo-q5_0.bin", "394221709cd5ad1f40c46e6031ca61bce88931e6e088c188294c6d5a55ffa7e2",
                QStringLiteral("Whisper large-v3-turbo · Q5_0")),
        whisper("large-v3-q5", "ggml-large-v3-q5_0.bin",
                "d75795ecff3f83b5faa89d1900604ad8c780abd5739fae406de19f23ecd98ad1",
                QStringLiteral("Whisper large-v3 · Q5_0")),
        whisper("tiny", "ggml-tiny.bin", "be07e048e1e599ad46341c8d2a135645097a538221678b7acdd1b1919c6e1b21",
                QStringLiteral("Whisper tiny")),
        parakeet(),
    };
    return catalog;
}

QList<ModelChoice> WHISPER_MODELS() {
    QList<ModelChoice> out;
    for (const ModelChoice& m : MODELS())
        if (m.engine == ASREngine::whisper) out << m;
    return out;
}

QString ModelChoice::localizedDescription() const {
    if (id == QLatin1String("tiny"))
        return L(QStringLiteral("prefs.model.tiny.detail"),
                 QStringLiteral("74 МБ · Самая маленькая модель. Чаще ошибается в сложной речи."));
    if (id == QLatin1String("q5"))
        return L(QStringLiteral("prefs.model.q5.detail"), QStringLiteral("547 МБ · Сжатая версия turbo, выбранная по умолчанию."));
    if (id == QLatin1String("turbo"))
        return L(QStringLiteral("prefs.model.turbo.detail"), QStringLiteral("1,5 ГБ · Версия turbo без сжатия Q5_0."));
    if (id == QLatin1String("large-v3-q5"))
        return L(QStringLiteral("prefs.model.large.detail"), QStringLiteral("1 ГБ · Полная large-v3 со сжатием Q5_0."));
    if (id == QLatin1String("parakeet-tdt-v3"))
        return L(QStringLiteral("prefs.model.parakeet.detail"),
                 QStringLiteral("642 МБ · 25 европейских языков, включая русский. Свои термины не учитываются при "
                                "распознавании."));
    return desc;
}

QString currentSelectedID() {
    return Defaults::shared().stringValue(QString::fromLatin1(DEFAULTS_KEY)).value_or(DEFAULT_SELECTION);
}

void setSelectedID(const QString& id) { Defaults::shared().set(QString::fromLatin1(DEFAULTS_KEY), id); }

std::optional<ModelChoice> modelWithID(const QString& id) {
    for (const ModelChoice& m : MODELS())
        if (m.id == id) return m;
    return std::nullopt;
}

std::optional<ModelChoice> currentModel() { return modelWithID(currentSelectedID()); }

ModelStartDecision modelStartDecision(const QString& selectedID, const QList<ModelChoice>& catalog,
                                      const std::function<bool(const ModelChoice&)>& isDownloaded) {
    ModelStartDecision d;
    d.selected = selectedID;
    if (catalog.isEmpty()) return d;
    const ModelChoice* selected = nullptr;
    for (const ModelChoice& m : catalog)
        if (m.id == selectedID) {
            selected = &m;
            break;
        }
    if (selected && isDownloaded(*selected)) {
        d.kind = ModelStartDecision::Kind::start;
        d.model = *selected;
        d.selectedIsKnown = true;
        return d;
    }
    for (const ModelChoice& m : catalog) {
        if (!isDownloaded(m)) continue;
        d.kind = ModelStartDecision::Kind::substitute;
        d.model = m;
        d.selectedIsKnown = selected != nullptr;
        return d;
    }
    return d;
}

ModelStartDecision modelStartDecision() {
    return modelStartDecision(currentSelectedID(), MODELS(),
                              [](const ModelChoice& m) { return ServerManager::shared().isDownloaded(m); });
}

qint64 fileSize(const QString& path) {
    const QFileInfo info(path);
    return info.exists() ? info.size() : 0;
}

QString humanBytes(qint64 bytes) {
    return QLocale(Localization::language()).formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

}  // namespace murmelo
