#pragma once
// Every subsystem's seam, installed for the life of a test, so that a test of the start-up
// or the shutdown sees each call and nothing leaks into the next test.
#include "ai/AiSeam.h"
#include "base/BaseSeam.h"
#include "cleanup/CleanupSeam.h"
#include "diagnostics/DiagnosticsSeam.h"
#include "dictation/DictationNeighbours.h"
#include "dictation/DictationSeam.h"
#include "dictation/DictationTestSupport.h"
#include "input/InputSeam.h"
#include "keepawake/KeepAwakeSeam.h"
#include "layout/LayoutSeam.h"
#include "meetings/MeetingsSeam.h"
#include "onboarding/OnboardingSeam.h"
#include "presence/PresenceSeam.h"
#include "reply/ReplySeam.h"
#include "settings/SettingsSeam.h"
#include "stats/StatsSeam.h"
#include "ui/UiSeam.h"
#include "vocabulary/VocabularySeam.h"

namespace murmelo::test {

struct TestSeams {
    AiSeam ai;
    BaseSeam base;
    CleanupSeam cleanup;
    DiagnosticsSeam diagnostics;
    DictationSeam dictation;
    InputSeam input;
    KeepAwakeSeam keepawake;
    LayoutSeam layout;
    MeetingsSeam meetings;
    OnboardingSeam onboarding;
    PresenceSeam presence;
    ReplySeam reply;
    SettingsSeam settings;
    StatsSeam stats;
    UiSeam ui;
    VocabularySeam vocabulary;
    // The dictation neighbours the start-up binds the vocabulary into.
    PolishForDictation dictationPolish;
    DictationNeighbours dictationNeighbours{dictationPolish};

private:
    ScopedService<AiSeam> ai_{ai};
    ScopedService<BaseSeam> base_{base};
    ScopedService<CleanupSeam> cleanup_{cleanup};
    ScopedService<DiagnosticsSeam> diagnostics_{diagnostics};
    ScopedService<DictationSeam> dictation_{dictation};
    ScopedService<InputSeam> input_{input};
    ScopedService<KeepAwakeSeam> keepawake_{keepawake};
    ScopedService<LayoutSeam> layout_{layout};
    ScopedService<MeetingsSeam> meetings_{meetings};
    ScopedService<OnboardingSeam> onboarding_{onboarding};
    ScopedService<PresenceSeam> presence_{presence};
    ScopedService<ReplySeam> reply_{reply};
    ScopedService<SettingsSeam> settings_{settings};
    ScopedService<StatsSeam> stats_{stats};
    ScopedService<UiSeam> ui_{ui};
    ScopedService<VocabularySeam> vocabulary_{vocabulary};
    ScopedService<DictationNeighbours> dictationNeighbours_{dictationNeighbours};
};

}  // namespace murmelo::test
