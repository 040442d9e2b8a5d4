// Prints the sound input devices one description a line, in the order in which the
// program numbers them (the device number stored in the parameters file is a
// position in this list). The end-to-end tests find their test source's number here.
//
//   dovrane_e2e_audio_inputs [DESCRIPTION]
//
// The backend fills its list in after it has connected to the sound server, so the
// list is printed once it is not empty and, with DESCRIPTION, once it holds that
// device, or after 10 s. Exit code 1 when DESCRIPTION never showed up.

#include "SystemAudioInput.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <cstdio>

namespace {

bool listHolds(const dovrane::AudioInput& input, const QString& wanted)
{
    if (input.deviceCount() == 0)
        return false;
    if (wanted.isEmpty())
        return true;
    for (int i = 0; i < input.deviceCount(); ++i) {
        if (input.deviceName(i) == wanted)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QString wanted = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const std::unique_ptr<dovrane::AudioInput> audio = dovrane::makeSystemAudioInput();
    const dovrane::AudioInput& input = *audio;
    const QDeadlineTimer deadline(10000);

    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        const bool found = listHolds(input, wanted);
        if (!found && !deadline.hasExpired())
            return;
        poll.stop();
        for (int i = 0; i < input.deviceCount(); ++i)
            std::printf("%s\n", input.deviceName(i).toUtf8().constData());
        std::fflush(stdout);
        QCoreApplication::exit(found ? 0 : 1);
    });
    poll.start();
    return QCoreApplication::exec();
}
