// The two XML readers on the same bytes: whenever the fast reader accepts a
// document, the full reader (QXmlStreamReader) must accept it too, with the
// same value, key order, duplicates and positions.
#include "plist/JsonWriter.h"
#include "plist/Parse.h"
#include "plist/XmlCommon.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>

namespace {

// Where both readers place the value at path and everything below it; false
// at the first place they disagree on, which is then printed.
bool samePositions(const plist::Positions& fast, const plist::Positions& full, const plist::Value& value,
                   const QString& path)
{
    // A path need not name a value: under a member whose key is empty, a
    // member's path reads as one of the top ("" then "b" gives "b"). Both
    // readers must then find nothing.
    const auto a = fast.find(path), b = full.find(path);
    if (a.has_value() != b.has_value() || (a && (a->value.line != b->value.line || a->value.column != b->value.column ||
                                                 a->key.line != b->key.line || a->key.column != b->key.column))) {
        std::fprintf(stderr, "positions differ at '%s'\n", qPrintable(path));
        for (const auto& [reader, place] : {std::pair{"fast", a}, std::pair{"full", b}}) {
            if (place)
                std::fprintf(stderr, "  %s: value %d:%d, key %d:%d\n", reader, place->value.line, place->value.column,
                             place->key.line, place->key.column);
            else
                std::fprintf(stderr, "  %s: nothing\n", reader);
        }
        return false;
    }
    if (value.isDictionary()) {
        const plist::Dictionary& dict = value.toDictionary();
        for (int i = 0; i < dict.size(); ++i)
            if (!samePositions(fast, full, dict.valueAt(i), plist::memberKeyPath(path, dict.keyAt(i))))
                return false;
    } else if (value.isArray()) {
        for (std::size_t i = 0; i < value.toArray().size(); ++i)
            if (!samePositions(fast, full, value.toArray()[i], plist::elementKeyPath(path, static_cast<int>(i))))
                return false;
    }
    return true;
}

// QXmlStreamReader takes a ']' written as a character reference for a literal
// one, and so refuses "&#93;]>" as if it were "]]>" in text, which XML allows.
// True when that is its only objection: with each such reference spelt as
// another character, it accepts the document.
bool onlyRefusesReferencedBrackets(const QByteArray& bytes, const plist::ParseResult& full)
{
    if (!full.error.detail.contains(QStringLiteral("']]>'")))
        return false;
    static const std::regex bracketReference("&#(0*93|x0*5[dD]);");
    const std::string respelt = std::regex_replace(bytes.toStdString(), bracketReference, "&#94;");
    return plist::detail::parseXmlFull(QByteArray::fromStdString(respelt)).ok();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Not copied, so that a read past the end is seen by AddressSanitizer.
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<plist::ParseResult> fast = plist::detail::parseXmlFast(bytes);
    if (!fast)
        return 0;
    const plist::ParseResult full = plist::detail::parseXmlFull(bytes);
    if (!fast->ok() || fast->error != plist::ParseError()) {
        std::fprintf(stderr, "the fast reader gave neither a value nor way to the full reader\n");
        std::abort();
    }
    if (!full.ok() && onlyRefusesReferencedBrackets(bytes, full))
        return 0;
    if (!full.ok()) {
        std::fprintf(stderr, "accepted by the fast reader only; the full reader says: %s\n",
                     qPrintable(full.errorText()));
        std::abort();
    }
    const QByteArray fastJson = plist::toJson(*fast->value);
    const QByteArray fullJson = plist::toJson(*full.value);
    if (fastJson != fullJson || !(*fast->value == *full.value)) {
        std::fprintf(stderr, "values differ:\nfast: %s\nfull: %s\n", fastJson.constData(), fullJson.constData());
        std::abort();
    }
    if (fast->duplicates != full.duplicates) {
        std::fprintf(stderr, "duplicates differ: %lld against %lld\n", static_cast<long long>(fast->duplicates.size()),
                     static_cast<long long>(full.duplicates.size()));
        for (const auto& list : {fast->duplicates, full.duplicates})
            for (const plist::DuplicateKey& d : list)
                std::fprintf(stderr, "  %s in '%s' line %d\n", qPrintable(d.key), qPrintable(d.keyPath), d.line);
        std::abort();
    }
    if (!fast->positions || !full.positions ||
        !samePositions(*fast->positions, *full.positions, *fast->value, QString()))
        std::abort();
    return 0;
}
