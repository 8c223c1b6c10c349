// Lookups in the strings tables follow the user's languages and fall back to English.
#include "platform/Bundle.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class StringsTable : public ::testing::Test {
protected:
    void SetUp() override { platform::Bundle::main().setStringsFile(QString()); }
    void TearDown() override
    {
        platform::Bundle& bundle = platform::Bundle::main();
        bundle.setResourceDirectory(QString());
        bundle.setPreferredLanguages({});
    }
};

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
        // The German table lacks the key: the built-in English text stands in,
        // and only a key no table has shows as itself.
        {{"de"}, "CheckingPrefix", "Checking "},
        {{"de"}, "NoReqTopKey", "The required key %@ is missing; add it."},
        {{"en"}, "NoSuchKey", "NoSuchKey"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.languages.join(',').toStdString() + " " + row.key.toStdString());
        bundle.setPreferredLanguages(row.languages);
        EXPECT_EQ(bundle.localizedString(row.key), row.expected);
    }
    // So does a table of one's own (--strings), even one in place of English.
    write("en.lproj/Localizable.strings", "\"NotDict\" = \"NOT A DICTIONARY\";");
    bundle.setPreferredLanguages({"en"});
    EXPECT_EQ(bundle.localizedString("NotDict"), "NOT A DICTIONARY");
    bundle.setPreferredLanguages({"fr"}); // English is the last language of every list
    EXPECT_EQ(bundle.localizedString("NotDict"), "NOT A DICTIONARY");
    bundle.setPreferredLanguages({"en"});
    EXPECT_EQ(bundle.localizedString("NoRecTopKey"), "The recommended key %@ is missing; consider adding it.");
    bundle.setStringsFile(dir.filePath("de.lproj/Localizable.strings"));
    EXPECT_EQ(bundle.localizedString("NotDict"), QString::fromUtf8("Kein Wörterbuch\n"));
    EXPECT_EQ(bundle.localizedString("CheckingPrefix"), "Checking ");
    bundle.setStringsFile(QString());
}

} // namespace
