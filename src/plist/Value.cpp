#include "plist/Value.h"

#include "plist/HashBytes.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QTimeZone>

#include <charconv>
#include <cmath>

namespace plist {

const char* kindName(Kind kind)
{
    switch (kind) {
    case Kind::Null: return "null";
    case Kind::Boolean: return "boolean";
    case Kind::Integer: return "integer";
    case Kind::Real: return "real";
    case Kind::String: return "string";
    case Kind::Data: return "data";
    case Kind::Date: return "date";
    case Kind::Array: return "array";
    case Kind::Set: return "set";
    case Kind::Dictionary: return "dictionary";
    case Kind::Uid: return "uid";
    }
    return "unknown";
}

QString Integer::toString() const
{
    return isUnsigned ? QString::number(bits) : QString::number(toSigned());
}

QString Date::toIsoString() const
{
    // Split into whole seconds and a fraction so that dates far from 2001
    // keep their exact seconds.
    const double whole = std::floor(secondsSince2001);
    const double fraction = secondsSince2001 - whole;
    static const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    const QDateTime when = reference.addSecs(static_cast<qint64>(whole));
    QString text = when.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    if (fraction > 0) {
        char buffer[32];
        auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, fraction);
        if (ec == std::errc()) {
            QString digits = QString::fromLatin1(buffer, static_cast<int>(end - buffer));
            if (digits.startsWith(QLatin1String("0.")))
                text += digits.mid(1);
        }
    }
    return text + QLatin1Char('Z');
}

namespace {
const QString kEmptyString;
const QByteArray kEmptyData;
const std::vector<Value> kEmptyItems;
const Dictionary kEmptyDictionary;

QString realText(double d)
{
    if (std::isnan(d))
        return QStringLiteral("nan");
    if (std::isinf(d))
        return d < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, d);
    return QString::fromLatin1(buffer, static_cast<int>(end - buffer));
}

QString quotedIfNeeded(const Value& v)
{
    if (!v.isString())
        return v.description();
    QString s = v.toString();
    s.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}
} // namespace

Value Value::data(QByteArray bytes)
{
    Value v;
    v.mData = std::move(bytes);
    return v;
}

Value Value::array(std::vector<Value> items)
{
    Value v;
    v.mData = std::make_shared<const Items>(Items{std::move(items), false});
    return v;
}

Value Value::set(std::vector<Value> items)
{
    Value v;
    v.mData = std::make_shared<const Items>(Items{std::move(items), true});
    return v;
}

Value Value::dictionary(Dictionary dict)
{
    Value v;
    v.mData = std::make_shared<const Dictionary>(std::move(dict));
    return v;
}

Kind Value::kind() const
{
    switch (mData.index()) {
    case 0: return Kind::Null;
    case 1: return Kind::Boolean;
    case 2: return Kind::Integer;
    case 3: return Kind::Real;
    case 4: return Kind::String;
    case 5: return Kind::Data;
    case 6: return Kind::Date;
    case 7: return Kind::Uid;
    case 8: return std::get<8>(mData)->isSet ? Kind::Set : Kind::Array;
    default: return Kind::Dictionary;
    }
}

bool Value::toBool() const
{
    const bool* b = std::get_if<bool>(&mData);
    return b && *b;
}

Integer Value::toInteger() const
{
    const Integer* i = std::get_if<Integer>(&mData);
    return i ? *i : Integer{};
}

double Value::toReal() const
{
    const double* d = std::get_if<double>(&mData);
    return d ? *d : 0.0;
}

const QString& Value::toString() const
{
    const QString* s = std::get_if<QString>(&mData);
    return s ? *s : kEmptyString;
}

const QByteArray& Value::toData() const
{
    const QByteArray* d = std::get_if<QByteArray>(&mData);
    return d ? *d : kEmptyData;
}

Date Value::toDate() const
{
    const Date* d = std::get_if<Date>(&mData);
    return d ? *d : Date{};
}

Uid Value::toUid() const
{
    const Uid* u = std::get_if<Uid>(&mData);
    return u ? *u : Uid{};
}

const std::vector<Value>& Value::toArray() const
{
    const auto* items = std::get_if<std::shared_ptr<const Items>>(&mData);
    return items ? (*items)->values : kEmptyItems;
}

const Dictionary& Value::toDictionary() const
{
    const auto* dict = std::get_if<std::shared_ptr<const Dictionary>>(&mData);
    return dict ? **dict : kEmptyDictionary;
}

QString Value::description() const
{
    switch (kind()) {
    case Kind::Null: return QStringLiteral("null");
    case Kind::Boolean: return toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case Kind::Integer: return toInteger().toString();
    case Kind::Real: return realText(toReal());
    case Kind::String: return toString();
    case Kind::Date: return toDate().toIsoString();
    case Kind::Uid: return QStringLiteral("<uid %1>").arg(toUid().value);
    case Kind::Data: {
        const QByteArray& bytes = toData();
        constexpr int kShown = 16;
        QString text = QLatin1Char('<') + QString::fromLatin1(bytes.left(kShown).toHex(' '));
        if (bytes.size() > kShown)
            text += QStringLiteral(" ... (%1 bytes)").arg(bytes.size());
        return text + QLatin1Char('>');
    }
    case Kind::Array:
    case Kind::Set: {
        QStringList parts;
        for (const Value& item : toArray())
            parts << quotedIfNeeded(item);
        const QString inner = QLatin1Char('(') + parts.join(QLatin1String(", ")) + QLatin1Char(')');
        return isSet() ? QLatin1Char('{') + inner + QLatin1Char('}') : inner;
    }
    case Kind::Dictionary: {
        const Dictionary& dict = toDictionary();
        QString text = QStringLiteral("{");
        for (int i = 0; i < dict.size(); ++i)
            text += QLatin1Char(' ') + quotedIfNeeded(Value(dict.keyAt(i))) + QLatin1String(" = ") +
                    quotedIfNeeded(dict.valueAt(i)) + QLatin1Char(';');
        return text + QLatin1String(" }");
    }
    }
    return {};
}

bool Value::operator==(const Value& other) const
{
    if (kind() != other.kind())
        return false;
    switch (kind()) {
    case Kind::Array:
    case Kind::Set: return toArray() == other.toArray();
    case Kind::Dictionary: return toDictionary() == other.toDictionary();
    case Kind::Real: {
        const double a = toReal(), b = other.toReal();
        return a == b || (std::isnan(a) && std::isnan(b));
    }
    default: return mData == other.mData;
    }
}

namespace {

std::size_t slotOf(QStringView key, std::size_t slotCount)
{
    static const std::uint64_t kHashSeed = QRandomGenerator::system()->generate64();
    const std::size_t bytes = static_cast<std::size_t>(key.size()) * sizeof(QChar);
    return static_cast<std::size_t>(hashBytes(key.data(), bytes, kHashSeed)) & (slotCount - 1);
}

} // namespace

int Dictionary::indexOf(QStringView key) const
{
    if (!mSlots.empty()) {
        for (std::size_t s = slotOf(key, mSlots.size());; s = (s + 1) & (mSlots.size() - 1)) {
            const int i = mSlots[s];
            if (i < 0)
                return -1;
            const QString& candidate = mKeys[static_cast<std::size_t>(i)];
            if (candidate.size() == key.size() && candidate == key)
                return i;
        }
    }
    // The lengths first, inline: most keys differ in length from the one sought.
    for (std::size_t i = 0; i < mKeys.size(); ++i) {
        if (mKeys[i].size() == key.size() && mKeys[i] == key)
            return static_cast<int>(i);
    }
    return -1;
}

const Value* Dictionary::find(QStringView key) const
{
    const int i = indexOf(key);
    return i < 0 ? nullptr : &mValues[static_cast<std::size_t>(i)];
}

void Dictionary::addToIndex(int i)
{
    const QString& key = mKeys[static_cast<std::size_t>(i)];
    std::size_t s = slotOf(key, mSlots.size());
    while (mSlots[s] >= 0)
        s = (s + 1) & (mSlots.size() - 1);
    mSlots[s] = i;
}

void Dictionary::rebuildIndex()
{
    std::size_t slotCount = 64;
    while (slotCount < 2 * mKeys.size())
        slotCount *= 2;
    mSlots.assign(slotCount, -1);
    for (int i = 0; i < size(); ++i)
        addToIndex(i);
}

bool Dictionary::insert(const QString& key, Value value)
{
    return insert(QString(key), std::move(value));
}

bool Dictionary::insert(QString&& key, Value value)
{
    const int i = indexOf(key);
    if (i >= 0) {
        mValues[static_cast<std::size_t>(i)] = std::move(value);
        return false;
    }
    mKeys.push_back(std::move(key));
    mValues.push_back(std::move(value));
    if (mSlots.size() >= 2 * mKeys.size())
        addToIndex(size() - 1);
    else if (size() > kIndexedSize)
        rebuildIndex();
    return true;
}

void Dictionary::reserve(int n)
{
    mKeys.reserve(static_cast<std::size_t>(n));
    mValues.reserve(static_cast<std::size_t>(n));
}

bool Dictionary::operator==(const Dictionary& other) const
{
    if (size() != other.size())
        return false;
    for (int i = 0; i < size(); ++i) {
        const Value* theirs = other.find(keyAt(i));
        if (!theirs || !(*theirs == valueAt(i)))
            return false;
    }
    return true;
}

} // namespace plist
