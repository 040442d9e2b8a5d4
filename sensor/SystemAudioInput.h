#pragma once

#include "AudioInput.h"

#include <memory>

namespace dovrane {

/// The machine's sound input: through libpulse where Dovrane was built with it,
/// else through Qt Multimedia. Both number the devices alike.
[[nodiscard]] std::unique_ptr<AudioInput> makeSystemAudioInput(QObject* parent = nullptr);

} // namespace dovrane
