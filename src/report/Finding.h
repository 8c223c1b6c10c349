// A finding as data: what the report says about one place of one file, kept
// beside the styled text so that other forms (JSON, SARIF, editor lines) and
// filters need not read the text back.
#pragma once

#include "plist/Value.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace report {

// Most severe first, so that "at least as severe" is "<=".
enum class Severity { Error, Warning, Note };

// "error", "warning", "note".
QString severityName(Severity severity);
// The severity of such a name; none for any other text.
std::optional<Severity> severityFromName(const QString& name);

// Where in the file a finding points. Lines and columns count from 1, in
// characters; 0 means unknown (binary files have no lines). The byte offset
// is -1 where unknown.
struct Position {
    int line = 0;
    int column = 0;
    qint64 offset = -1;

    bool known() const { return line > 0 || offset >= 0; }
    bool operator==(const Position&) const = default;
};

// One replacement of a byte range of the file as read: offset and length count
// bytes of that file, replacement is the bytes written in their place.
struct TextEdit {
    qint64 offset = 0;
    qint64 length = 0;
    QByteArray replacement;

    bool operator==(const TextEdit&) const = default;
};

// A mechanical mend for a finding. Safe fixes keep the meaning, or give the
// plainly intended one; unsafe ones may change what the bundle does.
struct Fix {
    bool safe = true;
    QString title; // "Rename NSPrincipleClass to NSPrincipalClass"
    QList<TextEdit> edits;

    bool operator==(const Fix&) const = default;
};

struct Finding {
    Severity severity = Severity::Error;
    // The strings table's key of the message ("Not4Char"); for a message
    // continued by another (an unknown key with its near miss) the last one.
    QString messageKey;
    // The message's arguments in order; none stands for a missing one.
    QList<std::optional<plist::Value>> arguments;
    // The value the finding is about ("CFBundleDocumentTypes[0].CFBundleTypeRole");
    // empty for the information dictionary or the file as a whole.
    QString keyPath;
    Position position;
    QString fileGiven; // the path the user named
    QString fileRead;  // the file actually read (for a bundle, the one inside it)
    // Read from the file's 'plst' resource: its lines are the resource's, which
    // no editor shows, so the forms that point an editor at a place leave them out.
    bool inResource = false;
    // The text as the report shows it, without the icon and the line end.
    QString text;
    // The runs of the text storage that show it: [firstRun, endRun).
    qsizetype firstRun = 0;
    qsizetype endRun = 0;
    // Set where the file's bytes can be edited to mend what the finding says.
    std::optional<Fix> fix;
};

} // namespace report
