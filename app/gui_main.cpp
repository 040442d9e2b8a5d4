// The window program, started by the dovrane program when there is a screen.

#include "ApplicationIdentity.h"
#include "InstanceLock.h"
#include "MainWindow.h"
#include "SignalWatcher.h"
#include "SystemParts.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    dovrane::setApplicationIdentity();

    dovrane::InstanceLock lock(dovrane::DataPaths::fromEnvironment());
    if (!lock.acquire()) {
        std::fprintf(stderr, "dovrane: %s\n", qPrintable(lock.errorString()));
        QMessageBox::critical(nullptr, QStringLiteral("Dovrane"), lock.errorString());
        return 1;
    }
    dovrane::SystemParts parts;
    dovrane::MainWindow window(parts.services());
    // SIGTERM and SIGINT end the program as the Close button does; SIGHUP reads
    // the data files again.
    dovrane::SignalWatcher watcher;
    QObject::connect(&watcher, &dovrane::SignalWatcher::terminateRequested, &window,
                     &dovrane::MainWindow::endRun);
    QObject::connect(&watcher, &dovrane::SignalWatcher::reloadRequested, &window.station(),
                     &dovrane::Station::reload);
    window.show();
    return QApplication::exec();
}
