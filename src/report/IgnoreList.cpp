#include "report/IgnoreList.h"

#include "report/Escaping.h"

#include <QDir>
#include <QStringList>

namespace report {

QRegularExpression globExpression(const QString& glob)
{
    QString pattern;
    for (qsizetype i = 0; i < glob.size(); ++i) {
        const QChar c = glob[i];
        if (c == QLatin1Char('*') && glob.mid(i, 3) == QLatin1String("**/")) {
            pattern += QLatin1String("(?:.*/)?");
            i += 2;
        } else if (c == QLatin1Char('*') && glob.mid(i, 2) == QLatin1String("**")) {
            pattern += QLatin1String(".*");
            ++i;
        } else if (c == QLatin1Char('*')) {
            pattern += QLatin1String("[^/]*");
        } else if (c == QLatin1Char('?')) {
            pattern += QLatin1String("[^/]");
        } else if (const qsizetype close = glob.indexOf(QLatin1Char(']'), i + 2); c == QLatin1Char('[') && close > 0) {
            QString set = glob.mid(i + 1, close - i - 1);
            if (set.startsWith(QLatin1Char('!')))
                set[0] = QLatin1Char('^');
            pattern += QLatin1Char('[') + set.replace(QLatin1Char('\\'), QLatin1String("\\\\")) + QLatin1Char(']');
            i = close;
        } else {
            pattern += QRegularExpression::escape(QString(c));
        }
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern));
}

platform::Result<void> IgnoreList::add(const QString& entry, const Origin& origin, const QStringList& globs,
                                       const QString& base)
{
    // Message keys hold no colon, key paths may: the first one divides.
    const qsizetype colon = entry.indexOf(QLatin1Char(':'));
    const QString key = colon < 0 ? entry : entry.left(colon);
    if (key.isEmpty())
        return platform::Error::posix(EINVAL, QStringLiteral("'%1' names no message key").arg(escapedExcerpt(entry)));
    if (!mKnownKeys.contains(key))
        return platform::Error::posix(EINVAL, QStringLiteral("unknown message key '%1'").arg(escapedExcerpt(key)));
    Entry& added = mEntries.emplace_back();
    added.key = key;
    if (colon >= 0)
        added.keyPath = entry.mid(colon + 1);
    for (const QString& glob : globs)
        added.globs.append(globExpression(glob));
    added.base = base;
    added.origin = origin;
    added.text = entry;
    mByKey[key].append(&added);
    return {};
}

platform::Result<void> IgnoreList::addLines(const QString& text, const QString& file, const QString& base)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString entry = lines[i];
        // A comment starts a line or follows a blank; a glob may hold a "#" of its own.
        for (qsizetype hash = entry.indexOf(QLatin1Char('#')); hash >= 0;
             hash = entry.indexOf(QLatin1Char('#'), hash + 1)) {
            if (hash == 0 || entry[hash - 1].isSpace()) {
                entry.truncate(hash);
                break;
            }
        }
        entry = entry.trimmed();
        if (entry.isEmpty())
            continue;
        // "GLOB: ID[:KEYPATH]" unless what stands before the first colon is a message key.
        QStringList globs;
        const qsizetype colon = entry.indexOf(QLatin1Char(':'));
        if (colon > 0 && !mKnownKeys.contains(entry.left(colon))) {
            globs.append(entry.left(colon).trimmed());
            entry = entry.mid(colon + 1).trimmed();
        }
        const Origin origin{file, static_cast<int>(i + 1)};
        if (platform::Result<void> added = add(entry, origin, globs, base); !added) {
            platform::Error refused = added.error();
            refused.where = QStringLiteral("line %1").arg(i + 1);
            return refused;
        }
    }
    return {};
}

bool IgnoreList::matches(const Entry& entry, const Finding& finding) const
{
    if (entry.keyPath && *entry.keyPath != finding.keyPath)
        return false;
    if (entry.globs.isEmpty())
        return true;
    const QString file = finding.fileRead.isEmpty() ? finding.fileGiven : finding.fileRead;
    const QString relative = QDir(entry.base).relativeFilePath(QDir(entry.base).absoluteFilePath(file));
    if (relative.startsWith(QLatin1String("../")))
        return false;
    for (const QRegularExpression& glob : entry.globs)
        if (glob.match(relative).hasMatch())
            return true;
    return false;
}

bool IgnoreList::ignores(const Finding& finding) const
{
    const auto found = mByKey.constFind(finding.messageKey);
    if (found == mByKey.cend())
        return false;
    // Every matching entry counts as used, so that none of them is called unused.
    bool ignored = false;
    for (const Entry* entry : *found) {
        if (matches(*entry, finding)) {
            entry->used.store(true, std::memory_order_relaxed);
            ignored = true;
        }
    }
    return ignored;
}

QList<IgnoreList::Unused> IgnoreList::unused() const
{
    QList<Unused> list;
    for (const Entry& entry : mEntries)
        if (!entry.used.load(std::memory_order_relaxed))
            list.append({entry.origin, entry.text});
    return list;
}

} // namespace report
