#include "stats/MonthlyBenefitFormula.h"

#include <algorithm>

namespace murmelo::MonthlyBenefitFormula {

double cappedPause(double seconds) {
    // Written so that NaN fails the comparison and lands on 0.
    const double s = seconds >= 0 ? seconds : 0.0;
    return std::min(s, pauseCapSeconds);
}

}  // namespace murmelo::MonthlyBenefitFormula
