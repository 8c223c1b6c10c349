// A logger keeps the strings table's texts it has used, and takes them afresh
// when the table changes; a table from outside writes no line of its own.
#include "check/MessageLogger.h"
#include "platform/Bundle.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <utility>

namespace {

// Writes what it is given into one line of text.
class TextLogger : public check::MessageLogger {
public:
    void appendNoteIcon() override { text += "note: "; }
    void appendWarningIcon() override { text += "warning: "; }
    void appendErrorIcon() override { text += "error: "; }
    void appendWithFormat(const QString& format, const check::FormatArgs& args) override
    {
        text += format + QString::number(args.size());
    }
    void appendBoldString(const QString& bold) override { text += bold; }
    void appendString(const QString& plain) override { text += plain; }
    QString take() { return std::exchange(text, QString()); }

    QString text;
};

TEST(MessageLogger, TextsFollowTheStringsTable)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto table = [&](const QString& name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    };
    const QString first =
        table("first.strings", "\"NotDict\" = \"o\tne\\n::set-env x\\n\"; \"NoReqTopKey\" = \"two %@\";");
    const QString second = table("second.strings", "\"NotDict\" = \"three\";");
    platform::Bundle& bundle = platform::Bundle::main();
    TextLogger logger;

    bundle.setStringsFile(first);
    for (int round = 0; round < 2; ++round) { // the second time from what the logger kept
        logger.appendMessage("NotDict", QString());
        logger.appendMessage("NoReqTopKey", QString(), QStringLiteral("CFBundleName"));
        // Control characters escaped, and each line ended where the built-in text ends it.
        EXPECT_EQ(logger.take(), "o\\tne\\n::set-env x\ntwo %@1");
    }
    bundle.setStringsFile(second);
    logger.appendMessage("NotDict", QString());
    // A key the table lacks: the built-in English text.
    logger.appendMessage("NoReqTopKey", QString(), QStringLiteral("CFBundleName"));
    EXPECT_EQ(logger.take(), "three\nThe required key %@ is missing; add it.1");
    bundle.setStringsFile(QString());
}

} // namespace
