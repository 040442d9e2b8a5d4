#pragma once

#include "DataPaths.h"
#include "ErrorReporter.h"
#include "RecordFile.h"

#include <memory>

namespace dovrane {

struct AppState;

/// The start-up loader: creates the data and log folders, reads the connection
/// profile, opens the call list and address book for the run, reads the alarm
/// action and weekly schedule, and reads the account record. Run at start-up and
/// again whenever the account window closes.
class StartupLoader
{
public:
    StartupLoader(AppState& state, DataPaths paths, ErrorReporter& errors);

    /// Runs every step in order. A missing Connection.dat is reported and loading
    /// goes on; any other failure ends the run silently, skipping the later steps.
    void LoadDataFiles();

private:
    [[nodiscard]] bool openRecordFile(std::unique_ptr<RecordFile>& handle, const QString& path,
                                      int recordLength);

    AppState& m_state;
    DataPaths m_paths;
    ErrorReporter& m_errors;
};

} // namespace dovrane
