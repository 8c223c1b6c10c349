// The report interface: what the validator and the other checks write their
// findings to.
#pragma once

#include "plist/Value.h"
#include "report/Finding.h"
#include "report/FindingCatalogue.h"
#include "report/FindingId.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace check {

// One argument of a formatted message: a value, or none (shown as "(null)").
using FormatArg = std::optional<plist::Value>;
using FormatArgs = QList<FormatArg>;

inline FormatArg arg(const QString& text)
{
    return plist::Value(text);
}
inline FormatArg arg(const plist::Value& value)
{
    return value;
}
inline FormatArg arg(const plist::Value* value)
{
    return value ? FormatArg(*value) : std::nullopt;
}
inline FormatArg arg(int number)
{
    return plist::Value::integer(number);
}

// What a finding's line says besides the record's own message.
struct FindingLine {
    // The message the line begins with, which the finding's own continues (an
    // unknown key, then its near miss); its arguments come first in the record.
    std::optional<report::FindingId> lead;
    FormatArgs leadArgs;
    // What follows the message on its line: texts of the strings table (hint()).
    QString hints;
};

class MessageLogger {
public:
    virtual ~MessageLogger() = default;

    // A finding of the ID about the value at keyPath (empty: the information
    // dictionary, or the file as a whole), with the catalogue's severity.
    template <typename... Args> void addFinding(report::FindingId id, const QString& keyPath, const Args&... args)
    {
        addFinding(report::makeFinding(id, keyPath, FormatArgs{arg(args)...}));
    }
    // A finding made with report::makeFinding: its text is made here from the
    // record and the line, then the record is reported.
    void addFinding(report::Finding finding, const FindingLine& line = {});

    // A text of the strings table that goes on a finding's line after its
    // message ("Hint-..."), filled from the arguments.
    QString hint(const char* textKey, const FormatArgs& args);

    // The strings table's text for messageKey, without a line end. Kept by each logger, in a copy
    // of its own: the table is shared by every thread that checks.
    const QString& messageText(std::string_view messageKey);

protected:
    // Fills in the record's text and the lead's arguments.
    void completeFinding(report::Finding& finding, const FindingLine& line);
    // Takes a whole record: its position is the logger's to find from its key path.
    virtual void recordFinding(report::Finding finding) = 0;

private:
    struct KeyHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view key) const { return std::hash<std::string_view>{}(key); }
    };
    std::unordered_map<std::string, QString, KeyHash, std::equal_to<>> mTexts;
    int mTextsGeneration = -1;
};

} // namespace check
