// What the product walk and the checks of disk images, installer packages and
// programs write to: headings, findings, and the check of a property list's
// bytes. The controller is one; nothing here knows which.
#pragma once

#include "check/MessageLogger.h"
#include "platform/Error.h"
#include "plist/Value.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace check {

class CheckSink : public MessageLogger {
public:
    // The heading naming the item and the file read; the findings that
    // follow are about that file.
    virtual void appendHeading(const QString& name, const QString& pathRead) = 0;
    // The finding for a file that could not be read.
    virtual void appendReadError(const platform::Error& error) = 0;
    // The check of a property list's bytes, giving its dictionary when it has
    // one (bundleName: the bundle's folder name, when it is a bundle's).
    virtual std::optional<plist::Value> checkPlistData(const QByteArray& bytes, std::uint32_t fileType,
                                                       std::uint32_t creator,
                                                       const QString& bundleName = QString()) = 0;
    // A privacy manifest's bytes, checked as one; its dictionary when it has one.
    virtual std::optional<plist::Value> checkPrivacyManifestData(const QByteArray& bytes) = 0;
    // The property list to check next is a section of the file read (a
    // program's), not the whole file: no fix can point into the file.
    virtual void readFromSection() = 0;
    // The rules' table of the APIs that need a reason, or null.
    virtual const plist::Value* requiredReasonTable() const = 0;
};

} // namespace check
