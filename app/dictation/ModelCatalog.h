#pragma once
#include <QList>
#include <QString>
#include <functional>
#include <optional>
#include <utility>

namespace murmelo {

// Which engine runs a model: the recognition server or the in-process transducer.
enum class ASREngine { whisper, sherpa };

// One entry of the recognition model catalog.
struct ModelChoice {
    QString id;        // stored as the selection
    QString filename;  // the file in the models folder (a folder for the transducer model)
    QString url;       // download address: the file's public home unless the build names another host
    QString sha256;    // lower-case hex; empty for a folder model, whose files are checked one by one
    QString menuTitle;
    QString shortTitle;
    QString desc;
    ASREngine engine = ASREngine::whisper;
    QList<std::pair<QString, QString>> files;  // (name, sha256) a folder model must contain

    bool supportsPinnedLanguage() const { return engine == ASREngine::whisper; }
    // False only for the transducer given a language code.
    bool acceptsRecognitionLanguage(const std::optional<QString>& code) const {
        return !(engine == ASREngine::sherpa && code.has_value());
    }
    QString localizedDescription() const;
    bool operator==(const ModelChoice& o) const { return id == o.id; }
};

const QList<ModelChoice>& MODELS();
// The server's models, in catalog order.
QList<ModelChoice> WHISPER_MODELS();

// The selection: the user setting "selectedModelID", "q5" when nothing is stored.
inline constexpr const char* DEFAULTS_KEY = "selectedModelID";
QString currentSelectedID();
void setSelectedID(const QString& id);
// The catalog entry of the selection; none when the stored id is not in the catalog.
std::optional<ModelChoice> currentModel();
std::optional<ModelChoice> modelWithID(const QString& id);

// Which model to start at launch.
struct ModelStartDecision {
    enum class Kind { start, substitute, nothingDownloaded };
    Kind kind = Kind::nothingDownloaded;
    std::optional<ModelChoice> model;  // start: the selection; substitute: the one to use
    QString selected;
    bool selectedIsKnown = false;
};
ModelStartDecision modelStartDecision(const QString& selectedID, const QList<ModelChoice>& catalog,
                                      const std::function<bool(const ModelChoice&)>& isDownloaded);
// With the current selection, the catalog and the shared server manager's download test.
ModelStartDecision modelStartDecision();

// A file's size in bytes; 0 when it cannot be read.
qint64 fileSize(const QString& path);
// A byte count for display, in 1024-based units; zero is written as a number.
QString humanBytes(qint64 bytes);

}  // namespace murmelo
