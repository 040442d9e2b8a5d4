#pragma once

#include "DataPaths.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace dovrane {

/// The whole station as one text file, so that studios are kept in version control
/// and set up without the window: the parameters with the weekly schedule, the
/// modem connection, the call list, the address book, the account and Dovrane.ini.
/// Import writes the data files with the writers the windows use, so they come out
/// byte for byte as the windows would leave them. A data file whose bytes the
/// readable form cannot carry (hand-made, or damaged) travels as hex, unchanged.
class StationFile
{
public:
    /// One thing wrong with a station file, at its line (0: the file as a whole).
    struct Problem
    {
        int line = 0;
        QString text;
    };

    explicit StationFile(DataPaths paths);

    /// The station's text. Without withSecrets the account password and the
    /// passwords and tokens of Dovrane.ini read "(kept)": an import keeps what the
    /// folder it goes into already holds.
    [[nodiscard]] QByteArray exportText(bool withSecrets) const;
    /// Checks the whole text, then writes every data file it describes; with any
    /// problem nothing is written and every problem is returned.
    [[nodiscard]] QList<Problem> import(const QByteArray& text) const;
    /// One value of the parameters, as Preferences stores it: "delay", "threshold",
    /// "input", "action" (none, page, mail) or a weekday ("monday" "on
    /// 06:00:00-22:00:00", "off"). Empty when done, else what is wrong.
    [[nodiscard]] QString set(const QString& key, const QString& value) const;

private:
    DataPaths m_paths;
};

} // namespace dovrane
