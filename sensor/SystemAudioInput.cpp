#include "SystemAudioInput.h"

#ifdef DOVRANE_HAVE_LIBPULSE
#include "PulseAudioInput.h"
#else
#include "QtAudioInput.h"
#endif

namespace dovrane {

std::unique_ptr<AudioInput> makeSystemAudioInput(QObject* parent)
{
#ifdef DOVRANE_HAVE_LIBPULSE
    return std::make_unique<PulseAudioInput>(parent);
#else
    return std::make_unique<QtAudioInput>(parent);
#endif
}

} // namespace dovrane
