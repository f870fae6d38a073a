#pragma once
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>

namespace murmelo {

class Downloader;

// A downloadable corrector model: a gzip-compressed tar archive whose top folder is dirname.
struct CorrectorModelArtifact {
    QString filename;
    QString dirname;
    QString url;
    QString sha256;
    qint64 bytes = 0;
};

// The published model. It has no public home: its address comes from the build setting
// MURMELO_CORRECTOR_MODEL_HOST, and a build without it has no address.
const CorrectorModelArtifact& CORRECTOR_MODEL();

// Unpacks a downloaded archive into modelsDir and swaps it in for the installed model, which
// is kept until the new one is in place. None on success, else the reason.
std::optional<QString> unpackCorrectorModel(const QString& archive, const QString& modelsDir,
                                            const CorrectorModelArtifact& artifact = CORRECTOR_MODEL(),
                                            const QString& archiveTool = QStringLiteral("/usr/bin/tar"));

// Downloads, checks and installs the corrector model, then starts the corrector server.
// install runs on the main thread; the callbacks arrive there.
class CorrectorModelInstaller : public QObject {
public:
    struct Config {
        std::optional<CorrectorModelArtifact> artifact;  // empty: CORRECTOR_MODEL()
        QString modelsDir;                               // empty: the recognition models folder
        std::optional<qint64> minimumBytes;              // empty: the downloader's own floor
        QString archiveTool = QStringLiteral("/usr/bin/tar");
        // Runs the unpacking off the main thread (empty: the global thread pool).
        std::function<void(std::function<void()>)> background;
        // What follows a successful installation (empty: start the corrector server).
        std::function<void()> startServer;
    };
    using Progress = std::function<void(double fraction, qint64 written, qint64 expected)>;
    using Done = std::function<void(std::optional<QString> error)>;

    static CorrectorModelInstaller& shared();
    explicit CorrectorModelInstaller(Config config);
    CorrectorModelInstaller() : CorrectorModelInstaller(Config{}) {}
    ~CorrectorModelInstaller() override;

    void install(Progress progress = {}, Done done = {});
    bool isRunning() const { return isRunning_; }

private:
    void finished(const Done& done, std::optional<QString> error);

    Config config_;
    QPointer<Downloader> downloader_;
    bool isRunning_ = false;
};

}  // namespace murmelo
