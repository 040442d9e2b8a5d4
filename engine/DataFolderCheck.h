#pragma once

#include "DataPaths.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace dovrane {

/// What `dovrane --check` finds wrong in a data folder: record lengths, times of
/// day, day flags, the input device, the modem port and rate, the mail program, the
/// account file, the log folder and Dovrane's own settings file. It only reads: the loaders create
/// what is missing, so none of them is used here.
class DataFolderCheck
{
public:
    struct Finding
    {
        QString name; ///< "DVParams.dat" ... "logs"
        QString problem;
        /// A note (an old spelling) is said but is no problem; a file that cannot be
        /// read at all is the worst.
        enum class Weight
        {
            Problem,
            Note,
            Unreadable,
        } weight = Weight::Problem;
        bool operator==(const Finding&) const = default;
    };

    /// inputCount: how many sound inputs the machine lists, nothing when the list
    /// cannot be had. mailProgram: the sendmail program found, or empty.
    DataFolderCheck(DataPaths paths, std::optional<int> inputCount, QString mailProgram);

    [[nodiscard]] QList<Finding> run() const;
    [[nodiscard]] const DataPaths& paths() const { return m_paths; }
    /// Whether any finding is a problem, not only a note.
    [[nodiscard]] static bool failed(const QList<Finding>& findings);

    /// The report: for each name in order, "NAME: OK" or one "NAME: problem" line
    /// per finding; Dovrane.ini last, when withSettings (the file exists).
    /// What --check exits with: 0 when all is well (notes aside), 1 with problems,
    /// 2 when Dovrane.ini cannot be read.
    [[nodiscard]] static int exitCode(const QList<Finding>& findings);
    [[nodiscard]] static QStringList lines(const QList<Finding>& findings,
                                           bool withSettings = false);

private:
    void checkParams(QList<Finding>& out) const;
    void checkConnection(QList<Finding>& out) const;
    void checkRecords(QList<Finding>& out, const QString& name, int recordLength) const;
    void checkAccount(QList<Finding>& out) const;
    void checkLogs(QList<Finding>& out) const;
    /// Notes the remote status address and refuses one a sibling instance uses.
    void checkStatusPort(QList<Finding>& out) const;
    [[nodiscard]] bool mailIsTheAction() const;

    DataPaths m_paths;
    std::optional<int> m_inputCount;
    QString m_mailProgram;
};

} // namespace dovrane
