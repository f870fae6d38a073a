#include "layout/ManualInputPendingReducerV1.h"

#include <cassert>

namespace murmelo {

namespace ManualInputPendingReducerV1 {

ManualInputPendingStateV1 reduce(const ManualInputPendingStateV1& state, const ManualInputDecisionV1& decision) {
    ManualInputPendingStateV1 next = state;
    if (decision.allows(ManualInputStateUpdateV1::pendingSourceClear)) next.pendingSource.reset();
    if (decision.allows(ManualInputStateUpdateV1::pendingSourceSet)) {
        const std::optional<QString> id = decision.sourceAction.sourceID();
        assert(id.has_value());
        // The decision constructor guarantees a source here; stay sound without asserts.
        if (id) next.pendingSource = ManualInputPendingSourceV1{*id, ownOwner};
    }
    return next;
}

}  // namespace ManualInputPendingReducerV1

}  // namespace murmelo
