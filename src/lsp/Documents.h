// The documents an editor has open, as their text stands in its buffers.
// Places are the protocol's: a line and a column counted in UTF-16 code
// units, which is how QString counts too.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringView>

#include <optional>

namespace lsp {

struct TextPlace {
    int line = 0;      // from 0
    int character = 0; // UTF-16 code units from the line's start
};

// The offset in text of a place; a place past a line's end is its end, past
// the last line the text's end. Lines end in LF, CR LF or CR.
qsizetype offsetOf(QStringView text, TextPlace place);
// The place of an offset.
TextPlace placeOf(QStringView text, qsizetype offset);
// The UTF-16 column (from 0) of the character column (from 1, a character
// beyond the Basic Multilingual Plane counting once) on the line lineStart
// begins; a column past the line's end is the end.
int utf16Column(QStringView text, qsizetype lineStart, int column);

// What a document is to the checks.
enum class DocumentKind {
    InfoPlist,    // Info.plist and any other .plist: the whole check
    PropertyList, // a privacy manifest, InfoPlist.strings: its syntax
};

// The kind of the file so named, or none for a file the server does not check.
std::optional<DocumentKind> documentKindOf(const QString& fileName);

// The bytes a check reads for the text: UTF-16 when the XML declaration says
// so (as the file would be saved), else UTF-8.
QByteArray bytesToCheck(const QString& text);

struct Document {
    QString path; // the local file it stands for
    DocumentKind kind = DocumentKind::InfoPlist;
    QString text;
    int version = 0;
};

class DocumentStore {
public:
    // Opens or reopens a document; uri is a file: URL.
    Document& open(const QString& uri, const QString& path, DocumentKind kind, QString text, int version);
    void close(const QString& uri) { mDocuments.remove(uri); }
    Document* find(const QString& uri);
    // Replaces the text from start to end with replacement.
    static void edit(Document& document, TextPlace start, TextPlace end, QStringView replacement);
    qsizetype size() const { return mDocuments.size(); }

private:
    QHash<QString, Document> mDocuments;
};

} // namespace lsp
