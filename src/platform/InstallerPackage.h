// The parts of a flat installer package (a xar archive) that the archive
// reader does not read itself: a component's PackageInfo, and a payload in
// the pbzx form (xz chunks).
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

namespace platform {

struct PackageInfo {
    QString identifier;
    QString version;
    QString installLocation; // "/" when the document names none
    struct BundleRef {
        QString path; // relative to the install location, "./" left off
        QString identifier;
        QString shortVersion;
    };
    QList<BundleRef> bundles;
};

// The pkg-info document; none, with why in *error, when it is none.
std::optional<PackageInfo> parsePackageInfo(const QByteArray& xml, QString* error);

// Whether the payload's first bytes are those of a pbzx stream.
bool isPbzx(QByteArrayView firstBytes);

// Decodes a pbzx stream from in to out, writing at most maxOut bytes; empty
// when it did, else why not (damaged, cut short, or larger).
QString decodePbzx(QIODevice& in, QIODevice& out, std::uint64_t maxOut);

} // namespace platform
