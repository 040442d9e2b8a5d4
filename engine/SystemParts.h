#pragma once

#include "Clock.h"
#include "DataPaths.h"
#include "NamedInputSettings.h"
#include "QtSerialPort.h"
#include "SendmailTransport.h"
#include "Station.h"
#include "SystemAudioInput.h"

namespace dovrane {

/// A named input's source: a stream, or the sound server source of that name.
[[nodiscard]] std::unique_ptr<AudioInput> makeNamedSource(const NamedInputSettings& settings);

/// The real outside world the station works with: the system clock, the data
/// folder named by the environment, the sound card, the modem port and the
/// machine's sendmail program.
struct SystemParts
{
    SystemParts() : paths(DataPaths::fromEnvironment()), serial(paths), mail(clock) {}

    [[nodiscard]] Services services()
    {
        return Services{clock,          *audio, serial,
                        mail,           paths,  [] { return makeSystemAudioInput(); },
                        makeNamedSource};
    }

    SystemClock clock;
    DataPaths paths;
    std::unique_ptr<AudioInput> audio = makeSystemAudioInput();
    QtSerialPort serial;
    SendmailTransport mail;
};

} // namespace dovrane
