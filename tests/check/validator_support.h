// What the validator tests share: a client that records the report as text,
// a strings table that shows each message as its key and arguments, and
// short builders for information dictionaries and rules.
#pragma once

#include "check/MessageFormat.h"
#include "check/PlistValidator.h"
#include "platform/Bundle.h"
#include "platform/UserDefaults.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <utility>

namespace validator_test {

// One line per finding: "[warning] " for the icon and its blank, then the text.
class Recorder : public check::MessageLogger {
public:
    void appendNoteIcon() override { report += QStringLiteral("[note] "); }
    void appendWarningIcon() override { report += QStringLiteral("[warning] "); }
    void appendErrorIcon() override { report += QStringLiteral("[error] "); }
    void appendWithFormat(const QString& format, const check::FormatArgs& args) override
    {
        report += check::formatMessage(format, args);
    }
    void appendBoldString(const QString& text) override { report += QStringLiteral("**") + text + "**"; }
    void appendString(const QString& text) override { report += text; }

    QString report;
};

using Entries = std::initializer_list<std::pair<const char*, plist::Value>>;

inline plist::Value D(Entries entries)
{
    plist::Dictionary dict;
    for (const auto& [key, value] : entries)
        dict.insert(QString::fromUtf8(key), value);
    return plist::Value::dictionary(std::move(dict));
}
inline plist::Value A(std::initializer_list<plist::Value> items)
{
    return plist::Value::array(items);
}
inline plist::Value S(const char* text)
{
    return plist::Value(text);
}
inline plist::Value S(const char16_t* text)
{
    return plist::Value(QString::fromUtf16(text));
}
inline plist::Value B(bool b)
{
    return plist::Value(b);
}
inline plist::Value I(int i)
{
    return plist::Value::integer(i);
}

// A rule of the given type, with further fields.
inline plist::Value rule(const char* type, Entries more = {})
{
    plist::Dictionary dict;
    dict.insert(QStringLiteral("type"), S(type));
    for (const auto& [key, value] : more)
        dict.insert(QString::fromUtf8(key), value);
    return plist::Value::dictionary(std::move(dict));
}
inline plist::Value root(Entries keys)
{
    return D({{"keys", D(keys)}});
}

class ValidatorTest : public ::testing::Test {
public:
    static void SetUpTestSuite()
    {
        sDir = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(sDir->isValid());
        // Each text names its key and shows its arguments, so the report tells
        // which message was written with what, in which order.
        const std::pair<const char*, const char*> texts[] = {
            {"Not4Char", "Not4Char(%@|%@)\n"},
            {"Not1Char", "Not1Char(%@|%@)\n"},
            {"BadVers", "BadVers(%@|%@)\n"},
            {"BIDBadChar", "BIDBadChar(%@|%@)\n"},
            {"BIDNoDot", "BIDNoDot(%@|%@)\n"},
            {"BIDEmptyPart", "BIDEmptyPart(%@|%@)\n"},
            {"UTIBadChar", "UTIBadChar(%@|%@)\n"},
            {"UTINoDot", "UTINoDot(%@|%@)\n"},
            {"UTIEmptyPart", "UTIEmptyPart(%@|%@)\n"},
            {"BadEnumeratedValue", "BadEnumeratedValue(%@|%@)\n"},
            {"EmptyString", "EmptyString(%@)\n"},
            {"NotYNBool", "NotYNBool(%@|%@)\n"},
            {"Not01Bool", "Not01Bool(%@|%@)\n"},
            {"DeprecKey", "DeprecKey(%@|%@|%@)\n"},
            {"AppleKey", "AppleKey(%@|%@)\n"},
            {"BadType", "BadType(%@|%@)\n"},
            {"NoReqTopKey", "NoReqTopKey(%@)\n"},
            {"NoReqKey", "NoReqKey(%@|%@)\n"},
            {"NoRecTopKey", "NoRecTopKey(%@)\n"},
            {"NoRecKey", "NoRecKey(%@|%@)\n"},
            {"UnknownTopKey", "UnknownTopKey(%@)"},
            {"UnknownKey", "UnknownKey(%@|%@)"},
            {"KeyTypo", " KeyTypo(%@)\n"},
            {"NestingTooDeep", "NestingTooDeep(%@)\n"},
        };
        QByteArray table;
        for (const auto& [key, text] : texts)
            table += QByteArray("\"") + key + "\" = \"" + QByteArray(text).replace("\n", "\\n") + "\";\n";
        const QString path = sDir->filePath(QStringLiteral("Test.strings"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(table);
        file.close();
        platform::Bundle::main().setStringsFile(path);

        platform::UserDefaults& defaults = platform::UserDefaults::standard();
        defaults.useStore(
            std::make_unique<QSettings>(sDir->filePath(QStringLiteral("settings.ini")), QSettings::IniFormat));
        defaults.registerDefaults({{platform::DeprecationNotesKey, true}, {platform::NoteUnknownKeysKey, true}});
    }

    static void TearDownTestSuite()
    {
        platform::Bundle::main().setStringsFile(QString());
        platform::UserDefaults::standard().useStore(nullptr);
        platform::UserDefaults::standard().clearVolatile();
        sDir.reset();
    }

    void SetUp() override { platform::UserDefaults::standard().clearVolatile(); }

    static void set(const QString& setting, bool on) { platform::UserDefaults::standard().setVolatile(setting, on); }

    // The report of checking info against rules (a null rules value: no rules).
    static QString check(const plist::Value& info, const plist::Value& rules)
    {
        Recorder recorder;
        check::PlistValidator validator(recorder);
        validator.validateInfoDict(info.toDictionary(), rules.isNull() ? nullptr : &rules);
        return recorder.report;
    }

    static inline std::unique_ptr<QTemporaryDir> sDir;
};

} // namespace validator_test
