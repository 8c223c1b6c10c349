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

enum class LineEnd { Ends, Open, NotApplicable };

struct CatalogueEntry {
    const char* key;
    int arguments;
    LineEnd end;
};

const CatalogueEntry kCatalogue[] = {
    {"IntroText", 0, LineEnd::Ends},
    {"CheckingPrefix", 0, LineEnd::Open},
    {"NoData", 0, LineEnd::Open},
    {"NoPlstRes", 0, LineEnd::Open},
    {"ParseErr", 1, LineEnd::Ends},
    {"NotDict", 0, LineEnd::Ends},
    {"CreatorMismatch", 0, LineEnd::Ends},
    {"TypeMismatch", 0, LineEnd::Ends},
    {"Not4Char", 2, LineEnd::Ends},
    {"Not1Char", 2, LineEnd::Ends},
    {"BadVers", 2, LineEnd::Ends},
    {"BIDBadChar", 2, LineEnd::Ends},
    {"BIDNoDot", 2, LineEnd::Ends},
    {"BIDEmptyPart", 2, LineEnd::Ends},
    {"UTIBadChar", 2, LineEnd::Ends},
    {"UTINoDot", 2, LineEnd::Ends},
    {"UTIEmptyPart", 2, LineEnd::Ends},
    {"BadEnumeratedValue", 2, LineEnd::Ends},
    {"EmptyString", 1, LineEnd::Ends},
    {"NotYNBool", 2, LineEnd::Ends},
    {"Not01Bool", 2, LineEnd::Ends},
    {"DeprecKey", 3, LineEnd::Ends},
    {"AppleKey", 2, LineEnd::Ends},
    {"BadType", 2, LineEnd::Ends},
    {"NoReqTopKey", 1, LineEnd::Ends},
    {"NoReqKey", 2, LineEnd::Ends},
    {"NoRecTopKey", 1, LineEnd::Ends},
    {"NoRecKey", 2, LineEnd::Ends},
    {"UnknownTopKey", 1, LineEnd::Open},
    {"UnknownKey", 2, LineEnd::Open},
    {"KeyTypo", 1, LineEnd::Ends},
    {"DuplicateTopKey", 2, LineEnd::Ends},
    {"DuplicateTopKeyNoLine", 1, LineEnd::Ends},
    {"DuplicateKey", 3, LineEnd::Ends},
    {"DuplicateKeyNoLine", 2, LineEnd::Ends},
    {"Ostrel Log", 0, LineEnd::NotApplicable},
    {"SaveFailed", 2, LineEnd::NotApplicable},
};

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
    for (const CatalogueEntry& entry : kCatalogue) {
        SCOPED_TRACE(entry.key);
        const QString key = QString::fromLatin1(entry.key);
        const QString text = platform::Bundle::main().localizedString(key);
        // The print title may well be its own key.
        if (key != QLatin1String("Ostrel Log")) {
            ASSERT_NE(text, key) << "no text";
        }
        ASSERT_FALSE(text.trimmed().isEmpty());
        if (entry.arguments > 0) {
            EXPECT_EQ(text.count(placeholder), entry.arguments);
            check::FormatArgs args;
            for (int i = 0; i < entry.arguments; ++i)
                args << check::arg(QStringLiteral("<arg%1>").arg(i));
            const QString filled = check::formatMessage(text, args);
            qsizetype at = -1;
            for (int i = 0; i < entry.arguments; ++i) {
                const qsizetype next = filled.indexOf(QStringLiteral("<arg%1>").arg(i));
                EXPECT_GT(next, at) << "argument " << i << " missing or out of order";
                at = next;
            }
        }
        if (entry.end == LineEnd::Ends) {
            EXPECT_TRUE(text.endsWith('\n'));
            EXPECT_FALSE(text.endsWith("\n\n") && entry.key != QByteArray("IntroText"));
        } else {
            EXPECT_FALSE(text.endsWith('\n'));
        }
        // A finding is one line: only the introduction may span several.
        if (entry.key != QByteArray("IntroText")) {
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
        {{"de"}, "NotDict", QString::fromUtf8("Kein Wörterbuch\n")},
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
