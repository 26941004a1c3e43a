#include "agent/agent.h"
#include "agent/agentoptions.h"
#include "agent/headlessconsole.h"
#include "agent/signalwatcher.h"
#include "ui/tform1.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <memory>

namespace {
// A window needs a display; without one the agent runs headless as a service.
bool displayAvailable()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

AgentOptions optionsFrom(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return AgentOptions::parse(arguments);
}
} // namespace

int main(int argc, char** argv)
{
    AgentOptions options = optionsFrom(argc, argv);
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "%s\n", options.error.toLocal8Bit().constData());
        return 2;
    }
    const bool headless = options.headless || !displayAvailable();

    std::unique_ptr<QCoreApplication> app;
    if (headless)
        app = std::make_unique<QCoreApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sarvik-agent"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SARVIK_VERSION));

    if (options.showHelp) {
        std::fputs(AgentOptions::helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (options.showVersion) {
        std::printf("sarvik-agent %s\n", SARVIK_VERSION);
        return 0;
    }

    Agent agent(options);
    SignalWatcher watcher;
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, app.get(),
                     &QCoreApplication::quit);

    std::unique_ptr<HeadlessConsole> console;
    std::unique_ptr<TForm1> window;
    if (headless) {
        console = std::make_unique<HeadlessConsole>(agent.log());
        agent.setWarningSink(&HeadlessConsole::warn);
    } else {
        window = std::make_unique<TForm1>(agent);
    }
    // Start-up runs inside the event loop, so a termination request that arrives
    // while it waits (for the missing-INI warning, say) still ends the run.
    QTimer::singleShot(0, &agent, [&agent, &window] {
        if (window)
            window->start();
        else
            agent.FormCreate();
    });

    app->exec();
    // The shutdown sequence runs after the event loop has ended, so no tick, socket
    // notification or serial event is handled while it runs.
    window.reset();
    agent.FormDestroy();
    return 0;
}
