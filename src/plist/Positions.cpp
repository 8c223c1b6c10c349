#include "plist/Positions.h"

#include "plist/Parsers.h"

#include <QVarLengthArray>

#include <algorithm>
#include <cstring>

namespace plist {

namespace {

// Indices of members from the top down; paths are rarely deeper than this.
using MemberPath = QVarLengthArray<int, 16>;

// The members to follow from the top down to the value at keyPath: indices
// into dictionaries (their order of keys) and arrays. False when the tree
// has no such value. keyLengths keeps, per dictionary, the lengths of its keys.
bool followPath(const Value& value, QStringView rest, bool top, MemberPath& members,
                std::unordered_map<const Dictionary*, std::vector<bool>>& keyLengths)
{
    if (rest.isEmpty())
        return true;
    if (value.isArray() || value.isSet()) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (!rest.startsWith(QLatin1Char('[')) || close < 0)
            return false;
        bool ok = false;
        const qsizetype index = rest.sliced(1, close - 1).toLongLong(&ok);
        const std::vector<Value>& items = value.toArray();
        if (!ok || index < 0 || static_cast<std::size_t>(index) >= items.size())
            return false;
        members.push_back(static_cast<int>(index));
        if (followPath(items[static_cast<std::size_t>(index)], rest.sliced(close + 1), false, members, keyLengths))
            return true;
        members.pop_back();
        return false;
    }
    if (!value.isDictionary())
        return false;
    if (!top) {
        if (!rest.startsWith(QLatin1Char('.')))
            return false;
        rest = rest.sliced(1);
    }
    const Dictionary& dict = value.toDictionary();
    std::vector<bool>& lengths = keyLengths[&dict];
    if (lengths.empty()) {
        lengths.push_back(false);
        for (const QString& key : dict.keys()) {
            if (static_cast<std::size_t>(key.size()) >= lengths.size())
                lengths.resize(static_cast<std::size_t>(key.size()) + 1);
            lengths[static_cast<std::size_t>(key.size())] = true;
        }
    }
    // A key may hold full stops or brackets itself: each place where a key
    // of this dictionary could end (a full stop, a bracket, the end) is tried,
    // the longest first.
    for (qsizetype length = std::min<qsizetype>(rest.size(), static_cast<qsizetype>(lengths.size()) - 1); length >= 0;
         --length) {
        if (!lengths[static_cast<std::size_t>(length)] ||
            (length < rest.size() && rest[length] != QLatin1Char('.') && rest[length] != QLatin1Char('[')))
            continue;
        const int i = dict.indexOf(rest.first(length));
        if (i < 0)
            continue;
        members.push_back(i);
        if (followPath(dict.valueAt(i), rest.sliced(length), false, members, keyLengths))
            return true;
        members.pop_back();
    }
    return false;
}

} // namespace

void Positions::restoreCarriageReturns(const std::vector<qint64>& collapsed)
{
    const auto restore = [&](qint64& at) {
        if (at >= 0)
            at += std::lower_bound(collapsed.begin(), collapsed.end(), at) - collapsed.begin();
    };
    for (Entry& entry : mEntries) {
        restore(entry.valueAt);
        restore(entry.keyAt);
    }
}

void Positions::setSource(Source source, QByteArray bytes, QString text, Value root)
{
    mSource = source;
    mBytes = std::move(bytes);
    mText = std::move(text);
    mRoot = std::move(root);
}

std::optional<Positions::Place> Positions::find(QStringView keyPath) const
{
    MemberPath members;
    if (!followPath(mRoot, keyPath, true, members, mKeyLengths))
        return std::nullopt;
    if (mSource == Source::Binary)
        return detail::findInBinary(mBytes, mRoot, std::span<const int>(members.constData(), members.size()));
    const int at = entryOf(std::span<const int>(members.constData(), members.size()));
    if (at < 0)
        return std::nullopt;
    return placeOf(at);
}

std::vector<Positions::Place> Positions::findEach(QStringView keyPath) const
{
    std::vector<Place> places;
    MemberPath members;
    if (mSource == Source::Binary || !followPath(mRoot, keyPath, true, members, mKeyLengths) || members.empty()) {
        if (const std::optional<Place> place = find(keyPath))
            places.push_back(*place);
        return places;
    }
    // The index keeps a repeated key's later entry only: the container's
    // children are looked through for the others. Asked of duplicates alone.
    const int container = entryOf(std::span<const int>(members.constData(), members.size() - 1));
    if (container < 0)
        return places;
    for (int child = container + 1; child < mEntries[static_cast<std::size_t>(container)].end;
         child = mEntries[static_cast<std::size_t>(child)].end) {
        if (mEntries[static_cast<std::size_t>(child)].member == members.back())
            places.push_back(placeOf(child));
    }
    return places;
}

int Positions::entryOf(std::span<const int> members) const
{
    if (mEntries.empty())
        return -1;
    if (mFirstMember.empty())
        indexMembers();
    int at = 0;
    for (auto member = members.begin(); member != members.end() && at >= 0; ++member)
        at = memberEntry(at, *member);
    return at;
}

Positions::Place Positions::placeOf(int entry) const
{
    const Entry& e = mEntries[static_cast<std::size_t>(entry)];
    return Place{locate(e.valueAt, e.valueLine), e.keyAt >= 0 ? locate(e.keyAt, e.keyLine) : Location{}};
}

void Positions::indexMembers() const
{
    // The children follow their container, each after the whole subtree of
    // the one before. First the number of members of each container,
    // then the entry in each slot; a repeated key's later entry is the one
    // that counts.
    const int count = static_cast<int>(mEntries.size());
    std::vector<int> memberCounts(mEntries.size(), 0);
    std::vector<int> open; // the containers whose subtrees hold the next entry
    const auto eachChild = [&](const auto& visit) {
        open.clear();
        for (int i = 0; i < count; ++i) {
            while (!open.empty() && mEntries[static_cast<std::size_t>(open.back())].end <= i)
                open.pop_back();
            if (!open.empty() && mEntries[static_cast<std::size_t>(i)].member >= 0)
                visit(open.back(), i);
            if (mEntries[static_cast<std::size_t>(i)].end > i + 1)
                open.push_back(i);
        }
    };
    eachChild([&](int parent, int child) {
        int& n = memberCounts[static_cast<std::size_t>(parent)];
        n = std::max(n, mEntries[static_cast<std::size_t>(child)].member + 1);
    });
    mFirstMember.assign(mEntries.size() + 1, 0);
    for (std::size_t i = 0; i < memberCounts.size(); ++i)
        mFirstMember[i + 1] = mFirstMember[i] + memberCounts[i];
    mMembers.assign(static_cast<std::size_t>(mFirstMember.back()), -1);
    eachChild([&](int parent, int child) {
        mMembers[static_cast<std::size_t>(mFirstMember[static_cast<std::size_t>(parent)] +
                                          mEntries[static_cast<std::size_t>(child)].member)] = child;
    });
}

int Positions::memberEntry(int container, int member) const
{
    const int first = mFirstMember[static_cast<std::size_t>(container)];
    if (member < 0 || member >= mFirstMember[static_cast<std::size_t>(container) + 1] - first)
        return -1;
    return mMembers[static_cast<std::size_t>(first + member)];
}

void Positions::countLines() const
{
    // A line ends at LF, CR LF or a lone CR, in both kinds of text.
    const auto scan = [this](const auto* units, qsizetype size) {
        for (qsizetype i = 0; i < size; ++i) {
            if (units[i] == '\n' || (units[i] == '\r' && (i + 1 == size || units[i + 1] != '\n')))
                mLineStarts.push_back(i + 1);
        }
    };
    mLineStarts.push_back(0);
    if (mSource == Source::Text) {
        scan(reinterpret_cast<const char16_t*>(mText.utf16()), mText.size());
        return;
    }
    const char* begin = mBytes.constData();
    const auto size = static_cast<std::size_t>(mBytes.size());
    if (std::memchr(begin, '\r', size)) {
        scan(begin, mBytes.size());
        return;
    }
    // Most files end their lines with LF alone: jump from one to the next.
    for (const char* p = begin; (p = static_cast<const char*>(std::memchr(p, '\n', size - (p - begin)))); ++p)
        mLineStarts.push_back(p - begin + 1);
}

Location Positions::locate(qint64 offset, int line) const
{
    // Findings come in the order of the file, often many on one long line:
    // a column is counted on from the last one where that lies on the same line, before.
    const bool onLastLine = mLastColumn.line > 0 && mLastColumn.offset <= offset;
    qint64 from = 0;
    if (line > 0 && mSource == Source::Utf8) {
        const auto lineEnd = [](char c) { return c == '\n' || c == '\r'; };
        const char* bytes = mBytes.constData();
        if (onLastLine && std::none_of(bytes + mLastColumn.offset, bytes + std::min(offset, mBytes.size()), lineEnd)) {
            from = mLastColumn.lineStart;
        } else {
            // The line is known: its start is the last line end before the offset.
            from = offset;
            while (from > 0 && mBytes[from - 1] != '\n' && mBytes[from - 1] != '\r')
                --from;
        }
    } else {
        if (mLineStarts.empty())
            countLines();
        const auto next = std::upper_bound(mLineStarts.begin(), mLineStarts.end(), offset);
        line = static_cast<int>(next - mLineStarts.begin());
        from = *(next - 1);
    }
    if (mSource != Source::Text && from == 0 && mBytes.startsWith("\xEF\xBB\xBF"))
        from = 3; // the byte-order mark is no character of the text
    qint64 i = from;
    int column = 1;
    if (onLastLine && mLastColumn.lineStart == from) {
        i = mLastColumn.offset;
        column = mLastColumn.column;
    }
    // Columns count characters: UTF-8 sequences, or UTF-16 pairs as one.
    if (mSource == Source::Text) {
        for (; i < offset && i < mText.size(); ++i)
            column += QChar::isLowSurrogate(mText[i].unicode()) ? 0 : 1;
    } else {
        for (; i < offset && i < mBytes.size(); ++i)
            column += (static_cast<unsigned char>(mBytes[i]) & 0xC0) != 0x80 ? 1 : 0;
    }
    mLastColumn = {line, from, i, column};
    return Location{line, column, mSource == Source::Text ? -1 : offset};
}

} // namespace plist
