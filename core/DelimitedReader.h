#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace dovrane {

/// Reads the settings text files field by field: a field ends at a comma or at the
/// end of its line, blanks around it are dropped, and a field in double quotes is
/// taken without them (a comma inside the quotes belongs to the field).
class DelimitedReader
{
public:
    explicit DelimitedReader(QByteArray content) : m_content(std::move(content)) {}

    /// The next field, or nullopt past the end of the text.
    [[nodiscard]] std::optional<QString> nextField();
    /// The rest of the current line as it stands: commas, quotes and blanks kept.
    [[nodiscard]] std::optional<QString> nextLine();
    /// The next field read as a whole number (digits with an optional sign); a
    /// field that is not a number gives nullopt.
    [[nodiscard]] std::optional<qint64> nextNumber();

private:
    QByteArray m_content;
    qsizetype m_pos = 0;
};

} // namespace dovrane
