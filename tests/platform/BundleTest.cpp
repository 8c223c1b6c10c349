// Lookups in the strings tables follow the user's languages and fall back to English.
#include "platform/Bundle.h"
#include "CaseRows.h"
#include "TestFiles.h"

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
        bundle.setStringsFile(QString());
    }
};

TEST_F(StringsTable, LookupFollowsTheLanguagesAndFallsBackToEnglish)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    testsupport::writeFile(dir.filePath("de.lproj/Localizable.strings"), "\"NotDict\" = \"Kein Wörterbuch\\n\";");
    testsupport::writeFile(dir.filePath("pt_BR.lproj/Localizable.strings"),
                           "\"NotDict\" = \"Não é um dicionário\\n\";");
    platform::Bundle& bundle = platform::Bundle::main();
    bundle.setResourceDirectory(dir.path());
    for (const QStringList& row : caseRows("platform-strings-lookups.tsv")) {
        ASSERT_EQ(row.size(), 4);
        SCOPED_TRACE((row[0] + ' ' + row[1] + ' ' + row[2]).toStdString());
        if (row[0] != "lproj")
            testsupport::writeFile(dir.filePath("en.lproj/Localizable.strings"), "\"NotDict\" = \"NOT A DICTIONARY\";");
        bundle.setStringsFile(row[0] == "strings" ? dir.filePath("de.lproj/Localizable.strings") : QString());
        bundle.setPreferredLanguages(row[1].split(','));
        EXPECT_EQ(bundle.localizedString(row[2]), QString::fromUtf8(unescaped(row[3])));
    }
}

} // namespace
