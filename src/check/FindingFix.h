// The mechanical mends of findings: edits of the file's bytes, worked out
// from where the parser found each key and value.
#pragma once

#include "plist/Parse.h"
#include "report/Finding.h"

#include <QByteArray>

#include <memory>
#include <optional>

namespace check {

class FixText;

// What a fix is made from: the file as read and the places of its values;
// its text is worked out once, when the first fix asks for it.
struct FixSource {
    QByteArray bytes;
    const plist::Positions* positions = nullptr;
    plist::Format format = plist::Format::Xml;
    mutable std::shared_ptr<const FixText> text;
    mutable bool textTried = false;
};

// The fix of a finding whose mend is mechanical, or none. Binary files have
// none: their objects are shared and their offsets tied together.
std::optional<report::Fix> fixFor(const report::Finding& finding, const FixSource& source);

} // namespace check
