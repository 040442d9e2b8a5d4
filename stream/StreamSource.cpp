#include "StreamSource.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcStreamModule, "dovrane.stream")

namespace dovrane {

namespace {

/// What stands in for a stream when the decoder module is missing: it never starts
/// and says why.
class MissingStream final : public AudioInput
{
public:
    MissingStream(QString url, QString why) : m_url(std::move(url)), m_why(std::move(why)) {}
    [[nodiscard]] int deviceCount() const override { return 1; }
    [[nodiscard]] QString deviceName(int) const override { return m_url; }
    void selectDevice(int) override {}
    [[nodiscard]] int selectedDevice() const override { return 0; }
    [[nodiscard]] bool start() override { return false; }
    void stop() override {}
    [[nodiscard]] bool isCapturing() const override { return false; }
    [[nodiscard]] QString errorString() const override { return m_why; }

private:
    QString m_url;
    QString m_why;
};

using Maker = AudioInput* (*)(const QString&, int);

/// The module's maker, loaded once and kept for the life of the process.
Maker loadMaker(QString* why)
{
    static Maker maker = nullptr;
    static QString failure;
    static bool tried = false;
    if (!tried) {
        tried = true;
        // Beside the program in the build folder; where it is installed, found from
        // the program (an install moved elsewhere) or by its full path.
        const QString here = QCoreApplication::applicationDirPath();
        for (const QString& path :
             {here + QStringLiteral("/libdovrane-stream.so"),
              here + QStringLiteral("/" DOVRANE_MODULE_FROM_BINDIR "/libdovrane-stream.so"),
              QStringLiteral(DOVRANE_MODULE_DIR "/libdovrane-stream.so")}) {
            QLibrary module(path);
            if (!module.load()) {
                failure = module.errorString();
                continue;
            }
            maker = reinterpret_cast<Maker>(module.resolve("dovraneMakeStreamInput"));
            if (maker)
                break;
            failure = module.errorString();
        }
        if (!maker)
            qCWarning(lcStreamModule).noquote() << "no stream decoder:" << failure;
    }
    *why = failure;
    return maker;
}

} // namespace

std::unique_ptr<AudioInput> makeStreamSource(const QString& url, int noDataSecs)
{
    QString why;
    if (Maker maker = loadMaker(&why))
        return std::unique_ptr<AudioInput>(maker(url, noDataSecs));
    return std::make_unique<MissingStream>(
        url, QStringLiteral("streams cannot be read: the stream decoder is missing (%1)").arg(why));
}

} // namespace dovrane
