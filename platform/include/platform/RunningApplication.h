#pragma once
#include <QDateTime>
#include <QString>
#include <optional>

namespace murmelo {

// What the running copy knows about itself: its identity and where its code lives.
struct CodeSignature {
    enum class Kind { AdHoc, Certificate, UnnamedCertificate, None, Unreadable };
    Kind kind = Kind::None;
    QString commonName;
};

class RunningApplication {
public:
    virtual ~RunningApplication() = default;
    // The application identifier ("com.local.murmelo" for the application itself);
    // empty for test hosts and tools that link the code.
    virtual std::optional<QString> bundleIdentifier() const = 0;
    virtual QString bundlePath() const = 0;
    virtual QString executablePath() const = 0;
    virtual std::optional<QDateTime> executableModificationTime() const = 0;
    virtual CodeSignature codeSignature() const = 0;

    static RunningApplication& shared();
    static void install(RunningApplication* app);
};

}  // namespace murmelo
