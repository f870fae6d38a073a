#pragma once
#include <QString>

#include <optional>

namespace murmelo {

// The last check before a model's rewrite replaces the user's text: refuses answers that
// are no longer the text (empty, an unfinished reasoning block, a fragment, an essay, the
// text in another script). Pure functions, no state.
namespace RewriteGuard {

// Rules a caller waives because its action makes them meaningless.
struct Allowances {
    bool mayShrink = false;
    bool mayGrow = false;
    bool mayChangeScript = false;
    static Allowances none() { return {}; }
};

// None when the candidate is acceptable, else a short reason.
std::optional<QString> rejectionReason(const QString& original, const QString& candidate,
                                       const Allowances& allowing);

// The candidate when acceptable; otherwise logs why and answers the original unchanged.
QString accept(const QString& original, const QString& candidate, const QString& layer);

}  // namespace RewriteGuard
}  // namespace murmelo
