#include "agent/errorreporter.h"

#include <cstdio>

namespace {
ErrorReporter::Sink& sink()
{
    static ErrorReporter::Sink s;
    return s;
}
} // namespace

void ErrorReporter::setSink(Sink s)
{
    sink() = std::move(s);
}

void ErrorReporter::report(const QString& message)
{
    if (sink()) {
        // A sink that fails must not take the handler's caller down with it.
        try {
            sink()(message);
            return;
        } catch (...) {
        }
    }
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    std::fflush(stderr);
}
