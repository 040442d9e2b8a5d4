// The window program, started by the dovrane program when there is a screen.

#include "ApplicationIdentity.h"
#include "MainWindow.h"
#include "SignalWatcher.h"
#include "SystemParts.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    dovrane::setApplicationIdentity();

    dovrane::SystemParts parts;
    dovrane::MainWindow window(parts.services());
    // SIGTERM and SIGINT end the program as the Close button does; SIGHUP reads
    // the data files again.
    dovrane::SignalWatcher watcher;
    QObject::connect(&watcher, &dovrane::SignalWatcher::terminateRequested, &window,
                     &QWidget::close);
    QObject::connect(&watcher, &dovrane::SignalWatcher::reloadRequested, &window.station(),
                     &dovrane::Station::reload);
    window.show();
    return QApplication::exec();
}
