#pragma once
#include "cleanup/SmartCleanupScenarioStore.h"
#include "cleanup/SmartCleanupSelfTestEvaluator.h"

#include <functional>
#include <mutex>
#include <optional>

namespace murmelo {

// Decides from the protected corpus which list skills the live clean-up may use, activates
// them, evaluates the full corpus with the user's confirmed scenarios and records a snapshot.
class SmartCleanupSelfLearningCoordinator {
public:
    using CorpusProvider = std::function<QList<SmartCleanupScenarioCase>()>;

    static SmartCleanupSelfLearningCoordinator& shared();
    // The built-in corpus followed by the generated one.
    static QList<SmartCleanupScenarioCase> defaultProtectedCorpus();

    explicit SmartCleanupSelfLearningCoordinator(SmartCleanupScenarioStore& store = SmartCleanupScenarioStore::shared(),
                                                 SmartCleanupSelfTestEvaluator evaluator = {},
                                                 CorpusProvider protectedCorpusProvider = defaultProtectedCorpus);

    // Main thread. Returns the full-corpus report.
    SmartCleanupEvaluationReport runEvaluation();
    // The launch run, with its log line.
    void start();

    std::optional<SmartCleanupEvaluationReport> lastReport() const;

private:
    SmartCleanupScenarioStore& store_;
    SmartCleanupSelfTestEvaluator evaluator_;
    CorpusProvider protectedCorpusProvider_;
    mutable std::mutex lock_;  // guards latest_ only
    std::optional<SmartCleanupEvaluationReport> latest_;
};

}  // namespace murmelo
