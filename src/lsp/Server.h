// ostrel-check --lsp: a language server over a pair of descriptors (standard
// input and output), for editors: diagnostics as the text is typed, key
// completion and hover from the rules.
#pragma once

#include "report/ReportText.h"

#include <QString>

namespace lsp {

struct ServerOptions {
    QString findingsPage; // the address diagnostics link to, as --findings-url gives it
    // The findings left out (the ignore list of the command line); none when empty.
    report::FindingFilter ignored = {};
    // A check starts this long after the last edit, so a burst is checked once.
    int debounceMs = 150;
    // Each document's project files (.ostrel.toml, .ostrel-ignore above it), as
    // the command line reads them for a path: config names the one settings
    // file, isolated reads none.
    bool isolated = false;
    QString config;
};

// Serves one client until it says exit or goes away (its input ends, or its
// process, named in initialize, is gone). Returns the exit status: 0 after
// shutdown and exit, 1 otherwise.
int serve(int in, int out, const ServerOptions& options);

} // namespace lsp
