#include "base/Format.h"

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
        // Flags and width: "-" pads on the right, "0" pads numbers with zeros.
        bool leftJustify = false, zeroPad = false, plusSign = false;
        while (j < n && (format[j] == '-' || format[j] == '0' || format[j] == '+')) {
            if (format[j] == '-') leftJustify = true;
            else if (format[j] == '0') zeroPad = true;
            else plusSign = true;
            ++j;
        }
        int width = 0;
        while (j < n && format[j].isDigit()) width = width * 10 + format[j++].digitValue();
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
        const bool numeric = conv == 'd' || conv == 'i' || conv == 'u' || conv == 'f' || conv == 'x' || conv == 'X';
        if (!numeric && conv != '@' && conv != 's') {
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
        QString text;
        if (conv == 'd' || conv == 'i') text = QString::number(a.toLongLong());
        else if (conv == 'u') text = QString::number(a.toULongLong());
        else if (conv == 'x' || conv == 'X') {
            text = QString::number(a.toULongLong(), 16);
            if (conv == 'X') text = text.toUpper();
        } else if (conv == 'f') {
            // printf's rounding, not Qt's, so that "%.1f" of 1.25 reads as it does in C.
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.*f", precision < 0 ? 6 : precision, a.toDouble());
            text = QString::fromLatin1(buf);
        } else text = a.toString();
        if (plusSign && numeric && !text.startsWith('-')) text.prepend('+');
        if (text.size() < width) {
            const qsizetype pad = width - text.size();
            if (leftJustify) text += QString(pad, ' ');
            else if (zeroPad && numeric) {
                const qsizetype sign = (text.startsWith('-') || text.startsWith('+')) ? 1 : 0;
                text.insert(sign, QString(pad, '0'));
            } else text.prepend(QString(pad, ' '));
        }
        out += text;
        i = j;
    }
    return out;
}

}  // namespace murmelo
