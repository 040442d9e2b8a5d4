#pragma once

#include "AudioInput.h"

#include <memory>

namespace dovrane {

/// A network stream as an input: what every stream says beyond a sound card's
/// buffers. The decoder behind it (StreamInput, FFmpeg) lives in a module that is
/// loaded only when a stream is wanted, so a station without streams never maps
/// FFmpeg and what it pulls in; makeStreamSource() loads it.
class StreamSource : public AudioInput
{
    Q_OBJECT
    /// For those who know streams only as inputs (the status).
    Q_PROPERTY(int bufferedAtStartMs READ bufferedAtStartMs)
public:
    using AudioInput::AudioInput;

    /// "MP3, 44100 Hz, 2 channels, 128 kbit/s" once audio has flowed.
    [[nodiscard]] virtual QString description() const = 0;
    /// The last ICY StreamTitle.
    [[nodiscard]] virtual QString title() const = 0;
    [[nodiscard]] virtual bool isUp() const = 0;
    /// Audio that arrived ahead of real time when the current (or, once stopped, the
    /// last) connection began.
    [[nodiscard]] virtual int bufferedAtStartMs() const = 0;

Q_SIGNALS:
    void streamDown(const QString& why);
    void streamUp(const QString& description);
    void titleChanged(const QString& title);
    /// The sample rate or channel layout changed midway; decoding goes on.
    void formatChanged(const QString& description);
};

/// A stream input for url (noDataSecs without audio: down), from the stream module
/// beside the program or where it is installed. When the module cannot be loaded,
/// an input whose every start fails and says why.
[[nodiscard]] std::unique_ptr<AudioInput> makeStreamSource(const QString& url, int noDataSecs = 5);

} // namespace dovrane
