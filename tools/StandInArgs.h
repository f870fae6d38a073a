#pragma once
// The stand-ins' command lines: options read in order, most of them "--name value". A mistake
// ends the program with status 2 and one line on stderr.
#include <QString>
#include <QStringList>
#include <cstdio>
#include <cstdlib>

namespace murmelo::standin {

[[noreturn]] inline void usage(const char* program, const QString& why) {
    std::fprintf(stderr, "%s: %s\n", program, qPrintable(why));
    std::exit(2);
}

class Args {
public:
    Args(const char* program, QStringList args) : program_(program), args_(std::move(args)) {}

    // Hands each option to `take`, which reads its value through value(), integer() or port()
    // and returns false for an option it does not know.
    template <typename Take>
    void read(Take&& take) {
        for (i_ = 1; i_ < args_.size(); ++i_)
            if (!take(args_[i_])) usage(program_, QStringLiteral("unknown option ") + args_[i_]);
    }

    QString value() {
        if (i_ + 1 >= args_.size()) usage(program_, args_[i_] + QStringLiteral(" needs a value"));
        return args_[++i_];
    }
    int integer(int min) {
        const QString option = args_[i_];
        bool ok = false;
        const int v = value().toInt(&ok);
        if (!ok || v < min) usage(program_, option + QStringLiteral(" needs a number"));
        return v;
    }
    // `lowest` is 0 where the system may choose the port.
    quint16 port(int lowest) {
        bool ok = false;
        const int p = value().toInt(&ok);
        if (!ok || p < lowest || p > 65535) usage(program_, QStringLiteral("--port needs a port number"));
        return quint16(p);
    }

private:
    const char* program_;
    QStringList args_;
    qsizetype i_ = 0;
};

}  // namespace murmelo::standin
