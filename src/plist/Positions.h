// Where the values and keys of a parsed property list start in its file.
#pragma once

#include "plist/Value.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

namespace plist {

// Where something starts in the text of a file: line and column count from 1,
// in characters; 0 where unknown. The byte offset is -1 where unknown.
struct Location {
    int line = 0;
    int column = 0;
    qint64 offset = -1;
    bool operator==(const Location&) const = default;
};

// The places of a parsed tree's values, asked by key path. Readers note only
// an offset per value while parsing, in a flat table in document order that
// follows the value tree's shape; lines and columns are counted when asked
// for, since a check asks for few (its findings) and a file has many values.
// The first question indexes the table, so that each costs about the length
// of its key path however many members a container has. Not safe to ask from several threads at once.
class Positions {
public:
    // How the offsets of the table are read.
    enum class Source {
        Utf8,   // byte offsets into UTF-8 text
        Text,   // offsets into decoded text, in UTF-16 code units
        Binary, // no table: objects are found in the binary file when asked
    };

    struct Place {
        Location value;
        Location key; // unknown for the top level and for array elements
    };

    // The place of the value at keyPath ("a.b[2].c"), or none when the tree
    // has no value there. Keys holding full stops or brackets are tried at
    // each split; of two equal keys in one dictionary the later is found.
    std::optional<Place> find(QStringView keyPath) const;
    // The places of every entry of the key at keyPath, in the order of the
    // file: more than one where its dictionary repeats it. Binary files give
    // the one find gives.
    std::vector<Place> findEach(QStringView keyPath) const;

    // For the readers, in document order. A value starts (its entry); a
    // container's entry is closed after its last member; the parent, once
    // it has taken the value in, names its place: the index of its member
    // (the dictionary's, where a repeated key keeps its first index) and,
    // in a dictionary, where the key starts.
    // A reader that counts lines as it goes may give the line of each
    // offset too (0: count it when asked).
    int begin(qint64 valueAt, int line = 0)
    {
        const int entry = static_cast<int>(mEntries.size());
        mEntries.push_back(Entry{valueAt, -1, entry + 1, 0, line, 0});
        return entry;
    }
    void close(int entry) { mEntries[static_cast<std::size_t>(entry)].end = static_cast<int>(mEntries.size()); }
    void setMember(int entry, int member, qint64 keyAt = -1, int keyLine = 0)
    {
        Entry& e = mEntries[static_cast<std::size_t>(entry)];
        e.member = member;
        e.keyLine = keyLine;
        e.keyAt = keyAt;
    }
    void reserve(qsizetype entries) { mEntries.reserve(static_cast<std::size_t>(entries)); }
    // Offsets noted in a copy of the text with each CR LF made one LF, made
    // offsets of the text itself: collapsed holds where in the copy each
    // pair became one character, in order.
    void restoreCarriageReturns(const std::vector<qint64>& collapsed);
    // Once the tree is whole: what the offsets point into, and the tree.
    void setSource(Source source, QByteArray bytes, QString text, Value root);
    Source source() const { return mSource; }
    // The decoded text the offsets count in, for Source::Text.
    const QString& text() const { return mText; }

private:
    struct Entry {
        qint64 valueAt;
        qint64 keyAt;  // -1: no key
        int end;       // one past the last entry of the value's subtree
        int member;    // its index in the parent container
        int valueLine; // 0: not noted
        int keyLine;
    };

    // The entry of each member of each container, indexed on the first question.
    void indexMembers() const;
    int memberEntry(int container, int member) const;
    // The entry at the end of a path of members, or -1.
    int entryOf(std::span<const int> members) const;
    Place placeOf(int entry) const;
    Location locate(qint64 offset, int line) const;
    void countLines() const;

    std::vector<Entry> mEntries;
    Source mSource = Source::Utf8;
    QByteArray mBytes; // Utf8 and Binary
    QString mText;     // Text
    Value mRoot;
    // Where each line starts, counted on the first question.
    mutable std::vector<qint64> mLineStarts;
    // The entries of each entry's members: those of entry i in mMembers from
    // mFirstMember[i] to mFirstMember[i + 1], one per member index (-1: none).
    mutable std::vector<int> mFirstMember;
    mutable std::vector<int> mMembers;
    // Per dictionary asked about, which lengths its keys have: a key path is
    // split only where a key of the dictionary could end.
    mutable std::unordered_map<const Dictionary*, std::vector<bool>> mKeyLengths;
    // The column counted last: findings come in the order of the file, often
    // many on one long line, so the next count goes on from there.
    mutable struct {
        int line = 0; // 0: none counted yet
        qint64 lineStart = 0;
        qint64 offset = 0;
        int column = 1;
    } mLastColumn;
};

} // namespace plist
