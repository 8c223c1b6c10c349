// A logger keeps the strings table's texts it has used, and takes them afresh
// when the table changes; a table from outside writes no line of its own.
#include "check/MessageLogger.h"
#include "TestFiles.h"
#include "platform/Bundle.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <utility>

namespace {

// Writes each finding's text on a line of its own.
class TextLogger : public check::MessageLogger {
public:
    QString take() { return std::exchange(text, QString()); }

protected:
    void recordFinding(report::Finding finding) override { text += finding.text + QLatin1Char('|'); }

private:
    QString text;
};

TEST(MessageLogger, TextsFollowTheStringsTable)
{
    QTemporaryDir dir;
    const QString first = dir.filePath("first.strings"), second = dir.filePath("second.strings");
    testsupport::writeFile(first, "\"NotDict\" = \"o\tne\\n::set-env x\\n\"; \"NoReqTopKey\" = \"two %@\";");
    testsupport::writeFile(second, "\"NotDict\" = \"three\";");
    platform::Bundle& bundle = platform::Bundle::main();
    TextLogger logger;

    bundle.setStringsFile(first);
    for (int round = 0; round < 2; ++round) { // the second time from what the logger kept
        logger.addFinding(report::FindingId::NotDict, QString());
        logger.addFinding(report::FindingId::NoReqTopKey, QString(), QStringLiteral("CFBundleName"));
        // Control characters escaped; the line end is the finding's, not the text's.
        EXPECT_EQ(logger.take(), "o\\tne\\n::set-env x|two CFBundleName|");
    }
    bundle.setStringsFile(second);
    logger.addFinding(report::FindingId::NotDict, QString());
    // A key the table lacks: the built-in English text.
    logger.addFinding(report::FindingId::NoReqTopKey, QString(), QStringLiteral("CFBundleName"));
    EXPECT_EQ(logger.take(), "three|The required key CFBundleName is missing; add it.|");
    bundle.setStringsFile(QString());
}

} // namespace
