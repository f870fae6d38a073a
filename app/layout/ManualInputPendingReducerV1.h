#pragma once
#include "layout/ManualInputRecordsV1.h"

namespace murmelo {

// How one decision changes the pending input-source selection. Pure.
namespace ManualInputPendingReducerV1 {

inline const QString ownOwner = QStringLiteral("ondrix");

ManualInputPendingStateV1 reduce(const ManualInputPendingStateV1& state, const ManualInputDecisionV1& decision);

}  // namespace ManualInputPendingReducerV1

}  // namespace murmelo
