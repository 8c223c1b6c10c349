// Walks a parsed information dictionary against the rules and writes every
// deviation to its client.
#pragma once

#include "check/MessageLogger.h"
#include "plist/Value.h"

namespace check {

class PlistValidator {
public:
    // The client is not owned; it outlives the validator.
    explicit PlistValidator(MessageLogger& client);

    // rules: the root rule; null rules check nothing.
    void validateInfoDict(const plist::Dictionary& infoDict, const plist::Value* rules);

private:
    MessageLogger& mClient;
};

}  // namespace check
