#pragma once

#include "AudioInput.h"

#include <memory>

namespace dovrane {

/// The machine's sound input.
[[nodiscard]] std::unique_ptr<AudioInput> makeSystemAudioInput(QObject* parent = nullptr);

} // namespace dovrane
