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
// has no such value.
bool followPath(const Value& value, QStringView rest, bool top, MemberPath& members)
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
        if (followPath(items[static_cast<std::size_t>(index)], rest.sliced(close + 1), false, members))
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
    // A key may hold full stops or brackets itself: each key that the path
    // starts with, up to one of them or its end, is tried, the longest first.
    const Dictionary& dict = value.toDictionary();
    QVarLengthArray<int, 8> candidates;
    for (int i = 0; i < dict.size(); ++i) {
        const QString& key = dict.keyAt(i);
        const qsizetype length = key.size();
        // The first character and the length rule out most keys before a comparison.
        if (length > rest.size() || (length > 0 && key.front() != rest.front()))
            continue;
        if (rest.startsWith(key) &&
            (rest.size() == length || rest[length] == QLatin1Char('.') || rest[length] == QLatin1Char('[')))
            candidates.push_back(i);
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [&](int a, int b) { return dict.keyAt(a).size() > dict.keyAt(b).size(); });
    for (const int i : candidates) {
        members.push_back(i);
        if (followPath(dict.valueAt(i), rest.sliced(dict.keyAt(i).size()), false, members))
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
    if (mSource == Source::Binary) {
        MemberPath members;
        if (!followPath(mRoot, keyPath, true, members))
            return std::nullopt;
        return detail::findInBinary(mBytes, mRoot, std::span<const int>(members.constData(), members.size()));
    }
    // A repeated key's later entry is the one that counts.
    const std::vector<std::size_t> entries = entriesAt(keyPath);
    if (entries.empty())
        return std::nullopt;
    return placeOf(entries.back());
}

std::vector<Positions::Place> Positions::findEach(QStringView keyPath) const
{
    std::vector<Place> places;
    if (mSource == Source::Binary) {
        if (const std::optional<Place> place = find(keyPath))
            places.push_back(*place);
        return places;
    }
    for (const std::size_t entry : entriesAt(keyPath))
        places.push_back(placeOf(entry));
    return places;
}

std::vector<std::size_t> Positions::entriesAt(QStringView keyPath) const
{
    MemberPath members;
    if (!followPath(mRoot, keyPath, true, members) || mEntries.empty())
        return {};
    std::vector<std::size_t> found{0};
    for (const int member : members) {
        // The children follow their container, each after the whole subtree
        // of the one before; on the way down a repeated key's later entry counts.
        const std::size_t at = found.back();
        found.clear();
        for (auto child = at + 1; child < static_cast<std::size_t>(mEntries[at].end);
             child = static_cast<std::size_t>(mEntries[child].end)) {
            if (mEntries[child].member == member)
                found.push_back(child);
        }
        if (found.empty())
            return {};
    }
    return found;
}

Positions::Place Positions::placeOf(std::size_t entry) const
{
    const Entry& e = mEntries[entry];
    return Place{locate(e.valueAt, e.valueLine), e.keyAt >= 0 ? locate(e.keyAt, e.keyLine) : Location{}};
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
    qint64 from = 0;
    if (line > 0 && mSource == Source::Utf8) {
        // The line is known: its start is the last line end before the offset.
        from = offset;
        while (from > 0 && mBytes[from - 1] != '\n' && mBytes[from - 1] != '\r')
            --from;
    } else {
        if (mLineStarts.empty())
            countLines();
        const auto next = std::upper_bound(mLineStarts.begin(), mLineStarts.end(), offset);
        line = static_cast<int>(next - mLineStarts.begin());
        from = *(next - 1);
    }
    // Columns count characters: UTF-8 sequences, or UTF-16 pairs as one.
    int column = 1;
    if (mSource == Source::Text) {
        for (qint64 i = from; i < offset && i < mText.size(); ++i)
            column += QChar::isLowSurrogate(mText[i].unicode()) ? 0 : 1;
        return Location{static_cast<int>(line), column, -1};
    }
    if (from == 0 && mBytes.startsWith("\xEF\xBB\xBF"))
        from = 3; // the byte-order mark is no character of the text
    for (qint64 i = from; i < offset && i < mBytes.size(); ++i)
        column += (static_cast<unsigned char>(mBytes[i]) & 0xC0) != 0x80 ? 1 : 0;
    return Location{static_cast<int>(line), column, offset};
}

} // namespace plist
