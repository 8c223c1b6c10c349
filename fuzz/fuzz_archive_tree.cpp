// Archives made of arbitrary entries, deep paths and links among them, packed
// as a tar and read back as a tree: resolving every path must end, and every
// folder must list names that are there. Then the whole check of the archive
// with one link at its top to a folder, and with several to the same folder:
// the reports must be the same, however many links lead there.
//
// An input is lines: "d PATH" a folder, "f PATH\tBYTES" a file, "l PATH\tTARGET"
// a link, "r N PART" an Info.plist under PART repeated 2N times; a line
// ">N PATH" names the folder that 2 + N % 7 added links lead to (else the top).
#include "app/HeadlessWindow.h"
#include "app/OstrelAppDelegate.h"
#include "check/ProductTree.h"
#include "platform/ArchiveReader.h"
#include "platform/ArchiveWriting.h"
#include "report/ReportText.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

using testing_archives::Item;

namespace {

// The added links' names, which no input entry may use.
const QByteArray kAdded = "same~";

struct Input {
    QList<Item> items;
    QByteArray linkTarget = ".";
    int links = 2;
};

Input parse(const QByteArray& data)
{
    Input input;
    for (const QByteArray& line : data.split('\n')) {
        if (line.size() < 3 || line.contains(kAdded))
            continue;
        const QByteArray rest = line.mid(2);
        const qsizetype tab = rest.indexOf('\t');
        const QByteArray path = tab < 0 ? rest : rest.left(tab);
        const QByteArray value = tab < 0 ? QByteArray() : rest.mid(tab + 1);
        switch (line[0]) {
        case '>':
            input.linkTarget = rest;
            input.links = 2 + std::uint8_t(line[1]) % 7;
            break;
        case 'd': input.items.append({QString::fromUtf8(path), Item::Folder, {}, 0755}); break;
        case 'f': input.items.append({QString::fromUtf8(path), Item::File, value, 0644}); break;
        case 'l': input.items.append({QString::fromUtf8(path), Item::Link, value, 0777}); break;
        case 'r': {
            const int times = 2 * std::uint8_t(line[1]);
            input.items.append({QString::fromUtf8((rest + '/').repeated(times) + "Info.plist"), Item::File,
                                "<plist><dict/></plist>", 0644});
            break;
        }
        default: break;
        }
    }
    return input;
}

void checkTree(const QByteArray& archive)
{
    const platform::Result<platform::ArchiveContents> read =
        platform::readArchiveFromMemory(archive, [](const QString&, std::uint64_t) { return true; });
    if (!read)
        return;
    const platform::ArchiveContents& contents = *read;
    const check::ArchiveTree tree(QStringLiteral("fuzz.tar"), contents);
    QStringList folders{QString()};
    for (const platform::ArchiveEntry& entry : contents.entries) {
        const check::ProductTree::Resolved resolved = tree.resolve(entry.path);
        if (resolved.resolution == check::ProductTree::Resolution::Found &&
            resolved.node.kind == check::ProductTree::Kind::Link)
            std::abort();
        folders.append(check::parentPath(entry.path));
    }
    for (const QString& folder : folders) {
        const QStringList names = tree.children(folder);
        for (qsizetype i = 0; i < names.size(); ++i) {
            if (names[i].isEmpty() || names[i].contains('/') || (i > 0 && names[i - 1] >= names[i]))
                std::abort();
            if (tree.node(check::joinPath(folder, names[i])).kind == check::ProductTree::Kind::Missing)
                std::abort();
        }
    }
}

class Checker {
public:
    Checker()
    {
        mController = std::make_unique<app::OstrelAppDelegate>();
        mController->setWindow(&mWindow);
    }
    // The report of the archive's whole check.
    QString report(const QByteArray& archive)
    {
        const QString path = mDir.filePath(QStringLiteral("fuzz.tar"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(archive) != archive.size())
            std::abort();
        file.close();
        // As any file is opened: each check starts afresh (its own cap on findings).
        mController->applicationOpenFile(path);
        const report::TextStorage& storage = mWindow.textStorage();
        const QString text = report::plainText(storage, 0, storage.runs().size(), false);
        mWindow.textStorage() = report::TextStorage();
        return text;
    }

private:
    QTemporaryDir mDir;
    app::HeadlessWindow mWindow;
    std::unique_ptr<app::OstrelAppDelegate> mController;
};

QByteArray withLinks(const Input& input, int links)
{
    QList<Item> items = input.items;
    for (int i = 1; i <= links; ++i)
        items.append({QString::fromUtf8(kAdded) + QString::number(i), Item::Link, input.linkTarget, 0777});
    return testing_archives::makeArchive(testing_archives::Format::Tar, items);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Input input = parse(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    checkTree(testing_archives::makeArchive(testing_archives::Format::Tar, input.items));

    static Checker checker;
    const QString one = checker.report(withLinks(input, 1));
    const QString more = checker.report(withLinks(input, input.links));
    if (one != more) {
        std::fprintf(stderr, "With one link:\n%s\nWith %d:\n%s\n", qPrintable(one), input.links, qPrintable(more));
        std::abort();
    }
    return 0;
}
