// The report interface: what the validator and the controller write through.
#pragma once

#include "plist/Value.h"

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

class MessageLogger {
public:
    virtual ~MessageLogger() = default;

    // Each appends its icon, then one blank in the regular font.
    virtual void appendNoteIcon() = 0;
    virtual void appendWarningIcon() = 0;
    virtual void appendErrorIcon() = 0;
    // The format filled from the arguments, in the regular font:
    // "%@" takes the next argument's description, "%1$@" a given one,
    // "%d" a number, "%%" a per-cent sign.
    virtual void appendWithFormat(const QString& format, const FormatArgs& args) = 0;
    virtual void appendBoldString(const QString& text) = 0;
    virtual void appendString(const QString& text) = 0;
    // A finding's message: the strings table's text for messageKey, filled
    // from the arguments with appendWithFormat, or appended unchanged with
    // appendString when there are none. keyPath names the value the finding
    // is about (empty: the information dictionary, or the file as a whole);
    // a log that keeps records of findings takes the key, the path and the
    // arguments from here.
    virtual void appendMessageWithArgs(const char* messageKey, const QString& keyPath, const FormatArgs& args);

    // A text of the strings table that continues a finding's message on its
    // line ("Hint-..."): filled like a message, but no message of its own, so
    // the finding keeps the key and arguments it has.
    void appendHint(const char* textKey, const FormatArgs& args) { appendWithFormat(messageText(textKey), args); }

    template <typename... Args> void appendFormat(const QString& format, const Args&... args)
    {
        appendWithFormat(format, FormatArgs{arg(args)...});
    }
    template <typename... Args> void appendMessage(const char* messageKey, const QString& keyPath, const Args&... args)
    {
        appendMessageWithArgs(messageKey, keyPath, FormatArgs{arg(args)...});
    }

    // The strings table's text for messageKey. Kept by each logger, in a copy
    // of its own: the table is shared by every thread that checks.
    const QString& messageText(const char* messageKey);

private:
    struct KeyHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view key) const { return std::hash<std::string_view>{}(key); }
    };
    std::unordered_map<std::string, QString, KeyHash, std::equal_to<>> mTexts;
    int mTextsGeneration = -1;
};

} // namespace check
