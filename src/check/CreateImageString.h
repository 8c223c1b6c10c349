// Builds an icon run from an image resource.
#pragma once

#include "report/TextStorage.h"

#include <QString>

#include <memory>

namespace check {

// An icon run (one U+FFFC with the image file attached) for the resource of
// that name, extension included; null when there is no such resource.
std::unique_ptr<report::StyledString> CreateImageString(const QString& resourceName);

} // namespace check
