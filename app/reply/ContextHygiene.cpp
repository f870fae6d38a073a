#include "reply/ContextHygiene.h"

#include <QChar>
#include <QStringView>

namespace murmelo::ContextHygiene {

namespace {

// Each prefix is the one its issuer publishes for the format.
const QStringList& secretPatterns() {
    static const QStringList patterns{
        // OpenAI API keys start "sk-" (the API reference, Authentication).
        QStringLiteral("sk-[A-Za-z0-9_-]{20,}"),
        // GitHub tokens: "gh" and the type letter, then "_" (GitHub's token formats of 2021).
        QStringLiteral("gh[pousr]_[A-Za-z0-9]{20,}"),
        // AWS access key ids of long-term credentials start "AKIA" (IAM user guide).
        QStringLiteral("AKIA[0-9A-Z]{16}"),
        // Slack tokens: "xox" and the type letter (Slack's token types).
        QStringLiteral("xox[baprs]-[A-Za-z0-9-]{10,}"),
        // Google API keys start "AIza" (Google Cloud, API keys).
        QStringLiteral("AIza[0-9A-Za-z_-]{35}"),
        // A compact JSON Web Token (RFC 7519): its header is JSON, so base64url of `{"` opens it.
        QStringLiteral("eyJ[A-Za-z0-9_-]{8,}\\.[A-Za-z0-9_-]{8,}\\.[A-Za-z0-9_-]{8,}"),
        QStringLiteral("(?i)bearer\\s+[A-Za-z0-9._~+/-]{20,}"),
        // RFC 7468 boundaries: "PRIVATE KEY", "ENCRYPTED PRIVATE KEY", and the "RSA …",
        // "EC …", "OPENSSH …" labels that other tools write in the same form.
        QStringLiteral("(?s)-----BEGIN [A-Z ]*PRIVATE KEY-----.*?-----END [A-Z ]*PRIVATE KEY-----"),
        QStringLiteral("(?i)(?:password|passwd|пароль)\\s*[:=]\\s*\\S+"),
    };
    return patterns;
}

// The digits of a text: characters with a whole-number value, any script, in order.
QList<int> digitsOf(QStringView text) {
    QList<int> digits;
    for (const char32_t c : text.toUcs4()) {
        const int value = QChar::digitValue(c);
        if (value >= 0) digits << value;
    }
    return digits;
}

bool luhnValid(const QList<int>& digits) {
    if (digits.size() < 13 || digits.size() > 19) return false;
    int sum = 0;
    bool doubled = false;
    for (qsizetype i = digits.size() - 1; i >= 0; --i) {
        int d = digits[i];
        if (doubled) {
            d *= 2;
            if (d > 9) d -= 9;
        }
        sum += d;
        doubled = !doubled;
    }
    return sum % 10 == 0;
}

}  // namespace

const QList<Regex>& compiled() {
    static const QList<Regex> table = [] {
        QList<Regex> out;
        for (const QString& pattern : secretPatterns()) {
            const Regex re = Regex::compile(pattern);
            if (re.isValid()) out << re;
        }
        return out;
    }();
    return table;
}

const Regex& cardPattern() {
    static const Regex card = Regex::compile(QStringLiteral("\\b(?:\\d[ -]?){13,19}\\b"));
    return card;
}

bool isLuhnValid(const QString& text) { return luhnValid(digitsOf(text)); }

Redaction redactSecrets(const QString& text) {
    Redaction r{text, 0};
    for (const Regex& pattern : compiled()) {
        const QList<Regex::Match> found = pattern.matches(r.text);
        if (found.isEmpty()) continue;
        r.redacted += int(found.size());
        r.text = pattern.replace(r.text, mark);
    }

    if (!cardPattern().isValid()) return r;
    QString out;
    qsizetype from = 0;
    for (const Regex::Match& m : cardPattern().matches(r.text)) {
        if (m.start() < from || m.end() > r.text.size()) continue;
        QStringView number = QStringView(r.text).mid(m.start(), m.length());
        if (!luhnValid(digitsOf(number))) continue;
        // The pattern may take a separator after the last digit; it belongs to the text around.
        while (number.endsWith(u' ') || number.endsWith(u'-')) number.chop(1);
        out += QStringView(r.text).mid(from, m.start() - from);
        out += mark;
        from = m.start() + number.size();
        ++r.redacted;
    }
    if (from > 0) r.text = out + r.text.mid(from);
    return r;
}

}  // namespace murmelo::ContextHygiene
