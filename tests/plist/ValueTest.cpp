#include "plist/Value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using plist::Date;
using plist::Dictionary;
using plist::Integer;
using plist::Kind;
using plist::Value;

TEST(Value, KindsAreDistinctAndBooleanIsNoNumber)
{
    const std::pair<Value, Kind> rows[] = {
        {Value(), Kind::Null},
        {Value(true), Kind::Boolean},
        {Value::integer(1), Kind::Integer},
        {Value(1.0), Kind::Real},
        {Value("1"), Kind::String},
        {Value::data("\x01"), Kind::Data},
        {Value(Date{0}), Kind::Date},
        {Value::array({}), Kind::Array},
        {Value::set({}), Kind::Set},
        {Value::dictionary({}), Kind::Dictionary},
        {Value(plist::Uid{3}), Kind::Uid},
    };
    for (const auto& [value, kind] : rows) {
        EXPECT_EQ(value.kind(), kind) << plist::kindName(kind);
        for (const auto& [otherValue, otherKind] : rows)
            EXPECT_EQ(value == otherValue, kind == otherKind)
                << plist::kindName(kind) << " vs " << plist::kindName(otherKind);
    }
    EXPECT_FALSE(Value(true).isInteger());
    EXPECT_EQ(Value(true).toInteger().toSigned(), 0);
}

TEST(Value, IntegersKeepEverySignedAndUnsigned64BitValue)
{
    const std::int64_t min = std::numeric_limits<std::int64_t>::min();
    const std::uint64_t umax = std::numeric_limits<std::uint64_t>::max();
    EXPECT_EQ(Value::integer(min).description(), "-9223372036854775808");
    EXPECT_EQ(Value(Integer::fromUnsigned(umax)).description(), "18446744073709551615");
    EXPECT_EQ(Value(Integer::fromUnsigned(9223372036854775807ull)).description(), "9223372036854775807");
    EXPECT_FALSE(Integer::fromUnsigned(9223372036854775807ull).isUnsigned);
    // -1 and 2^64-1 have the same bits but are different numbers.
    EXPECT_FALSE(Value::integer(-1) == Value(Integer::fromUnsigned(umax)));
}

TEST(Value, DescriptionsAreShortAndReadable)
{
    Dictionary dict;
    dict.insert("name", Value("two words"));
    dict.insert("count", Value::integer(2));
    const std::pair<Value, const char*> rows[] = {
        {Value("plain \"text\""), "plain \"text\""},
        {Value(false), "false"},
        {Value(0.5), "0.5"},
        {Value(std::nan("")), "nan"},
        {Value(-std::numeric_limits<double>::infinity()), "-inf"},
        {Value::data(QByteArray::fromHex("deadbeef")), "<de ad be ef>"},
        {Value::data(QByteArray(20, 'a')), "<61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 ... (20 bytes)>"},
        {Value::array({Value("a"), Value::integer(1)}), "(\"a\", 1)"},
        {Value::dictionary(dict), "{ \"name\" = \"two words\"; \"count\" = 2; }"},
        {Value(Date{0}), "2001-01-01T00:00:00Z"},
        {Value(Date{-978307200}), "1970-01-01T00:00:00Z"},
        {Value(Date{0.25}), "2001-01-01T00:00:00.25Z"},
        {Value(), "null"},
    };
    for (const auto& [value, text] : rows)
        EXPECT_EQ(value.description(), QString::fromUtf8(text));
}

TEST(Dictionary, LookupAgreesWithTheKeysAtEverySize)
{
    // Small dictionaries are searched in order, larger ones through a table
    // that grows as they do: every size up to a few growths must find each key
    // at its place, by a view into a longer text too, and nothing else.
    Dictionary dict;
    for (int n = 1; n <= 300; ++n) {
        const QString key = QStringLiteral("Key%1").arg(n);
        ASSERT_TRUE(dict.insert(key, Value::integer(n)));
        for (int k = 1; k <= n; ++k) {
            const QString text = QStringLiteral("<Key%1>").arg(k);
            const Value* found = dict.find(QStringView(text).sliced(1, text.size() - 2));
            ASSERT_NE(found, nullptr) << "Key" << k << " of " << n;
            ASSERT_EQ(found->toInteger().toSigned(), k) << "Key" << k << " of " << n;
        }
        EXPECT_FALSE(dict.contains(QStringLiteral("Key%1").arg(n + 1))) << n;
        EXPECT_FALSE(dict.contains(QStringLiteral("key%1").arg(n))) << n;
        EXPECT_FALSE(dict.contains(QStringLiteral("Key%1 ").arg(n))) << n;
    }
    // A key given again keeps its place and takes the later value.
    EXPECT_FALSE(dict.insert(QStringLiteral("Key17"), Value("later")));
    EXPECT_EQ(dict.size(), 300);
    EXPECT_EQ(dict.keyAt(16), "Key17");
    EXPECT_EQ(dict.find(u"Key17")->toString(), "later");
    // Offered to be taken over, a key already present stays with the caller (the
    // readers name it in their duplicate-key findings); a new one is taken.
    QString again = QStringLiteral("Key18");
    EXPECT_FALSE(dict.insert(std::move(again), Value("moved")));
    EXPECT_EQ(again, QStringLiteral("Key18"));
    QString fresh = QStringLiteral("Key301");
    EXPECT_TRUE(dict.insert(std::move(fresh), Value("new")));
    EXPECT_EQ(dict.find(u"Key301")->toString(), "new");
    // The empty key is a key like any other.
    dict.insert(QString(), Value("empty key"));
    ASSERT_NE(dict.find(u""), nullptr);
    EXPECT_EQ(dict.find(u"")->toString(), "empty key");
}
