#include "ApplicationIdentity.h"
#include "AppState.h"
#include "SystemParts.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int gSignalFds[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(gSignalFds[0], &byte, 1);
}

// SIGTERM and SIGINT end the program as the Close button does: through the event
// loop, so the data files are closed properly.
void watchTerminationSignals(QWidget* mainWindow)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalFds) != 0)
        return;
    auto* notifier = new QSocketNotifier(gSignalFds[1], QSocketNotifier::Read, mainWindow);
    QObject::connect(notifier, &QSocketNotifier::activated, mainWindow, [mainWindow] {
        char byte = 0;
        [[maybe_unused]] const auto n = ::read(gSignalFds[1], &byte, 1);
        mainWindow->close();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    dovrane::setApplicationIdentity();

    dovrane::AppState state;
    dovrane::SystemParts parts;
    dovrane::MainWindow window(state, parts.services());
    watchTerminationSignals(&window);
    window.show();
    return QApplication::exec();
}
