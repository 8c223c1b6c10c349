// Writes examples/LegacyTool: a single-file tool of the classic Mac kind, whose
// information property list is its 'plst' resource with id 0. On this file
// system its resource fork and Finder information live in the AppleDouble
// sidecar "._LegacyTool"; the data fork is a small shell script.
//
// Usage: make-legacy-example EXAMPLES_DIR [SEEDS_DIR]
// With SEEDS_DIR it also writes seed inputs for the resource fuzz target.
#include "platform/AppleDouble.h"
#include "platform/ResourceWriter.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <cstdio>

using namespace platform;

namespace {

const char kInfoPlist[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>CFBundleDevelopmentRegion</key>
	<string>en</string>
	<key>CFBundleGetInfoString</key>
	<string>LegacyTool 1.2, a single-file tool</string>
	<key>CFBundleIdentifier</key>
	<string>org.example.legacytool</string>
	<key>CFBundleInfoDictionaryVersion</key>
	<string>6.0</string>
	<key>CFBundleName</key>
	<string>LegacyTool</string>
	<key>CFBundlePackageType</key>
	<string>APPL</string>
	<key>CFBundleShortVersionString</key>
	<string>1.2</string>
	<key>CFBundleSignature</key>
	<string>Lgcy</string>
	<key>CFBundleVersion</key>
	<string>1.2.0</string>
</dict>
</plist>
)";

const char kScript[] = "#!/bin/sh\n"
                       "# The data fork of LegacyTool; its information property list is in its resource fork.\n"
                       "echo \"LegacyTool 1.2\"\n";

// 'vers' 1: version 1.2 final, region 0, then the short and the long version as Pascal strings.
const char kVers[] = "\x01\x20\x80\x00\x00\x00"
                     "\x03"
                     "1.2"
                     "\x0e"
                     "LegacyTool 1.2";

bool writeFile(const QString& path, const QByteArray& bytes, bool executable = false)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        std::fprintf(stderr, "make-legacy-example: cannot write %s: %s\n", qPrintable(path),
                     qPrintable(file.errorString()));
        return false;
    }
    if (executable)
        QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make-legacy-example EXAMPLES_DIR [SEEDS_DIR]\n");
        return 2;
    }
    const QDir examples(QString::fromLocal8Bit(argv[1]));
    const QByteArray fork = makeResourceFile({
        {fourCharCode("plst"), 0, QByteArray(kInfoPlist), {}},
        {fourCharCode("vers"), 1, QByteArray(kVers, sizeof kVers - 1), {}},
    });
    const QByteArray finderInfo = makeFinderInfo(fourCharCode("APPL"), fourCharCode("Lgcy"));
    const QByteArray sidecar = makeAppleDouble({{kEntryFinderInfo, finderInfo}, {kEntryResourceFork, fork}});
    bool ok = writeFile(examples.filePath(QStringLiteral("LegacyTool")), kScript, true) &&
              writeFile(examples.filePath(QStringLiteral("._LegacyTool")), sidecar);

    if (ok && argc == 3) {
        const QDir seeds(QString::fromLocal8Bit(argv[2]));
        const QByteArray small = makeResourceFile({{fourCharCode("plst"), 0, "<dict/>", "Info"},
                                                   {fourCharCode("plst"), 1, {}, {}},
                                                   {fourCharCode("ICN#"), -16455, QByteArray(8, '\xAA'), {}}});
        ok = writeFile(seeds.filePath(QStringLiteral("sidecar-v2")), sidecar) &&
             writeFile(seeds.filePath(QStringLiteral("sidecar-v1")),
                       makeAppleDouble({{kEntryResourceFork, small}, {kEntryFinderInfo, finderInfo}},
                                       kAppleDoubleVersion1)) &&
             writeFile(seeds.filePath(QStringLiteral("sidecar-finder-info-only")),
                       makeAppleDouble({{kEntryFinderInfo, finderInfo}})) &&
             writeFile(seeds.filePath(QStringLiteral("resource-file")), small) &&
             writeFile(seeds.filePath(QStringLiteral("resource-file-empty")), makeResourceFile({}));
    }
    return ok ? 0 : 1;
}
