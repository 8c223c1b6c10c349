#include "fix/Fixer.h"

#include "app/FileChecker.h"
#include "check/PlistDataReader.h"
#include "platform/FileReplace.h"
#include "platform/FileUrl.h"
#include "report/FindingFormats.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>

namespace fix {

namespace {

std::function<void(const QString&)>& beforeReplaceHook()
{
    static std::function<void(const QString&)> hook;
    return hook;
}

// A file name in a diff's header, quoted as git does where it holds more than
// letters, digits and ._/+- (patch reads such names back).
QString diffName(const QString& name)
{
    static const QByteArray kPlain = "._/+-";
    const QByteArray bytes = platform::encodeFileName(name);
    if (std::all_of(bytes.begin(), bytes.end(),
                    [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || kPlain.contains(c); }))
        return name;
    QString quoted = QStringLiteral("\"");
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\')
            quoted += QLatin1String("\\") + QLatin1Char(c);
        else if (c == '\n')
            quoted += QLatin1String("\\n");
        else if (c == '\t')
            quoted += QLatin1String("\\t");
        else if (u < 0x20 || u >= 0x7f)
            quoted += QStringLiteral("\\%1").arg(u, 3, 8, QLatin1Char('0'));
        else
            quoted += QLatin1Char(c);
    }
    return quoted + QLatin1Char('"');
}

bool overlaps(const report::TextEdit& a, const report::TextEdit& b)
{
    // Two insertions at one place, or an insertion inside a range, clash as ranges do.
    const qint64 aEnd = a.offset + a.length;
    const qint64 bEnd = b.offset + b.length;
    if (a.offset == b.offset)
        return true;
    return a.offset < bEnd && b.offset < aEnd;
}

std::optional<QByteArray> readWhole(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

} // namespace

bool wanted(const report::Finding& finding, const Options& options)
{
    return finding.fix && !finding.fix->edits.isEmpty() && (finding.fix->safe || options.unsafe) &&
           !options.unfixable.contains(finding.messageKey) && (!options.only || options.only(finding));
}

QList<report::TextEdit> chooseEdits(const QList<report::Finding>& findings, const Options& options,
                                    QStringList* titlesTaken)
{
    QList<report::TextEdit> taken;
    for (const report::Finding& finding : findings) {
        if (!wanted(finding, options))
            continue;
        const QList<report::TextEdit>& edits = finding.fix->edits;
        const bool clash = std::any_of(edits.begin(), edits.end(), [&](const report::TextEdit& edit) {
            return std::any_of(taken.begin(), taken.end(),
                               [&](const report::TextEdit& other) { return overlaps(edit, other); });
        });
        // The same fix twice (a finding told twice) is taken once.
        if (clash)
            continue;
        taken += edits;
        if (titlesTaken)
            titlesTaken->append(finding.fix->title);
    }
    std::sort(taken.begin(), taken.end(),
              [](const report::TextEdit& a, const report::TextEdit& b) { return a.offset < b.offset; });
    return taken;
}

QByteArray applyEdits(const QByteArray& bytes, const QList<report::TextEdit>& edits)
{
    QByteArray out;
    out.reserve(bytes.size());
    qint64 at = 0;
    for (const report::TextEdit& edit : edits) {
        if (edit.offset < at || edit.offset + edit.length > bytes.size())
            continue; // not of these bytes: left out rather than guessed at
        out += bytes.mid(at, edit.offset - at);
        out += edit.replacement;
        at = edit.offset + edit.length;
    }
    out += bytes.mid(at);
    return out;
}

FixRun fixPaths(const QStringList& paths, const Options& options, const report::FindingFilter& ignored)
{
    // The files as the checker reads them, edited in memory from round to round.
    std::map<QString, check::PlistData> read;
    QList<FileFix> files;
    std::map<QString, qsizetype> fileIndex;
    app::FileChecker checker(false, ignored);
    checker.setReadThrough([&](const QString& path, const std::function<check::PlistData()>& readIt) {
        if (const auto known = read.find(path); known != read.end())
            return known->second;
        check::PlistData data = readIt();
        // A file's 'plst' resource is no text of the file to edit.
        if (data.ok() && path.endsWith(QLatin1String(".plist")))
            read.emplace(path, data);
        return data;
    });
    const auto check = [&] {
        QList<report::Finding> findings;
        for (const QString& path : paths)
            findings += checker.check(
                path, [](const app::FileReport& file) { return file.report.findings().mid(file.firstFinding); });
        return findings;
    };
    FixRun run;
    for (int round = 0;; ++round) {
        run.remaining = check();
        if (round == options.rounds)
            break;
        // Per file, in the order the check came to them.
        std::map<QString, QList<report::Finding>> byFile;
        QStringList order;
        for (const report::Finding& finding : run.remaining) {
            if (!wanted(finding, options))
                continue;
            if (!byFile.count(finding.fileRead))
                order.append(finding.fileRead);
            byFile[finding.fileRead].append(finding);
        }
        bool changed = false;
        for (const QString& path : order) {
            auto [index, added] = fileIndex.try_emplace(path, files.size());
            if (added)
                files.append(FileFix{path, {}, {}, {}, {}});
            FileFix& file = files[index->second];
            const auto source = read.find(path);
            if (source == read.end()) {
                file.notInPlace = path == app::kStandardInputPath
                                      ? QStringLiteral("it was read from standard input")
                                      : QStringLiteral("it lies inside an archive, which is not rewritten");
                continue;
            }
            if (file.applied.isEmpty())
                file.before = *source->second.bytes;
            QStringList titles;
            const QList<report::TextEdit> edits = chooseEdits(byFile[path], options, &titles);
            const QByteArray after = applyEdits(*source->second.bytes, edits);
            if (after == *source->second.bytes)
                continue;
            source->second.bytes = after;
            file.after = after;
            file.applied += titles;
            changed = true;
        }
        if (!changed)
            break;
    }
    run.files = std::move(files);
    return run;
}

void setBeforeReplaceHook(std::function<void(const QString& path)> hook)
{
    beforeReplaceHook() = std::move(hook);
}

QString writeFixed(const FileFix& file)
{
    if (!file.notInPlace.isEmpty())
        return file.notInPlace;
    if (file.applied.isEmpty())
        return {};
    const QByteArray name = platform::encodeFileName(file.path);
    struct stat status {};
    if (::lstat(name.constData(), &status) != 0)
        return QStringLiteral("it is gone");
    if (S_ISLNK(status.st_mode))
        return QStringLiteral("it is a symbolic link; fix the file it leads to");
    if (!S_ISREG(status.st_mode))
        return QStringLiteral("it is no regular file");
    if (status.st_nlink > 1)
        return QStringLiteral("it has %1 hard links, which a replaced file would no longer share").arg(status.st_nlink);
    // Kept read-only by its owner, even where root could write it.
    if (::access(name.constData(), W_OK) != 0 || (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return QStringLiteral("it is not writable");
    const auto unchanged = [&] { return readWhole(file.path) == file.before; };
    if (!unchanged())
        return QStringLiteral("it changed since it was read; check it again");
    return platform::replaceFile(name, file.after, {status.st_mode & 07777, status.st_uid, status.st_gid}, [&] {
        if (const auto& hook = beforeReplaceHook())
            hook(file.path);
        return unchanged() ? QString() : QStringLiteral("it changed while the fixed file was written; check it again");
    });
}

QByteArray unifiedDiff(const FileFix& file, const QString& baseDirectory, QString* error)
{
    if (file.applied.isEmpty() || file.before == file.after)
        return {};
    const QString diff = QStandardPaths::findExecutable(QStringLiteral("diff"));
    QTemporaryDir folder;
    const auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return QByteArray();
    };
    if (diff.isEmpty())
        return fail(QStringLiteral("the diff program is not installed"));
    if (!folder.isValid())
        return fail(folder.errorString());
    const auto put = [&](const QString& name, const QByteArray& bytes) {
        QFile out(folder.filePath(name));
        return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
    };
    if (!put(QStringLiteral("a"), file.before) || !put(QStringLiteral("b"), file.after))
        return fail(QStringLiteral("the temporary files could not be written"));
    const QString shown = report::pathFrom(baseDirectory, file.path);
    QProcess process;
    // UTF-16 text holds NUL bytes: compared as text all the same.
    process.start(diff, {QStringLiteral("-u"), QStringLiteral("--text"), QStringLiteral("--label"),
                         diffName(QLatin1String("a/") + shown), QStringLiteral("--label"),
                         diffName(QLatin1String("b/") + shown), folder.filePath(QStringLiteral("a")),
                         folder.filePath(QStringLiteral("b"))});
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() > 1)
        return fail(QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
    return process.readAllStandardOutput();
}

Outcome fixFiles(const QStringList& paths, const Options& options, const report::FindingFilter& ignored, bool write,
                 const QString& baseDirectory)
{
    FixRun run = fixPaths(paths, options, ignored);
    Outcome outcome;
    outcome.remaining = std::move(run.remaining);
    for (const FileFix& file : run.files) {
        const QString shown = report::pathFrom(baseDirectory, file.path);
        QString why;
        if (!write) {
            outcome.diff += unifiedDiff(file, baseDirectory, &why);
            if (!file.notInPlace.isEmpty())
                why = file.notInPlace;
        } else if (why = writeFixed(file); why.isEmpty()) {
            outcome.messages.append(QStringLiteral("fixed %1 in %2: %3")
                                        .arg(file.applied.size() == 1
                                                 ? QStringLiteral("1 finding")
                                                 : QStringLiteral("%1 findings").arg(file.applied.size()),
                                             shown, file.applied.join(QLatin1String("; "))));
        }
        if (!why.isEmpty())
            outcome.messages.append(QStringLiteral("%1 was not fixed: %2").arg(shown, why));
    }
    return outcome;
}

} // namespace fix
