#pragma once

#include "DataPaths.h"
#include "ErrorReporter.h"

namespace dovrane {

class Account;
class AlarmPlan;
class DataFiles;
class SerialProfile;

/// The start-up loader: creates the data and log folders, reads the connection
/// profile, opens the call list and address book for the run, reads the alarm
/// action and weekly schedule, and reads the account record. Run at start-up and
/// again whenever the account window closes.
class StartupLoader
{
public:
    StartupLoader(DataFiles& files, AlarmPlan& plan, Account& account, SerialProfile& profile,
                  DataPaths paths, ErrorReporter& errors);

    /// Runs every step in order. A missing Connection.dat is reported and loading
    /// goes on; any other failure ends the run silently, skipping the later steps.
    void LoadDataFiles();

private:
    DataFiles& m_files;
    AlarmPlan& m_plan;
    Account& m_account;
    SerialProfile& m_profile;
    DataPaths m_paths;
    ErrorReporter& m_errors;
};

} // namespace dovrane
