#include "SystemParts.h"

#include "StreamSource.h"

namespace dovrane {

std::unique_ptr<AudioInput> makeNamedSource(const NamedInputSettings& settings)
{
    if (settings.kind() == NamedInputSettings::SourceKind::Stream)
        return makeStreamSource(settings.source.trimmed(), settings.downSecs);
    std::unique_ptr<AudioInput> input = makeSystemAudioInput();
    // The sound server's name of the source, or failing that the name it shows.
    const QString wanted = settings.source.trimmed();
    int found = input->deviceCount(); // no device: the start says the source is missing
    for (int i = 0; i < input->deviceCount(); ++i)
        if (input->deviceId(i) == wanted || input->deviceName(i) == wanted)
            found = i;
    input->selectDevice(found);
    return input;
}

} // namespace dovrane
