// The strings table that ships: every message has a text with the right
// arguments and line structure; lookups follow the user's languages.
#include "check/MessageFormat.h"
#include "platform/Bundle.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Each message: key/number of arguments/E when its text ends the line, O when
// the report continues the line, - for texts that are not report lines.
const char* const kCatalogue =
    "IntroText/0/E;CheckingPrefix/0/O;NoData/0/O;NoPlstRes/0/O;ParseErr/1/E;NotDict/0/E;CreatorMismatch/0/E;"
    "TypeMismatch/0/E;Not4Char/2/E;Not1Char/2/E;BadVers/2/E;BIDBadChar/2/E;BIDNoDot/2/E;BIDEmptyPart/2/E;"
    "UTIBadChar/2/E;UTINoDot/2/E;UTIEmptyPart/2/E;BadEnumeratedValue/2/E;EmptyString/1/E;NotYNBool/2/E;"
    "Not01Bool/2/E;DeprecKey/3/E;AppleKey/2/E;BadType/2/E;NoReqTopKey/1/E;NoReqKey/2/E;NoRecTopKey/1/E;"
    "NoRecKey/2/E;UnknownTopKey/1/O;UnknownKey/2/O;KeyTypo/1/E;DuplicateTopKey/2/E;DuplicateTopKeyNoLine/1/E;"
    "DuplicateKey/3/E;DuplicateKeyNoLine/2/E;Ostrel Log/0/-;SaveFailed/2/-";

class StringsTable : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::Bundle& bundle = platform::Bundle::main();
        bundle.setStringsFile(QString());
        bundle.setResourceDirectory(QString());
        bundle.setPreferredLanguages({"en"});
    }
    void TearDown() override
    {
        platform::Bundle& bundle = platform::Bundle::main();
        bundle.setResourceDirectory(QString());
        bundle.setPreferredLanguages({});
    }
};

TEST_F(StringsTable, EveryMessageHasATextWithItsArgumentsInOrder)
{
    static const QRegularExpression placeholder(QStringLiteral("%(\\d+\\$)?[@d]"));
    for (const QString& entry : QString::fromLatin1(kCatalogue).split(';')) {
        SCOPED_TRACE(entry.toStdString());
        const QString key = entry.section('/', 0, 0);
        const int arguments = entry.section('/', 1, 1).toInt();
        const QString end = entry.section('/', 2, 2);
        const QString text = platform::Bundle::main().localizedString(key);
        // The print title may well be its own key.
        if (key != "Ostrel Log") {
            ASSERT_NE(text, key) << "no text";
        }
        EXPECT_EQ(text.count(placeholder), arguments);
        check::FormatArgs args;
        for (int i = 0; i < arguments; ++i)
            args << check::arg(QStringLiteral("<arg%1>").arg(i));
        const QString filled = check::formatMessage(text, args);
        qsizetype at = -1;
        for (int i = 0; i < arguments; ++i) {
            const qsizetype next = filled.indexOf(QStringLiteral("<arg%1>").arg(i));
            EXPECT_GT(next, at) << "argument " << i << " missing or out of order";
            at = next;
        }
        EXPECT_EQ(text.endsWith('\n'), end == "E");
        // A finding is one line: only the introduction may span several.
        if (key != "IntroText") {
            EXPECT_LE(text.count('\n'), 1);
        }
    }
}

TEST_F(StringsTable, LookupFollowsTheLanguagesAndFallsBackToEnglish)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto write = [&](const QString& relative, const QByteArray& bytes) {
        QDir(dir.path()).mkpath(relative.section('/', 0, 0));
        QFile file(dir.filePath(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    };
    write("de.lproj/Localizable.strings", "\"NotDict\" = \"Kein Wörterbuch\\n\";");
    write("pt_BR.lproj/Localizable.strings", "\"NotDict\" = \"Não é um dicionário\\n\";");
    platform::Bundle& bundle = platform::Bundle::main();
    bundle.setResourceDirectory(dir.path());

    const struct {
        QStringList languages;
        QString key;
        QString expected;
    } rows[] = {
        {{"de_CH"}, "NotDict", QString::fromUtf8("Kein Wörterbuch\n")},
        {{"pt-BR"}, "NotDict", QString::fromUtf8("Não é um dicionário\n")},
        {{"fr", "de"}, "NotDict", QString::fromUtf8("Kein Wörterbuch\n")},
        {{"fr"}, "CheckingPrefix", "Checking "},
        // The German table lacks the key: the key itself shows.
        {{"de"}, "CheckingPrefix", "CheckingPrefix"},
        {{"en"}, "NoSuchKey", "NoSuchKey"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.languages.join(',').toStdString() + " " + row.key.toStdString());
        bundle.setPreferredLanguages(row.languages);
        EXPECT_EQ(bundle.localizedString(row.key), row.expected);
    }
}

} // namespace
