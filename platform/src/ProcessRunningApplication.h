#pragma once
#include "platform/RunningApplication.h"

namespace murmelo {

// The running process as Linux shows it: the executable from /proc/self/exe, no bundle
// (the executable stands for it) and no code signature.
class ProcessRunningApplication : public RunningApplication {
public:
    explicit ProcessRunningApplication(std::optional<QString> identifier = std::nullopt)
        : identifier_(std::move(identifier)) {}
    std::optional<QString> bundleIdentifier() const override { return identifier_; }
    QString bundlePath() const override;
    QString executablePath() const override;
    std::optional<QDateTime> executableModificationTime() const override;
    CodeSignature codeSignature() const override { return {CodeSignature::Kind::None, {}}; }

private:
    std::optional<QString> identifier_;
};

}  // namespace murmelo
