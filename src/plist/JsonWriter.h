// A property list as JSON, for dumping what was read. Kinds that JSON lacks
// are written as one-member objects: {"integer": "42"}, {"real": "0.5"},
// {"data": "base64"}, {"date": "2001-01-01T00:00:00Z"}, {"uid": 7}, {"set": [...]}.
#pragma once

#include "plist/Value.h"

#include <QByteArray>

namespace plist {

// UTF-8 JSON, indented by two spaces, ending with a newline. Dictionary keys
// keep the order of the file.
QByteArray toJson(const Value& value);

} // namespace plist
