#include "check/PlistValidator.h"

namespace check {

PlistValidator::PlistValidator(MessageLogger& client) : mClient(client) {}

void PlistValidator::validateInfoDict(const plist::Dictionary&, const plist::Value*) {}

}  // namespace check
