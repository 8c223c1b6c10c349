// What the controller's tests share: settings in a temporary file, a strings
// table and rules written for the test, and a controller on a scripted window.
#pragma once

#include "check/OstrelAppDelegate.h"
#include "check/ReportText.h"
#include "check/ScriptedWindow.h"
#include "platform/Bundle.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace spine_test {

// Texts that show their key and arguments, so reports are easy to compare.
inline const char* const kTestStrings = R"x(
"IntroText" = "Intro\n";
"CheckingPrefix" = "Checking ";
"NoData" = "NoData: ";
"NoPlstRes" = "NoPlstRes";
"ParseErr" = "ParseErr(%@)\n";
"NotDict" = "NotDict\n";
"CreatorMismatch" = "CreatorMismatch\n";
"TypeMismatch" = "TypeMismatch\n";
"NoReqTopKey" = "NoReqTopKey(%@)\n";
"DuplicateTopKey" = "DuplicateTopKey(%@, %@)\n";
"DuplicateTopKeyNoLine" = "DuplicateTopKeyNoLine(%@)\n";
"DuplicateKey" = "DuplicateKey(%@, %@, %@)\n";
"DuplicateKeyNoLine" = "DuplicateKeyNoLine(%@, %@)\n";
"Ostrel Log" = "Report of Ostrel";
"SaveFailed" = "SaveFailed(%@, %@)";
)x";

// One required key, so that a check shows whether the validator ran.
inline const char* const kTestRules = R"x(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>keys</key><dict>
  <key>CFBundleIdentifier</key><dict><key>type</key><string>string</string><key>required</key><true/></dict>
</dict></dict></plist>
)x";

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

inline QByteArray xmlPlist(const QByteArray& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + body + "\n</plist>\n";
}

class SpineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        platform::UserDefaults::standard().useStore(
            std::make_unique<QSettings>(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat));
        platform::UserDefaults::standard().clearVolatile();
        writeFile(dir.filePath(QStringLiteral("test.strings")), kTestStrings);
        writeFile(dir.filePath(QStringLiteral("rules.plist")), kTestRules);
        platform::Bundle::main().setStringsFile(dir.filePath(QStringLiteral("test.strings")));
        platform::Bundle::main().setResourcePath(QStringLiteral("rules.plist"),
                                                 dir.filePath(QStringLiteral("rules.plist")));
    }
    void TearDown() override
    {
        platform::Bundle& bundle = platform::Bundle::main();
        for (const char* name : {"rules.plist", "error16x16.png", "warning16x16.png", "note16x16.png"})
            bundle.setResourcePath(QString::fromLatin1(name), QString());
        bundle.setStringsFile(QString());
        platform::UserDefaults::standard().clearVolatile();
    }

    // A controller on the scripted window, as the application builds it.
    void start()
    {
        controller = std::make_unique<check::OstrelAppDelegate>();
        controller->setWindow(&window);
    }

    QString path(const QString& relative) const { return dir.filePath(relative); }

    // The report as text, icons as "error:" and so on.
    QString report()
    {
        const auto& runs = window.textStorage().runs();
        return check::plainText(std::span(runs.constData(), static_cast<size_t>(runs.size())), false);
    }
    // The report after the heading of a check of name, read from readPath.
    QString heading(const QString& name, const QString& readPath) const
    {
        return QStringLiteral("Checking %1\n%2\n").arg(name, readPath);
    }

    QTemporaryDir dir;
    check::ScriptedWindow window;
    std::unique_ptr<check::OstrelAppDelegate> controller;
};

} // namespace spine_test
