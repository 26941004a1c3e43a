#pragma once

#include <QString>
#include <exception>
#include <functional>

// The one place that shows an error which ended a handler. The front end decides how
// (a message box in the window; a "!Err" log line and standard error when headless).
// Handlers never let an exception escape into the event loop: they run their body
// through runGuarded, so the handler ends and the agent runs on.
class ErrorReporter
{
public:
    using Sink = std::function<void(const QString& message)>;

    static void setSink(Sink sink);
    static void report(const QString& message);

    template <typename F> static void runGuarded(F&& body)
    {
        try {
            body();
        } catch (const std::exception& e) {
            report(QString::fromUtf8(e.what()));
        } catch (...) {
            report(QStringLiteral("Neznámá chyba"));
        }
    }
};
