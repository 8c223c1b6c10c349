// What the report tests share: runs of a report and files to save beside.
#pragma once

#include "TestFiles.h"
#include "report/TextStorage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <memory>

inline report::StyledString regular(const QString& text)
{
    return report::StyledString{text, report::FontDescription::userFontOfSize(14.0), nullptr};
}

inline report::StyledString bold(const QString& text)
{
    return report::StyledString{
        text, report::convertFontToHaveTrait(report::FontDescription::userFontOfSize(14.0), report::kBoldFontMask),
        nullptr};
}

// An image run; its name says nothing of a severity.
inline report::StyledString icon(const QString& name = QStringLiteral("badge.png"), const QByteArray& bytes = {})
{
    auto attachment = std::make_shared<report::TextAttachment>(report::TextAttachment{name, bytes});
    return report::StyledString{QString(QChar(report::kAttachmentCharacter)), std::nullopt, attachment};
}

using testsupport::writeFile;
