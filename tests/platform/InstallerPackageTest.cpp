// The readers of installer packages' parts: pbzx payloads and PackageInfo
// documents, whole, damaged and cut at every byte.
#include "platform/InstallerPackage.h"

#include <QBuffer>
#include <QtEndian>

#include <gtest/gtest.h>

#include <lzma.h>

namespace {

QByteArray word(quint64 value)
{
    QByteArray bytes(8, '\0');
    qToBigEndian<quint64>(value, bytes.data());
    return bytes;
}

QByteArray xz(const QByteArray& plain)
{
    QByteArray out(plain.size() + 1024, '\0');
    size_t written = 0;
    EXPECT_EQ(lzma_easy_buffer_encode(6, LZMA_CHECK_CRC64, nullptr, reinterpret_cast<const uint8_t*>(plain.data()),
                                      size_t(plain.size()), reinterpret_cast<uint8_t*>(out.data()), &written,
                                      size_t(out.size())),
              LZMA_OK);
    return out.left(qsizetype(written));
}

constexpr quint64 kChunkSize = 0x1000000;

// Chunks as pbzx stores them: each but the last says another follows.
QByteArray pbzx(const QList<QByteArray>& chunks)
{
    QByteArray out = "pbzx" + word(kChunkSize);
    for (qsizetype i = 0; i < chunks.size(); ++i)
        out += word(i + 1 < chunks.size() ? kChunkSize : 100) + word(quint64(chunks[i].size())) + chunks[i];
    return out;
}

std::pair<QString, QByteArray> decode(const QByteArray& stream, std::uint64_t maxOut = 1 << 20)
{
    QBuffer in;
    in.setData(stream);
    in.open(QIODevice::ReadOnly);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    const QString error = platform::decodePbzx(in, out, maxOut);
    return {error, out.data()};
}

TEST(InstallerPackageTest, PbzxChunksUnpackInOrderAndDamageIsTold)
{
    const QByteArray first(3000, 'a');
    const QByteArray second = "070701 the rest, stored as it is";
    const QByteArray good = pbzx({xz(first), second});
    EXPECT_EQ(decode(good), (std::pair<QString, QByteArray>{QString(), first + second}));

    QByteArray damaged = good;
    damaged[20 + 30] = char(damaged[20 + 30] ^ 0x55); // inside the xz chunk
    const struct {
        const char* what;
        QByteArray stream;
        std::uint64_t maxOut;
        const char* error;
    } rows[] = {
        {"not pbzx", "pbzy" + good.mid(4), 1 << 20, "does not begin"},
        {"damaged xz", damaged, 1 << 20, "damaged"},
        {"past the limit", good, 2000, "more than 2000 bytes"},
        {"chunk size zero", "pbzx" + word(0), 1 << 20, "out of bounds"},
        {"chunk longer than allowed", "pbzx" + word(kChunkSize) + word(0) + word(kChunkSize * 2), 1 << 20,
         "longer than"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_TRUE(decode(row.stream, row.maxOut).first.contains(QLatin1String(row.error)))
            << decode(row.stream, row.maxOut).first.toStdString();
    }
    // Cut anywhere, it says so and writes no more than it had.
    for (qsizetype length = 0; length < good.size(); ++length) {
        const auto [error, out] = decode(good.left(length));
        ASSERT_FALSE(error.isEmpty()) << length;
        ASSERT_LE(out.size(), first.size() + second.size()) << length;
    }
}

TEST(InstallerPackageTest, PackageInfoGivesItsIdentifierVersionLocationAndBundles)
{
    const QByteArray full = R"(<?xml version="1.0" encoding="utf-8"?>
<pkg-info format-version="2" identifier="com.example.shop.pkg" version="1.2" install-location="/Applications" auth="root">
  <payload numberOfFiles="9" installKBytes="20"/>
  <bundle path="./Shop.app" id="com.example.shop" CFBundleShortVersionString="1.2" CFBundleVersion="7">
    <bundle path="./Contents/PlugIns/Share.appex" id="com.example.shop.share"/>
  </bundle>
</pkg-info>
)";
    QString error;
    const std::optional<platform::PackageInfo> info = platform::parsePackageInfo(full, &error);
    ASSERT_TRUE(info) << error.toStdString();
    EXPECT_EQ(info->identifier, "com.example.shop.pkg");
    EXPECT_EQ(info->version, "1.2");
    EXPECT_EQ(info->installLocation, "/Applications");
    ASSERT_EQ(info->bundles.size(), 2);
    EXPECT_EQ(info->bundles[0].path, "Shop.app");
    EXPECT_EQ(info->bundles[0].identifier, "com.example.shop");
    EXPECT_EQ(info->bundles[0].shortVersion, "1.2");

    const struct {
        QByteArray xml;
        const char* error; // empty: read, with install-location "/"
    } rows[] = {
        {R"(<pkg-info identifier="a" version="1"/>)", ""},
        {R"(<installer-gui-script minSpecVersion="1"/>)", "not <pkg-info>"},
        {"", "end of document"},
        {R"(<pkg-info identifier="a"><bundle></pkg-info>)", "line 1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.xml.constData());
        error.clear();
        const std::optional<platform::PackageInfo> parsed = platform::parsePackageInfo(row.xml, &error);
        EXPECT_EQ(parsed.has_value(), !*row.error);
        EXPECT_TRUE(error.contains(QLatin1String(row.error))) << error.toStdString();
        if (parsed) {
            EXPECT_EQ(parsed->installLocation, "/");
        }
    }
    // Cut before its end, it is no document.
    const qsizetype end = full.lastIndexOf("</pkg-info>");
    for (qsizetype length = 0; length < end; ++length)
        ASSERT_FALSE(platform::parsePackageInfo(full.left(length), &error)) << length;
}

} // namespace
