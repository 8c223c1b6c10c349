// What the validator tests share: a client that records the report as text,
// a strings table that shows each message as its key and arguments, and
// short builders for information dictionaries and rules.
#pragma once

#include "TestFiles.h"
#include "check/MessageFormat.h"
#include "check/PlistValidator.h"
#include "platform/Bundle.h"
#include "platform/UserDefaults.h"
#include "plist/Parse.h"

#include <QFile>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

// Reports show as text when a comparison fails.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << text.toStdString();
}

namespace validator_test {

// Each finding shows as its severity and text: "[warning] BadVers(x|K)\n".
class Recorder : public check::MessageLogger {
public:
    QString report;

protected:
    void recordFinding(report::Finding finding) override
    {
        report += QLatin1Char('[') + report::severityName(finding.severity) + QStringLiteral("] ") + finding.text +
                  QLatin1Char('\n');
    }
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
// A rule of the given type with further fields; a root rule with its key rules.
inline plist::Value rule(const char* type, Entries more = {})
{
    plist::Dictionary dict = D(more).toDictionary();
    dict.insert(QStringLiteral("type"), S(type));
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
        // Each message shows as its key and arguments (the fixture Messages has the built-in texts).
        platform::Bundle::main().setStringsFile(qEnvironmentVariable("OSTREL_TEST_DATA") + "/cases/validator.strings");
        platform::UserDefaults& defaults = platform::UserDefaults::standard();
        defaults.useStore(std::make_unique<QSettings>(sDir->filePath(QStringLiteral("s.ini")), QSettings::IniFormat));
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
    // The report of checking info against rules (a null value: no rules).
    static QString check(const plist::Value& info, const plist::Value& rules, const QString& bundleName = QString())
    {
        Recorder recorder;
        check::PlistValidator(recorder).validateInfoDict(info.toDictionary(), rules.isNull() ? nullptr : &rules,
                                                         bundleName);
        return recorder.report;
    }

    static inline std::unique_ptr<QTemporaryDir> sDir;
};

} // namespace validator_test

namespace testsupport {

// A property list the test needs; one that cannot be read or parsed fails the test.
inline plist::Value readPlist(const QString& path)
{
    const plist::ParseResult parsed = plist::parse(readFile(path));
    if (!parsed.ok())
        ADD_FAILURE() << path.toStdString() << ": " << parsed.errorText().toStdString();
    return parsed.value.value_or(plist::Value());
}

// A property list written in the test as the XML inside <plist>; text that does
// not parse fails the test.
inline plist::Value parsedXml(const QString& xml)
{
    const plist::ParseResult result = plist::parse("<plist>" + xml.toUtf8() + "</plist>");
    EXPECT_TRUE(result.ok()) << xml.toStdString();
    return result.value.value_or(plist::Value());
}

// A file of the checkout, such as the rules that ship: "resources/rules.plist".
inline QString sourceFile(const QString& relative)
{
    return qEnvironmentVariable("OSTREL_SOURCE_DIR") + QLatin1Char('/') + relative;
}

} // namespace testsupport
