// Text from files shown with its control characters made visible.
#include "report/Escaping.h"
#include "CaseRows.h"
#include "platform/FileUrl.h"

#include <gtest/gtest.h>

TEST(Escaping, ControlCharactersBecomeVisibleEscapes)
{
    for (const QStringList& row : caseRows("report-escapes.tsv")) {
        SCOPED_TRACE(row.value(0).toStdString());
        ASSERT_EQ(row.size(), 2);
        EXPECT_EQ(report::escapeControlCharacters(platform::decodeFileName(unescaped(row[0]))), row[1]);
    }
}
