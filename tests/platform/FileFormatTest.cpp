// The recogniser of file formats by their first bytes.
#include "platform/FileFormat.h"
#include "CaseRows.h"

#include <gtest/gtest.h>

namespace {

TEST(FileFormatTest, FirstBytesTellTheFormat)
{
    for (const QStringList& row : caseRows("platform-file-formats.tsv")) {
        ASSERT_EQ(row.size(), 2);
        SCOPED_TRACE(row[0].toStdString());
        const char* name = platform::fileFormatName(platform::fileFormat(unescaped(row[0])));
        EXPECT_EQ(QString::fromLatin1(name ? name : "-"), row[1]);
    }
}

} // namespace
