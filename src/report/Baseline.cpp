#include "report/Baseline.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>

namespace report {

namespace {

const QString kVersionKey = QStringLiteral("ostrel-baseline");
constexpr qint64 kMaxBaselineSize = 64 * 1024 * 1024;

} // namespace

Baseline::Baseline(QString folder) : mFolder(std::move(folder))
{
}

std::unique_ptr<Baseline> Baseline::read(const QString& path, QString& error)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read the baseline %1: %2")
                    .arg(path, QFileInfo::exists(path) ? file.errorString() : QStringLiteral("no such file"));
        return nullptr;
    }
    if (file.size() > kMaxBaselineSize) {
        error = QStringLiteral("the baseline %1 is larger than 64 MiB").arg(path);
        return nullptr;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    const QJsonObject top = document.object();
    if (parseError.error != QJsonParseError::NoError || top.value(kVersionKey).toInt() != 1 ||
        !top.value(QStringLiteral("findings")).isArray()) {
        error = QStringLiteral("%1 is no baseline of ostrel-check%2")
                    .arg(path, parseError.error != QJsonParseError::NoError
                                   ? QStringLiteral(": ") + parseError.errorString()
                                   : QString());
        return nullptr;
    }
    auto baseline = std::make_unique<Baseline>(QFileInfo(path).absolutePath());
    const QJsonArray findings = top.value(QStringLiteral("findings")).toArray();
    for (qsizetype i = 0; i < findings.size(); ++i) {
        const QJsonObject entry = findings[i].toObject();
        const int count = entry.value(QStringLiteral("count")).toInt(0);
        if (!entry.value(QStringLiteral("id")).isString() || !entry.value(QStringLiteral("file")).isString() ||
            count < 1) {
            error = QStringLiteral("%1: entry %2 needs an id, a file and a count of at least 1").arg(path).arg(i + 1);
            return nullptr;
        }
        baseline->mCounts[{entry.value(QStringLiteral("id")).toString(), entry.value(QStringLiteral("file")).toString(),
                           entry.value(QStringLiteral("keyPath")).toString()}] += count;
    }
    return baseline;
}

Baseline::Key Baseline::keyOf(const Finding& finding) const
{
    const QString file = finding.fileRead.isEmpty() ? finding.fileGiven : finding.fileRead;
    const QDir folder(mFolder);
    return {finding.messageKey, QDir::cleanPath(folder.relativeFilePath(folder.absoluteFilePath(file))),
            finding.keyPath};
}

bool Baseline::takes(const Finding& finding)
{
    const Key key = keyOf(finding);
    std::lock_guard lock(mMutex);
    const auto found = mCounts.find(key);
    if (found == mCounts.end() || found->second == 0)
        return false;
    --found->second;
    return true;
}

void Baseline::add(const Finding& finding)
{
    const Key key = keyOf(finding);
    std::lock_guard lock(mMutex);
    ++mCounts[key];
}

QList<Baseline::Entry> Baseline::entries() const
{
    QList<Entry> list;
    {
        std::lock_guard lock(mMutex);
        for (const auto& [key, count] : mCounts)
            if (count > 0)
                list.append({std::get<0>(key), std::get<1>(key), std::get<2>(key), count});
    }
    // By file, then ID and key path, so that the file's differences read well.
    std::sort(list.begin(), list.end(), [](const Entry& a, const Entry& b) {
        return std::tie(a.file, a.id, a.keyPath) < std::tie(b.file, b.id, b.keyPath);
    });
    return list;
}

QList<Baseline::Entry> Baseline::stale() const
{
    return entries();
}

bool Baseline::write(const QString& path, QString& error) const
{
    QJsonArray findings;
    for (const Entry& entry : entries())
        findings.append(QJsonObject{{QStringLiteral("id"), entry.id},
                                    {QStringLiteral("file"), entry.file},
                                    {QStringLiteral("keyPath"), entry.keyPath},
                                    {QStringLiteral("count"), entry.count}});
    const QByteArray bytes =
        QJsonDocument(QJsonObject{{kVersionKey, 1}, {QStringLiteral("findings"), findings}}).toJson();
    // Written beside the old one and put in its place, or not at all.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

} // namespace report
