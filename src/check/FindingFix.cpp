#include "check/FindingFix.h"

#include <QRegularExpression>
#include <QStringEncoder>

#include <algorithm>
#include <array>
#include <vector>

namespace check {

namespace {

using Fix = report::Fix;

} // namespace

// The file's text and how its characters map back to its bytes: edits are
// worked out on the text and written as bytes of the file's own encoding.
// Made once a file: a file may have thousands of findings.
class FixText {
public:
    static std::shared_ptr<const FixText> of(const FixSource& source)
    {
        auto doc = std::make_shared<FixText>();
        doc->mXml = source.format == plist::Format::Xml;
        doc->mUtf8Offsets = source.positions->source() == plist::Positions::Source::Utf8;
        doc->mText = doc->mUtf8Offsets ? QString::fromUtf8(source.bytes) : source.positions->text();
        // The encoding whose bytes of the text, after a prefix (a byte-order
        // mark the text leaves out), are the file: else the file is not edited.
        static constexpr std::array kEncodings{QStringConverter::Utf8, QStringConverter::Utf16LE,
                                               QStringConverter::Utf16BE};
        for (const QStringConverter::Encoding encoding : kEncodings) {
            doc->mEncoding = encoding;
            const QByteArray encoded = doc->encode(doc->mText);
            const qsizetype prefix = source.bytes.size() - encoded.size();
            if (prefix >= 0 && prefix <= 3 && source.bytes.endsWith(encoded)) {
                doc->mPrefix = prefix;
                doc->mLineEnd =
                    doc->mText.contains(QLatin1String("\r\n")) ? QStringLiteral("\r\n") : QStringLiteral("\n");
                doc->index();
                return doc;
            }
            if (doc->mUtf8Offsets)
                break;
        }
        return nullptr;
    }

    const QString& text() const { return mText; }
    bool xml() const { return mXml; }
    const QString& lineEnd() const { return mLineEnd; }

    // The place of a location in the text; -1 for none. Decoded text has
    // its places by line and column only (lines end at LF, CR LF or CR;
    // columns count a surrogate pair as one).
    qsizetype at(const plist::Location& location) const
    {
        if (location.offset >= 0)
            return mUtf8Offsets ? unitAtByte(location.offset) : location.offset;
        if (location.line <= 0 || location.column <= 0 || static_cast<std::size_t>(location.line) > mLineStarts.size())
            return -1;
        qsizetype i = mLineStarts[static_cast<std::size_t>(location.line - 1)];
        for (int column = 1; column < location.column && i < mText.size(); ++column)
            i += mText[i].isHighSurrogate() && i + 1 < mText.size() ? 2 : 1;
        return i;
    }

    // The text range [from, to) replaced, as an edit of the bytes.
    report::TextEdit edit(qsizetype from, qsizetype to, const QString& replacement) const
    {
        const qint64 start = byteOf(from);
        return report::TextEdit{start, byteOf(to) - start, encode(replacement)};
    }

private:
    static int utf8Length(const QString& text, qsizetype i)
    {
        const char16_t c = text[i].unicode();
        return c < 0x80 ? 1 : c < 0x800 ? 2 : QChar::isHighSurrogate(c) && i + 1 < text.size() ? 4 : 3;
    }
    static int unitsAt(const QString& text, qsizetype i)
    {
        return text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
    }

    // Lines, and every so many characters where they stand in the bytes.
    void index()
    {
        mLineStarts.push_back(0);
        qint64 byte = mPrefix;
        for (qsizetype i = 0; i < mText.size();) {
            if (i % kStep < 2 && (mMarks.empty() || mMarks.back().first / kStep < i / kStep))
                mMarks.emplace_back(i, byte);
            const QChar c = mText[i];
            if (c == QLatin1Char('\n') ||
                (c == QLatin1Char('\r') && (i + 1 == mText.size() || mText[i + 1] != QLatin1Char('\n'))))
                mLineStarts.push_back(i + 1);
            byte += mEncoding == QStringConverter::Utf8 ? utf8Length(mText, i) : 2 * unitsAt(mText, i);
            i += unitsAt(mText, i);
        }
        mMarks.emplace_back(mText.size(), byte);
    }

    // The nearest mark at or before the place, by character or by byte.
    std::pair<qsizetype, qint64> markBefore(qsizetype unit, qint64 byte) const
    {
        const auto after =
            std::upper_bound(mMarks.begin(), mMarks.end(), std::pair{unit, byte}, [&](const auto& a, const auto& b) {
                return unit >= 0 ? a.first < b.first : a.second < b.second;
            });
        return after == mMarks.begin() ? mMarks.front() : *(after - 1);
    }

    qint64 byteOf(qsizetype unit) const
    {
        auto [i, byte] = markBefore(unit, 0);
        for (; i < unit && i < mText.size(); i += unitsAt(mText, i))
            byte += mEncoding == QStringConverter::Utf8 ? utf8Length(mText, i) : 2 * unitsAt(mText, i);
        return byte;
    }

    qsizetype unitAtByte(qint64 offset) const
    {
        auto [i, byte] = markBefore(-1, offset);
        while (byte < offset && i < mText.size()) {
            byte += utf8Length(mText, i);
            i += unitsAt(mText, i);
        }
        return i;
    }

    QByteArray encode(QStringView text) const
    {
        QStringEncoder encoder(mEncoding);
        return encoder.encode(text);
    }

    static constexpr qsizetype kStep = 1024;
    QString mText;
    QString mLineEnd;
    QStringConverter::Encoding mEncoding = QStringConverter::Utf8;
    qint64 mPrefix = 0;
    bool mXml = true;
    bool mUtf8Offsets = true;
    std::vector<qsizetype> mLineStarts;
    std::vector<std::pair<qsizetype, qint64>> mMarks; // (character, byte), in order
};

namespace {

using Document = FixText;

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// One past the end of the XML element that starts at or just before from
// (at its '<'); -1 where the text is not as expected.
qsizetype xmlElementEnd(const QString& text, qsizetype& from)
{
    if (from < text.size() && text[from] != QLatin1Char('<'))
        from = text.lastIndexOf(QLatin1Char('<'), from);
    if (from < 0)
        return -1;
    int depth = 0;
    for (qsizetype i = from; i >= 0 && i < text.size();) {
        i = text.indexOf(QLatin1Char('<'), i);
        if (i < 0)
            return -1;
        const QStringView rest = QStringView(text).sliced(i);
        const auto skipTo = [&](QLatin1StringView close) {
            const qsizetype end = text.indexOf(close, i);
            return end < 0 ? -1 : end + close.size();
        };
        if (rest.startsWith(u"<!--")) {
            i = skipTo(QLatin1StringView("-->"));
            continue;
        }
        if (rest.startsWith(u"<![CDATA[")) {
            i = skipTo(QLatin1StringView("]]>"));
            continue;
        }
        const qsizetype close = text.indexOf(QLatin1Char('>'), i);
        if (close < 0)
            return -1;
        if (rest.startsWith(u"</"))
            --depth;
        else if (text[close - 1] != QLatin1Char('/'))
            ++depth;
        i = close + 1;
        if (depth == 0)
            return i;
    }
    return -1;
}

// The end of an old-style value starting at from; -1 where it is not one.
qsizetype oldStyleValueEnd(const QString& text, qsizetype from)
{
    const auto skipQuoted = [&](qsizetype i) -> qsizetype {
        const QChar quote = text[i];
        for (++i; i < text.size(); ++i) {
            if (text[i] == QLatin1Char('\\'))
                ++i;
            else if (text[i] == quote)
                return i + 1;
        }
        return -1;
    };
    if (from < 0 || from >= text.size())
        return -1;
    const QChar first = text[from];
    if (first == QLatin1Char('"') || first == QLatin1Char('\''))
        return skipQuoted(from);
    if (first == QLatin1Char('<')) {
        const qsizetype end = text.indexOf(QLatin1Char('>'), from);
        return end < 0 ? -1 : end + 1;
    }
    if (first == QLatin1Char('{') || first == QLatin1Char('(')) {
        int depth = 0;
        for (qsizetype i = from; i < text.size();) {
            const QChar c = text[i];
            if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
                i = skipQuoted(i);
                if (i < 0)
                    return -1;
                continue;
            }
            if (c == QLatin1Char('/') && i + 1 < text.size() &&
                (text[i + 1] == QLatin1Char('/') || text[i + 1] == QLatin1Char('*'))) {
                const bool line = text[i + 1] == QLatin1Char('/');
                const qsizetype end = text.indexOf(line ? QLatin1String("\n") : QLatin1String("*/"), i + 2);
                if (end < 0)
                    return -1;
                i = end + (line ? 1 : 2);
                continue;
            }
            if (c == QLatin1Char('{') || c == QLatin1Char('('))
                ++depth;
            else if ((c == QLatin1Char('}') || c == QLatin1Char(')')) && --depth == 0)
                return i + 1;
            ++i;
        }
        return -1;
    }
    qsizetype i = from;
    static const QString kUnquoted = QStringLiteral("_$+/:.-");
    while (i < text.size() && (text[i].isLetterOrNumber() || kUnquoted.contains(text[i])))
        ++i;
    return i > from ? i : -1;
}

QString xmlEscaped(const QString& text)
{
    return text.toHtmlEscaped().replace(QLatin1String("&quot;"), QLatin1String("\""));
}

QString oldStyleQuoted(const QString& text)
{
    static const QRegularExpression kBare(QStringLiteral("^[A-Za-z0-9_$+/:.-]+$"));
    if (kBare.match(text).hasMatch())
        return text;
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

// The text range of a value or key starting at offset; none where it cannot be told.
std::optional<std::pair<qsizetype, qsizetype>> rangeAt(const Document& doc, const plist::Location& location)
{
    qsizetype from = doc.at(location);
    if (from < 0)
        return std::nullopt;
    const qsizetype to = doc.xml() ? xmlElementEnd(doc.text(), from) : oldStyleValueEnd(doc.text(), from);
    if (to < 0)
        return std::nullopt;
    return std::pair{from, to};
}

// What stands between an XML element's tags; none for an empty one.
QString xmlContent(const QString& text, qsizetype from, qsizetype to)
{
    const qsizetype open = text.indexOf(QLatin1Char('>'), from);
    const qsizetype close = text.lastIndexOf(QLatin1Char('<'), to - 1);
    if (open < 0 || close <= open)
        return {};
    return text.sliced(open + 1, close - open - 1);
}

Fix makeFix(bool safe, const QString& title, QList<report::TextEdit> edits)
{
    return Fix{safe, title, std::move(edits)};
}

QString argumentText(const report::Finding& finding, qsizetype index)
{
    if (index < 0)
        index += finding.arguments.size();
    if (index < 0 || index >= finding.arguments.size() || !finding.arguments[index] ||
        !finding.arguments[index]->isString())
        return {};
    return finding.arguments[index]->toString();
}

// The value at the finding's key path replaced: a string in XML and old-style text alike.
std::optional<Fix> replaceValue(const report::Finding& finding, const Document& doc, const FixSource& source,
                                const QString& xmlValue, const QString& oldStyleValue, bool safe, const QString& title)
{
    const std::optional<plist::Positions::Place> place = source.positions->find(finding.keyPath);
    if (!place)
        return std::nullopt;
    const auto range = rangeAt(doc, place->value);
    if (!range || (!doc.xml() && oldStyleValue.isEmpty()))
        return std::nullopt;
    return makeFix(safe, title, {doc.edit(range->first, range->second, doc.xml() ? xmlValue : oldStyleValue)});
}

std::optional<Fix> replaceString(const report::Finding& finding, const Document& doc, const FixSource& source,
                                 const QString& value, const QString& title)
{
    return replaceValue(finding, doc, source,
                        QLatin1String("<string>") + xmlEscaped(value) + QLatin1String("</string>"),
                        oldStyleQuoted(value), true, title);
}

std::optional<Fix> renameKey(const report::Finding& finding, const Document& doc, const FixSource& source)
{
    const QString key = argumentText(finding, 0);
    const QString wanted = argumentText(finding, -1);
    const QString parent = finding.arguments.size() == 3 ? argumentText(finding, 1) : QString();
    // With the right key present already, which of the two to keep is the developer's call.
    if (key.isEmpty() || wanted.isEmpty() || source.positions->find(plist::memberKeyPath(parent, wanted)))
        return std::nullopt;
    const std::optional<plist::Positions::Place> place = source.positions->find(finding.keyPath);
    if (!place)
        return std::nullopt;
    const auto range = rangeAt(doc, place->key);
    if (!range)
        return std::nullopt;
    const QString replacement =
        doc.xml() ? QLatin1String("<key>") + xmlEscaped(wanted) + QLatin1String("</key>") : oldStyleQuoted(wanted);
    return makeFix(true, QStringLiteral("Rename %1 to %2").arg(key, wanted),
                   {doc.edit(range->first, range->second, replacement)});
}

// An entry taken out, with its line when it stands alone on one.
std::optional<report::TextEdit> removeEntry(const Document& doc, const plist::Positions::Place& place)
{
    const QString& text = doc.text();
    const qsizetype from = doc.at(place.key);
    const auto value = rangeAt(doc, place.value);
    if (from < 0 || !value)
        return std::nullopt;
    qsizetype start = from;
    if (doc.xml() && start < text.size() && text[start] != QLatin1Char('<'))
        start = text.lastIndexOf(QLatin1Char('<'), start);
    qsizetype end = value->second;
    if (!doc.xml()) {
        qsizetype semicolon = end;
        while (semicolon < text.size() && text[semicolon].isSpace())
            ++semicolon;
        if (semicolon >= text.size() || text[semicolon] != QLatin1Char(';'))
            return std::nullopt;
        end = semicolon + 1;
    }
    qsizetype lineStart = start;
    while (lineStart > 0 && isBlank(text[lineStart - 1]))
        --lineStart;
    qsizetype lineEnd = end;
    while (lineEnd < text.size() && isBlank(text[lineEnd]))
        ++lineEnd;
    const bool aloneBefore = lineStart == 0 || text[lineStart - 1] == QLatin1Char('\n');
    const bool aloneAfter =
        lineEnd == text.size() || text[lineEnd] == QLatin1Char('\r') || text[lineEnd] == QLatin1Char('\n');
    if (aloneBefore && aloneAfter) {
        start = lineStart;
        end = lineEnd;
        if (text.sliced(end).startsWith(QLatin1String("\r\n")))
            end += 2;
        else if (end < text.size())
            ++end;
    }
    return doc.edit(start, end, QString());
}

std::optional<Fix> removeEarlierEntries(const report::Finding& finding, const Document& doc, const FixSource& source)
{
    const std::vector<plist::Positions::Place> places = source.positions->findEach(finding.keyPath);
    if (places.size() < 2)
        return std::nullopt;
    QList<report::TextEdit> edits;
    for (std::size_t i = 0; i + 1 < places.size(); ++i) {
        const std::optional<report::TextEdit> edit = removeEntry(doc, places[i]);
        if (!edit)
            return std::nullopt;
        edits.append(*edit);
    }
    return makeFix(true, QStringLiteral("Remove the earlier entries of %1").arg(argumentText(finding, 0)),
                   std::move(edits));
}

// The key and its value as the first members of the top-level dictionary,
// indented as the member after them.
std::optional<Fix> addTopKey(const Document& doc, const FixSource& source, const QString& key, const QString& value)
{
    const std::optional<plist::Positions::Place> root = source.positions->find(QString());
    if (!root)
        return std::nullopt;
    const QString& text = doc.text();
    qsizetype open = doc.at(root->value);
    if (open < 0 || open >= text.size())
        return std::nullopt;
    if (doc.xml() && text[open] != QLatin1Char('<'))
        open = text.lastIndexOf(QLatin1Char('<'), open);
    const qsizetype close = doc.xml() ? text.indexOf(QLatin1Char('>'), open) : open;
    if (open < 0 || close < 0)
        return std::nullopt;
    const auto entry = [&](const QString& indent) {
        return doc.xml() ? QLatin1String("<key>") + key + QLatin1String("</key>") + doc.lineEnd() + indent +
                               QLatin1String("<string>") + value + QLatin1String("</string>")
                         : key + QLatin1String(" = ") + oldStyleQuoted(value) + QLatin1Char(';');
    };
    // An empty <dict/> opens and closes in one tag.
    if (doc.xml() && text[close - 1] == QLatin1Char('/')) {
        qsizetype lineStart = open;
        while (lineStart > 0 && isBlank(text[lineStart - 1]))
            --lineStart;
        const QString outer = text.sliced(lineStart, open - lineStart);
        const QString inner = outer + QLatin1Char('\t');
        return makeFix(true, QStringLiteral("Add %1 %2").arg(key, value),
                       {doc.edit(open, close + 1,
                                 QLatin1String("<dict>") + doc.lineEnd() + inner + entry(inner) + doc.lineEnd() +
                                     outer + QLatin1String("</dict>"))});
    }
    qsizetype next = close + 1;
    while (next < text.size() && text[next].isSpace())
        ++next;
    qsizetype indentStart = next;
    while (indentStart > close + 1 && isBlank(text[indentStart - 1]))
        --indentStart;
    QString indent = text.sliced(indentStart, next - indentStart);
    const bool ownLine = indentStart > close + 1;
    if (!ownLine)
        indent = QStringLiteral("\t");
    return makeFix(true, QStringLiteral("Add %1 %2").arg(key, value),
                   {doc.edit(close + 1, close + 1, doc.lineEnd() + indent + entry(indent))});
}

// A value of the wrong type written as the type the key takes, where its text says which value is meant.
std::optional<Fix> convertType(const report::Finding& finding, const Document& doc, const FixSource& source)
{
    if (!doc.xml())
        return std::nullopt;
    const QString expected = argumentText(finding, 1);
    const QString found = argumentText(finding, 2);
    const std::optional<plist::Positions::Place> place = source.positions->find(finding.keyPath);
    if (!place)
        return std::nullopt;
    const auto range = rangeAt(doc, place->value);
    if (!range)
        return std::nullopt;
    const QString content = xmlContent(doc.text(), range->first, range->second).trimmed();
    static const QRegularExpression kInteger(QStringLiteral("^[+-]?[0-9]+$"));
    QString replacement;
    if (expected == QLatin1String("boolean") && found == QLatin1String("integer") &&
        (content == QLatin1String("0") || content == QLatin1String("1")))
        replacement = content == QLatin1String("1") ? QStringLiteral("<true/>") : QStringLiteral("<false/>");
    else if (expected == QLatin1String("boolean") && found == QLatin1String("string")) {
        static const QStringList kTrue{QStringLiteral("yes"), QStringLiteral("true")};
        static const QStringList kFalse{QStringLiteral("no"), QStringLiteral("false")};
        if (kTrue.contains(content.toLower()))
            replacement = QStringLiteral("<true/>");
        else if (kFalse.contains(content.toLower()))
            replacement = QStringLiteral("<false/>");
    } else if (expected == QLatin1String("integer") && found == QLatin1String("string") &&
               kInteger.match(content).hasMatch())
        replacement = QLatin1String("<integer>") + content + QLatin1String("</integer>");
    else if (expected == QLatin1String("string") && found == QLatin1String("integer") &&
             kInteger.match(content).hasMatch())
        replacement = QLatin1String("<string>") + content + QLatin1String("</string>");
    if (replacement.isEmpty())
        return std::nullopt;
    return makeFix(false, QStringLiteral("Write %1 as %2").arg(finding.keyPath, replacement),
                   {doc.edit(range->first, range->second, replacement)});
}

} // namespace

std::optional<report::Fix> fixFor(const report::Finding& finding, const FixSource& source)
{
    static const QStringList kFixable{QStringLiteral("KeyTypo"),
                                      QStringLiteral("DuplicateTopKey"),
                                      QStringLiteral("DuplicateKey"),
                                      QStringLiteral("NoReqTopKey"),
                                      QStringLiteral("NoRecTopKey"),
                                      QStringLiteral("BadEnumeratedValue"),
                                      QStringLiteral("PackageTypeNot4Char"),
                                      QStringLiteral("PackageTypeMismatch"),
                                      QStringLiteral("BIDBadChar"),
                                      QStringLiteral("UTIBadChar"),
                                      QStringLiteral("BadType")};
    const QString& id = finding.messageKey;
    if (!source.positions || source.format == plist::Format::Binary || finding.inResource || !kFixable.contains(id))
        return std::nullopt;
    if (!source.text && !source.textTried) {
        source.textTried = true;
        source.text = FixText::of(source);
    }
    const Document* doc = source.text.get();
    if (!doc)
        return std::nullopt;
    const QString kVersionKey = QStringLiteral("CFBundleInfoDictionaryVersion");
    const QString kVersion = QStringLiteral("6.0");
    if (id == QLatin1String("KeyTypo"))
        return renameKey(finding, *doc, source);
    if (id == QLatin1String("DuplicateTopKey") || id == QLatin1String("DuplicateKey"))
        return removeEarlierEntries(finding, *doc, source);
    if ((id == QLatin1String("NoReqTopKey") || id == QLatin1String("NoRecTopKey")) &&
        argumentText(finding, 0) == kVersionKey)
        return addTopKey(*doc, source, kVersionKey, kVersion);
    if (id == QLatin1String("BadEnumeratedValue") && finding.keyPath == kVersionKey)
        return replaceString(finding, *doc, source, kVersion,
                             QStringLiteral("Set %1 to %2").arg(kVersionKey, kVersion));
    if (id == QLatin1String("PackageTypeNot4Char") || id == QLatin1String("PackageTypeMismatch")) {
        const QString type = argumentText(finding, 2);
        if (type.size() != 4)
            return std::nullopt;
        return replaceString(finding, *doc, source, type, QStringLiteral("Set %1 to %2").arg(finding.keyPath, type));
    }
    if (id == QLatin1String("BIDBadChar") || id == QLatin1String("UTIBadChar")) {
        const QString value = argumentText(finding, 0);
        const QString trimmed = value.trimmed();
        if (trimmed == value || trimmed.isEmpty())
            return std::nullopt;
        return replaceString(finding, *doc, source, trimmed,
                             QStringLiteral("Trim the white space around %1").arg(trimmed));
    }
    if (id == QLatin1String("BadType"))
        return convertType(finding, *doc, source);
    return std::nullopt;
}

} // namespace check
