#include "core/Format.h"

#include <cstdio>

namespace murmelo {

QString formatSpec(const QString& format, const QVariantList& args) {
    QString out;
    out.reserve(format.size() + 16);
    int next = 0;
    const qsizetype n = format.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = format[i];
        if (c != '%' || i + 1 >= n) {
            out += c;
            continue;
        }
        if (format[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        qsizetype j = i + 1;
        int position = -1;
        qsizetype digitsStart = j;
        while (j < n && format[j].isDigit()) ++j;
        if (j < n && j > digitsStart && format[j] == '$') {
            position = format.mid(digitsStart, j - digitsStart).toInt() - 1;
            ++j;
        } else {
            j = digitsStart;
        }
        int precision = -1;
        if (j < n && format[j] == '.') {
            qsizetype p = j + 1;
            while (p < n && format[p].isDigit()) ++p;
            precision = format.mid(j + 1, p - j - 1).toInt();
            j = p;
        }
        while (j < n && (format[j] == 'l' || format[j] == 'h' || format[j] == 'q')) ++j;
        if (j >= n) {
            out += format.mid(i);
            break;
        }
        const QChar conv = format[j];
        if (conv != '@' && conv != 'd' && conv != 'i' && conv != 'u' && conv != 'f' && conv != 's') {
            out += c;
            continue;
        }
        const int index = position >= 0 ? position : next++;
        if (index < 0 || index >= args.size()) {
            out += format.mid(i, j - i + 1);
            i = j;
            continue;
        }
        const QVariant& a = args[index];
        if (conv == 'd' || conv == 'i' || conv == 'u') out += QString::number(a.toLongLong());
        else if (conv == 'f') {
            // printf's rounding, not Qt's, so that "%.1f" of 1.25 reads as it does in C.
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.*f", precision < 0 ? 6 : precision, a.toDouble());
            out += QString::fromLatin1(buf);
        }
        else out += a.toString();
        i = j;
    }
    return out;
}

}  // namespace murmelo
