// Suppressions written into a property list's own text: a comment holding
// "ostrel-ignore: ID[, ID]" silences those findings of the key on its line or
// on the next one; "ostrel-ignore-file: ID[, ID]" those of the whole file.
// XML comments (<!-- -->) and old-style ones (/* */, //) alike.
#pragma once

#include "report/Finding.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace check {

struct InlineSuppression {
    int line = 0;
    bool wholeFile = false;
    QStringList ids;
    QString text; // as written, for the note when it silences nothing
    bool used = false;
};

// The suppressions of a file's text; none in a binary property list.
QList<InlineSuppression> findInlineSuppressions(const QByteArray& bytes);

// Whether one of them silences the finding (which marks it used).
bool suppresses(QList<InlineSuppression>& suppressions, const report::Finding& finding);

} // namespace check
