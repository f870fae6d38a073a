#pragma once
#include "layout/ManualInputRecordsV1.h"

namespace murmelo {

// The switcher's three process-wide switches that loosen the gates of an automatic source
// switch. Each is read once: the environment variable when it is exactly "1", else the
// user-defaults Boolean (false when unset).
struct ManualInputSourceRules {
    bool ruleTisAlways = false;       // MURMELO_RULE_TIS_ALWAYS / layoutTisAlways
    bool ruleTisInEdit = false;       // MURMELO_RULE_TIS_IN_EDIT / layoutTisInEdit
    bool ruleTisUnconfirmed = false;  // MURMELO_RULE_TIS_UNCONFIRMED / layoutTisUnconfirmed

    static ManualInputSourceRules read();
    // Read on first use, then fixed for the process.
    static const ManualInputSourceRules& process();
};

// The rule book of the manual-input model, version 1: one snapshot in, one decision out, the
// reason codes its whole account of why. Pure; safe on any thread.
namespace ManualInputDecisionArbiterV1 {

ManualInputDecisionV1 decide(const ManualInputSnapshotV1& snapshot);
ManualInputDecisionV1 decide(const ManualInputSnapshotV1& snapshot, const ManualInputSourceRules& rules);

}  // namespace ManualInputDecisionArbiterV1

}  // namespace murmelo
