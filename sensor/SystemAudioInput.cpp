#include "SystemAudioInput.h"

#include "QtAudioInput.h"

namespace dovrane {

std::unique_ptr<AudioInput> makeSystemAudioInput(QObject* parent)
{
    return std::make_unique<QtAudioInput>(parent);
}

} // namespace dovrane
