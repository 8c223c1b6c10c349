// Property-list values: an immutable tree, cheap to copy (containers are shared).
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <memory>
#include <variant>
#include <vector>

namespace plist {

enum class Kind {
    Null, // binary files only: the null marker; also a default-constructed Value
    Boolean,
    Integer,
    Real,
    String,
    Data,
    Date,
    Array,
    Set, // binary files only
    Dictionary,
    Uid, // binary files only (keyed-archiver object references)
};

const char* kindName(Kind kind);

class Value;
class Dictionary;

// An integer as a property list holds it: every signed 64-bit value, and
// unsigned values above INT64_MAX kept exactly.
struct Integer {
    std::uint64_t bits = 0;
    bool isUnsigned = false; // true only for values > INT64_MAX

    static Integer fromSigned(std::int64_t v) { return {static_cast<std::uint64_t>(v), false}; }
    static Integer fromUnsigned(std::uint64_t v) { return {v, v > static_cast<std::uint64_t>(INT64_MAX)}; }
    std::int64_t toSigned() const { return static_cast<std::int64_t>(bits); }
    QString toString() const;
    bool operator==(const Integer&) const = default;
};

// A date: seconds since 2001-01-01T00:00:00Z, as the binary format stores it.
struct Date {
    double secondsSince2001 = 0;
    // "YYYY-MM-DDTHH:MM:SSZ", with ".fraction" before the Z when there is one.
    QString toIsoString() const;
    bool operator==(const Date&) const = default;
};

struct Uid {
    std::uint64_t value = 0;
    bool operator==(const Uid&) const = default;
};

class Value {
public:
    Value() = default; // Null
    explicit Value(bool b) : mData(b) {}
    explicit Value(Integer i) : mData(i) {}
    explicit Value(double d) : mData(d) {}
    explicit Value(QString s) : mData(std::move(s)) {}
    explicit Value(const char* s) : mData(QString::fromUtf8(s)) {}
    explicit Value(Date d) : mData(d) {}
    explicit Value(Uid u) : mData(u) {}
    static Value integer(std::int64_t v) { return Value(Integer::fromSigned(v)); }
    static Value data(QByteArray bytes);
    static Value array(std::vector<Value> items);
    static Value set(std::vector<Value> items);
    static Value dictionary(Dictionary dict);

    Kind kind() const;
    // Inline and by the held alternative alone: the checks ask these of every value.
    bool isNull() const { return holds<std::monostate>(); }
    bool isBoolean() const { return holds<bool>(); }
    bool isInteger() const { return holds<Integer>(); }
    bool isReal() const { return holds<double>(); }
    bool isString() const { return holds<QString>(); }
    bool isData() const { return holds<QByteArray>(); }
    bool isDate() const { return holds<Date>(); }
    bool isArray() const { return kind() == Kind::Array; }
    bool isSet() const { return kind() == Kind::Set; }
    bool isDictionary() const { return holds<std::shared_ptr<const Dictionary>>(); }
    bool isUid() const { return holds<Uid>(); }

    // Accessors: each returns a neutral value (false, 0, empty) for another kind.
    bool toBool() const;
    Integer toInteger() const;
    double toReal() const;
    const QString& toString() const;
    const QByteArray& toData() const;
    Date toDate() const;
    Uid toUid() const;
    const std::vector<Value>& toArray() const; // the items of an array or a set
    const Dictionary& toDictionary() const;

    // A readable text of the value for messages: a string is itself; other
    // kinds a short form ("42", "true", "<data: 4 bytes>", "(a, b)", "{k = v}").
    QString description() const;

    bool operator==(const Value& other) const;

private:
    struct Items {
        std::vector<Value> values;
        bool isSet = false;
    };
    using Data = std::variant<std::monostate, bool, Integer, double, QString, QByteArray, Date, Uid,
                              std::shared_ptr<const Items>, std::shared_ptr<const Dictionary>>;
    Data mData;
    template <typename T> bool holds() const { return std::holds_alternative<T>(mData); }
};

// Keys in the order of the file; exact, case-sensitive lookup by any view of
// the key's text, which neither allocates nor converts.
class Dictionary {
public:
    int size() const { return static_cast<int>(mKeys.size()); }
    bool isEmpty() const { return mKeys.empty(); }
    const QString& keyAt(int i) const { return mKeys[static_cast<std::size_t>(i)]; }
    const Value& valueAt(int i) const { return mValues[static_cast<std::size_t>(i)]; }
    const std::vector<QString>& keys() const { return mKeys; }
    bool contains(QStringView key) const { return indexOf(key) >= 0; }
    bool contains(const QString& key) const { return indexOf(key) >= 0; }
    // The value under key, or null when there is none.
    const Value* find(QStringView key) const;
    const Value* find(const QString& key) const { return find(QStringView(key)); }
    // The index of key among keys(), or -1.
    int indexOf(QStringView key) const;

    // Adds a key; a key already present keeps its place and takes the new value
    // (the later one wins). Returns false when the key was already present.
    bool insert(const QString& key, Value value);
    // The same, taking the key over when it is added; a key already present
    // is left as it was given.
    bool insert(QString&& key, Value value);
    void reserve(int n);

    bool operator==(const Dictionary& other) const;

private:
    // Most dictionaries are small: they are searched in order, and the hash
    // table is built only once a dictionary grows past this many keys.
    static constexpr int kIndexedSize = 16;
    // Enters key i into the table, which has a free slot.
    void addToIndex(int i);
    void rebuildIndex();

    std::vector<QString> mKeys;
    std::vector<Value> mValues;
    // Open addressing: each slot holds a key's index, or -1; at most half are
    // taken. Empty while the dictionary is small.
    std::vector<int> mSlots;
};

} // namespace plist
